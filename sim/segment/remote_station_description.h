// The remote-station part of the machine description: "remoteStations", an array of stations,
// and "pacedSegment", whether the booted machine's segment follows the wall clock.
//
//   "remoteStations": [
//     { "name": "R5", "address": 5, "presence": true,
//       "produces": [ { "identifier": "0x200", "length": 2, "pduType": "0x40",
//                       "generator": { "kind": "counter", "start": 0, "step": 1, "limit": 255 } } ],
//       "consumes": [ "0x100" ],
//       "sends": [ { "source": "0x200", "destination": "0x100", "length": 4, "period": 10,
//                    "generator": { "kind": "counter" } } ],
//       "arbitrator": { "program": [ "ID_DAT(200)", "WAIT(A0)" ], "bitRate": "1M",
//                       "turnaround": 14, "silence": 22, "slot": 0 } }
//   ]
//
// Numbers follow the machine description's rule (JSON numbers or C-notation strings). Generator
// kinds are "constant", "counter", "ramp" and "bytes"; bit rates "31.25k", "1M" and "2.5M". Every
// field but the identifiers of productions is optional; unknown fields and values out of range are
// errors.
//
// A "bytes" generator sends the same value every time: its "bytes" (numbers 0 to 255, at most the
// production's or message's length), then zeros up to the length. A bus arbitrator that publishes
// the bus's address plan, as the designer's presence test reads it (identifier 0x9002, 34 bytes:
// 0x80, 0x20, then 32 bytes in which bit a % 8 of byte a / 8 marks address a used), and scans the
// presence variables 0x1400 + address of the stations:
//
//     { "name": "BA", "address": 9,
//       "produces": [ { "identifier": "0x9002", "length": 34, "pduType": "0x50",
//                       "generator": { "kind": "bytes", "bytes": [ "0x80", "0x20", "0x62" ] } } ],
//       "arbitrator": { "program": [ "ID_DAT(9002)", "ID_DAT(1401)", "ID_DAT(1405)", "ID_DAT(1406)",
//                                    "WAIT(A0)" ] } }
//
// (0x62 in the first map byte marks addresses 1, 5 and 6.)
#pragma once

#include <string>
#include <vector>

#include "sim/segment/remote_station.h"

namespace sim {

// `stationsJson`: the text of the "remoteStations" array. Throws DescriptionError naming the field.
std::vector<RemoteStationConfig> parseRemoteStations(const std::string& stationsJson);

}  // namespace sim
