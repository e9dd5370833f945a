// Configuration records built for tests: a variable or a message from the fields a test sets.
#pragma once

#include <cstdint>

#include "records/byte_codec.h"
#include "records/message4.h"
#include "records/variable4.h"

namespace corvix::testing {

inline records::VARIABLE4 variable(std::uint16_t identifier, const char* name, std::uint16_t length = 2,
                                   std::int16_t channel = -1) {
    records::VARIABLE4 v;
    v.identifier = identifier;
    records::set_text(v.name, name);
    v.length = length;
    v.channel = channel;
    return v;
}

// Every field a download reads from a variable record.
struct VariableSpec {
    std::uint16_t identifier = 0;
    const char* name = "";
    bool consumed = false;  // VARIABLE4 byte 112
    std::uint16_t length = 2;
    std::uint16_t pduType = 0x40;
    std::uint8_t refreshment = 0;  // byte 113
    std::uint8_t promptness = 0;   // byte 114
    std::uint8_t flags = 0;        // byte 115
    std::int16_t channel = -1;
    std::uint16_t refreshmentMs = 0;
    std::uint16_t promptnessMs = 0;
};

inline records::VARIABLE4 variableRecord(const VariableSpec& s) {
    records::VARIABLE4 v;
    v.identifier = s.identifier;
    records::set_text(v.name, s.name);
    v.direction = s.consumed ? 1 : 0;
    v.length = s.length;
    v.pdu_type = s.pduType;
    v.refreshment_status = s.refreshment;
    v.promptness_status = s.promptness;
    v.flags = s.flags;
    v.channel = s.channel;
    v.refreshment_period = s.refreshmentMs;
    v.promptness_period = s.promptnessMs;
    return v;
}

inline records::MESSAGE4 message(const char* name, std::uint16_t source, std::uint8_t sourceSegment,
                                 std::uint16_t destination, std::uint8_t destinationSegment, bool transmitted) {
    records::MESSAGE4 m;
    records::set_text(m.name, name);
    m.source_identifier = source;
    m.source_segment = sourceSegment;
    m.destination_identifier = destination;
    m.destination_segment = destinationSegment;
    m.transmitted = transmitted ? 1 : 0;
    return m;
}

}  // namespace corvix::testing
