// Configuration files for the engine over the FIP segment, written by the records library as the
// designer writes its download file: the local station's variables and messages and its two BA
// macro lists.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "records/atomic_file.h"
#include "records/config_format.h"
#include "records/configuration.h"
#include "test_records.h"

namespace corvix::testing {

constexpr std::uint8_t kPduType = 0x40;  // of every variable configured here

struct NetworkVariable {
    std::uint16_t identifier = 0;
    bool produced = true;  // by the local station
    std::uint16_t length = 2;
    std::uint16_t refreshmentMs = 0;  // 0: no refreshment status
    std::uint16_t promptnessMs = 0;   // 0: no promptness status
    std::uint8_t flags = 0;           // VARIABLE4 flags
};

struct NetworkMessage {
    std::uint16_t source = 0;
    std::uint16_t destination = 0;
    bool transmitted = true;
    bool acknowledged = false;
};

struct Network {
    std::uint16_t speed = 1;  // bit rate index
    std::vector<NetworkVariable> variables;
    std::vector<NetworkMessage> messages;
    std::vector<std::string> program;  // BA macro list 1; empty: the station has no bus arbitrator
    std::vector<std::string> program2;  // BA macro list 2
};

inline records::Configuration configurationOf(const Network& network) {
    records::Configuration c = records::new_configuration();
    records::set_speed(c.param, network.speed);
    for (const NetworkVariable& n : network.variables) {
        char name[16];
        std::snprintf(name, sizeof name, "V%04X", n.identifier);
        records::VARIABLE4 v = variableRecord({.identifier = n.identifier,
                                               .name = name,
                                               .consumed = !n.produced,
                                               .length = n.length,
                                               .pduType = kPduType,
                                               .refreshment = n.refreshmentMs != 0,
                                               .promptness = n.promptnessMs != 0,
                                               .flags = n.flags,
                                               .refreshmentMs = n.refreshmentMs,
                                               .promptnessMs = n.promptnessMs});
        records::set_text(v.format, "%h");
        v.field_74 = 1;
        v.producer = n.produced ? 0 : -1;
        c.variables.push_back(v);
    }
    for (const NetworkMessage& n : network.messages) {
        char name[24];
        std::snprintf(name, sizeof name, "M%04X_%04X", n.source, n.destination);
        records::MESSAGE4 m = message(name, n.source, 0, n.destination, 0, n.transmitted);
        records::set_text(m.format, "%h");
        m.acknowledged = n.acknowledged;
        m.aperiodic = 1;
        m.remote_station = -1;
        c.messages.push_back(m);
    }
    for (const std::string& line : network.program) c.sequence1.push_back(records::make_instruction(line));
    for (const std::string& line : network.program2) c.sequence2.push_back(records::make_instruction(line));
    if (network.program.empty()) c.param.ba_size = 0;
    records::size_tables(c, records::instruction_cost(c.sequence1, c.sequence2));
    records::renumber_keys(c);
    return c;
}

// Writes the network as a configuration file in the machine root; returns its path.
inline std::string writeNetwork(const Network& network, const std::string& name,
                                records::Format format = records::Format::v4) {
    const std::filesystem::path file = qbase::machineRoot() / (name + ".cnf");
    const records::Configuration c = configurationOf(network);
    const std::vector<std::uint8_t> bytes =
        format == records::Format::v4 ? records::encode_format4(c) : records::encode_format3(c);
    if (!records::write_file_atomically(file, bytes)) ADD_FAILURE() << "cannot write " << file;
    return file.string();
}

}  // namespace corvix::testing
