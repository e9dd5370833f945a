#include "sim/segment/remote_station_description.h"

#include <array>
#include <set>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "sim/machine/description_fields.h"
#include "sim/machine/machine_description.h"

namespace sim {
namespace {

using nlohmann::json;
using description::fail;
using description::number;
using description::onlyKnownFields;

// The fields that each object of a remote station may hold: a field outside its table is refused.
// A new field is one name here and its reading below.
const std::set<std::string> kStationFields{"name", "address", "presence", "produces", "consumes", "sends", "arbitrator"};
const std::set<std::string> kProductionFields{"identifier", "length", "pduType", "generator"};
const std::set<std::string> kGeneratorFields{"kind", "start", "step", "limit", "bytes"};
const std::set<std::string> kSentMessageFields{"source", "destination", "length", "generator", "period"};
const std::set<std::string> kArbitratorFields{"program", "bitRate", "turnaround", "silence", "slot"};

const json& array(const json& parent, const char* name, const std::string& where) {
    const json& a = parent[name];
    if (!a.is_array()) fail(where + "." + name, "expected an array");
    return a;
}

template <typename T, std::size_t N>
T pick(const json& value, const std::array<std::pair<const char*, T>, N>& choices, const std::string& where) {
    for (const auto& [text, choice] : choices)
        if (value == text) return choice;
    fail(where, "unknown value " + value.dump());
}

// `length`: the most bytes a fixed value may hold (the production's or the message's length).
ValueGenerator generator(const json& g, const std::string& where, std::uint64_t length) {
    onlyKnownFields(g, kGeneratorFields, where);
    ValueGenerator v;
    if (g.contains("kind"))
        v.kind = pick<ValueGenerator::Kind, 4>(g["kind"], {{{"constant", ValueGenerator::Kind::Constant},
                                                            {"counter", ValueGenerator::Kind::Counter},
                                                            {"ramp", ValueGenerator::Kind::Ramp},
                                                            {"bytes", ValueGenerator::Kind::Bytes}}},
                                               where + ".kind");
    if (g.contains("start")) v.start = number(g["start"], where + ".start", UINT64_MAX);
    if (g.contains("step")) v.step = number(g["step"], where + ".step", UINT64_MAX);
    if (g.contains("limit")) v.limit = number(g["limit"], where + ".limit", UINT64_MAX);
    if (v.kind == ValueGenerator::Kind::Bytes) {
        if (!g.contains("bytes")) fail(where, "kind \"bytes\" needs \"bytes\"");
        const json& bytes = array(g, "bytes", where);
        if (bytes.size() > length) fail(where + ".bytes", "more bytes than the length " + std::to_string(length));
        for (std::size_t i = 0; i < bytes.size(); ++i)
            v.bytes.push_back(static_cast<std::uint8_t>(number(bytes[i], where + ".bytes[" + std::to_string(i) + "]", 0xFF)));
    } else if (g.contains("bytes")) {
        fail(where + ".bytes", "only for kind \"bytes\"");
    }
    return v;
}

RemoteProduction production(const json& p, const std::string& where) {
    onlyKnownFields(p, kProductionFields, where);
    if (!p.contains("identifier")) fail(where, "needs an \"identifier\"");
    RemoteProduction r;
    r.identifier = static_cast<std::uint16_t>(number(p["identifier"], where + ".identifier", 0xFFFF));
    if (p.contains("length")) {
        r.length = static_cast<std::uint8_t>(number(p["length"], where + ".length", 128));
        if (r.length == 0) fail(where + ".length", "must be 1 to 128");
    }
    if (p.contains("pduType")) r.pduType = static_cast<std::uint8_t>(number(p["pduType"], where + ".pduType", 0xFF));
    if (p.contains("generator")) r.generator = generator(p["generator"], where + ".generator", r.length);
    return r;
}

RemoteMessage sentMessage(const json& m, const std::string& where) {
    onlyKnownFields(m, kSentMessageFields, where);
    if (!m.contains("source") || !m.contains("destination")) fail(where, "needs a \"source\" and a \"destination\"");
    RemoteMessage r;
    r.source = static_cast<std::uint16_t>(number(m["source"], where + ".source", 0xFFFF));
    r.destination = static_cast<std::uint16_t>(number(m["destination"], where + ".destination", 0xFFFF));
    if (m.contains("length")) {
        r.length = static_cast<std::uint8_t>(number(m["length"], where + ".length", 252));
        if (r.length == 0) fail(where + ".length", "must be 1 to 252");
    }
    if (m.contains("generator")) r.generator = generator(m["generator"], where + ".generator", r.length);
    if (m.contains("period")) {
        r.period = static_cast<std::uint32_t>(number(m["period"], where + ".period", 0xFFFFFFFF));
        if (r.period == 0) fail(where + ".period", "must be at least 1");
    }
    return r;
}

void arbitrator(const json& a, const std::string& where, RemoteStationConfig& c) {
    onlyKnownFields(a, kArbitratorFields, where);
    if (a.contains("program"))
        for (const json& line : array(a, "program", where)) {
            if (!line.is_string()) fail(where + ".program", "expected macro lines");
            c.arbitratorProgram.push_back(line.get<std::string>());
        }
    if (c.arbitratorProgram.empty()) fail(where + ".program", "needs at least one macro line");
    if (a.contains("bitRate"))
        c.bus.bitRate = pick<BitRate, 3>(a["bitRate"], {{{"31.25k", BitRate::k31k25}, {"1M", BitRate::k1M}, {"2.5M", BitRate::k2M5}}},
                                      where + ".bitRate");
    if (a.contains("turnaround")) c.bus.turnaroundCount = static_cast<std::uint8_t>(number(a["turnaround"], where + ".turnaround", 63));
    if (a.contains("silence")) c.bus.silenceCount = static_cast<std::uint8_t>(number(a["silence"], where + ".silence", 63));
    if (a.contains("slot")) c.bus.slotIndex = static_cast<std::uint8_t>(number(a["slot"], where + ".slot", 3));
}

}  // namespace

std::vector<RemoteStationConfig> parseRemoteStations(const std::string& stationsJson) {
    const json stations = json::parse(stationsJson, nullptr, false);
    if (!stations.is_array()) fail("remoteStations", "expected an array");
    std::vector<RemoteStationConfig> result;
    std::set<std::uint64_t> addresses;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const json& s = stations[i];
        const std::string where = "remoteStations[" + std::to_string(i) + "]";
        onlyKnownFields(s, kStationFields, where);
        RemoteStationConfig c;
        c.name = "remote " + std::to_string(i + 1);
        if (s.contains("name")) {
            if (!s["name"].is_string()) fail(where + ".name", "expected a string");
            c.name = s["name"].get<std::string>();
        }
        if (s.contains("address")) c.address = static_cast<std::uint8_t>(number(s["address"], where + ".address", 255));
        if (!addresses.insert(c.address).second) fail(where + ".address", "another station has this address");
        if (s.contains("presence")) {
            if (!s["presence"].is_boolean()) fail(where + ".presence", "expected true or false");
            c.presence = s["presence"].get<bool>();
        }
        if (s.contains("produces")) {
            const json& produces = array(s, "produces", where);
            for (std::size_t k = 0; k < produces.size(); ++k)
                c.produces.push_back(production(produces[k], where + ".produces[" + std::to_string(k) + "]"));
        }
        if (s.contains("consumes")) {
            const json& consumes = array(s, "consumes", where);
            for (std::size_t k = 0; k < consumes.size(); ++k)
                c.consumes.push_back(
                    static_cast<std::uint16_t>(number(consumes[k], where + ".consumes[" + std::to_string(k) + "]", 0xFFFF)));
        }
        if (s.contains("sends")) {
            const json& sends = array(s, "sends", where);
            for (std::size_t k = 0; k < sends.size(); ++k)
                c.sends.push_back(sentMessage(sends[k], where + ".sends[" + std::to_string(k) + "]"));
        }
        if (s.contains("arbitrator")) arbitrator(s["arbitrator"], where + ".arbitrator", c);
        result.push_back(std::move(c));
    }
    return result;
}

}  // namespace sim
