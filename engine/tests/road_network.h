// The network of the main road tests: the board on the road, the machine's other board and the
// remote station R5 beside them on the segment.
#pragma once

#include "network_file.h"
#include "sim/machine/machine_description.h"
#include "sim/segment/bus_timing.h"

namespace corvix::testing {

constexpr sim::Nanoseconds kMs = 1000000;
constexpr sim::Nanoseconds kCycle = 10 * kMs;  // WAIT(A0): 160 BA units of 62.5 us at 1 Mbit/s

constexpr std::uint16_t kLocalOut = 0x0100;   // produced by the board on the road, consumed by R5
constexpr std::uint16_t kRemoteOut = 0x0200;  // produced by R5 (a counter from 7)
constexpr std::uint16_t kPeerOut = 0x0300;    // produced by the machine's other board
constexpr std::size_t kRemote = 0;            // R5, the segment's only remote station

constexpr std::uint8_t kRefreshedByte = 0x05;
constexpr std::uint8_t kPromptStatus = 0xA0;  // promptness status kept, and the value prompt

// The board on the road: produces kLocalOut (it also receives messages there), consumes R5's
// counter with promptness and refreshment, and the other board's kPeerOut; it runs the bus.
inline Network roadNetwork() {
    Network n;
    n.variables = {{.identifier = kLocalOut, .produced = true, .length = 2, .refreshmentMs = 50, .flags = 0x01},
                   {.identifier = kRemoteOut, .produced = false, .length = 2, .refreshmentMs = 50, .promptnessMs = 25},
                   {.identifier = kPeerOut, .produced = false, .length = 4}};
    n.messages = {{.source = kLocalOut, .destination = kRemoteOut, .transmitted = true, .acknowledged = true},
                  {.source = kPeerOut, .destination = kLocalOut, .transmitted = false}};
    n.program = {"ID_DAT(100)", "ID_DAT(200)", "ID_DAT(300)", "SEND_MSG(60)", "SEND_APER(80)", "WAIT(A0)"};
    return n;
}

// The other board: produces kPeerOut and sends a message to the board on the road; no arbitrator.
inline Network peerNetwork() {
    Network n;
    n.variables = {{.identifier = kPeerOut, .produced = true, .length = 4}};
    n.messages = {{.source = kPeerOut, .destination = kLocalOut, .transmitted = true}};
    return n;
}

// The default machine: its PCI, PC104 and USB boards (segment boards 0, 1 and 2), and R5.
inline sim::MachineDescription machineWithRemoteStation() {
    sim::MachineDescription d = sim::defaultMachine();
    sim::RemoteStationConfig r5;
    r5.name = "R5";
    r5.address = 5;
    r5.produces = {{.identifier = kRemoteOut,
                    .length = 2,
                    .pduType = kPduType,
                    .generator = {.kind = sim::ValueGenerator::Kind::Counter, .start = 7}}};
    r5.consumes = {kLocalOut};
    d.remoteStations = {r5};
    return d;
}

}  // namespace corvix::testing
