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
// kinds are "constant", "counter" and "ramp"; bit rates "31.25k", "1M" and "2.5M". Every field but
// the identifiers of productions is optional; unknown fields and values out of range are errors.
#pragma once

#include <string>
#include <vector>

#include "sim/segment/remote_station.h"

namespace sim {

// `stationsJson`: the text of the "remoteStations" array. Throws DescriptionError naming the field.
std::vector<RemoteStationConfig> parseRemoteStations(const std::string& stationsJson);

}  // namespace sim
