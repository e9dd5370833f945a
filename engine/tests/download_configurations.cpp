#include "download_configurations.h"

#include <cstring>

#include "download_fixture.h"

namespace corvix::testing {
namespace {

records::INSTRUCTION paddedLine(const char* text, const char* padding) {
    records::INSTRUCTION line = records::make_instruction(text);
    std::memcpy(line.text.data() + std::strlen(text) + 1, padding, std::strlen(padding));
    return line;
}

}  // namespace

records::Configuration withoutBaMemory() {
    records::Configuration c = bareConfiguration(8, 4, false);
    c.param.speed = 1;
    c.param.slot_time = 2;
    c.param.turnaround = 10;
    c.param.silence = 20;
    c.param.election_count = 518;
    c.param.start_delay = 1234;
    c.param.clock_multiplier = 1;
    c.param.frame_type = 1;
    c.variables = {
        variableRecord({.identifier = 0x0300, .name = "big", .consumed = true, .length = 128}),
        variableRecord({.identifier = 0x0010, .name = "in", .consumed = true, .length = 8, .pduType = 0x50,
                        .refreshment = 1, .promptness = 1, .promptnessMs = 10}),
        variableRecord({.identifier = 0x8001, .name = "high", .length = 1, .flags = 0x40}),
        variableRecord({.identifier = 0x0120, .name = "ch3", .flags = 0x42, .channel = 3, .refreshmentMs = 7}),
        variableRecord({.identifier = 0x0005, .name = "first", .length = 4, .refreshment = 1, .flags = 0x02,
                        .channel = 0, .refreshmentMs = 25}),
    };
    c.messages = {message("out1", 0x0005, 1, 0x0300, 2, true), message("in1", 0x0300, 0, 0x0005, 0, false),
                  message("out2", 0x0120, 0, 0x0999, 3, true)};
    return c;
}


records::Configuration withBaMemory() {
    records::Configuration c = bareConfiguration(64, 8, true);
    c.param.speed = 0;
    c.param.slot_time = 0;
    c.param.turnaround = 0x50;
    c.param.silence = 0x45;
    c.param.election_count = 0xFFFF;
    c.param.start_delay = 0x00010002;
    c.param.clock_multiplier = 2;
    c.param.frame_type = 1;
    c.sequence1 = {records::make_instruction("ID_DAT(30)"), records::make_instruction("ID_DAT(10)"),
                   records::make_instruction("SEND_APER(FFFF)"),  // all 15 bytes, no terminating zero
                   records::make_instruction("ID_DAT(30)"), records::make_instruction("SUSPEND(2)"),
                   records::make_instruction("SEND_MSG(1)")};
    c.sequence2 = {records::make_instruction("ID_DAT(10)"), records::make_instruction("ID_MSG(120)   "),
                   paddedLine("WAIT(a)", "JUNK"), records::make_instruction("NEXT_MACRO_1(A)"),
                   records::make_instruction("NEXT_MACRO_2(0)")};
    c.variables = {
        variableRecord({.identifier = 0x30, .name = "mail", .length = 4, .refreshment = 1, .flags = 0x01,
                        .refreshmentMs = 100}),
        variableRecord({.identifier = 0x10, .name = "in", .consumed = true, .promptness = 1, .promptnessMs = 3}),
        variableRecord({.identifier = 0x20, .name = "ch8", .length = 16, .flags = 0x02, .channel = 8,
                        .refreshmentMs = 700}),
    };
    c.messages = {message("in1", 0x0010, 0, 0x0099, 0, false), message("ask", 0x0020, 1, 0x0120, 2, true),
                  message("tell", 0x0030, 0, 0x0130, 0, true)};
    return c;
}

}  // namespace corvix::testing
