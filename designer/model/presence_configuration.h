// The files of the station presence test: the address map file, which keeps the address plan the
// user marked (256 physical addresses, one bit each), and the small configurations that the test
// downloads itself, made from the open configuration's param and stations working files:
//
//   detection    "ActiviteFIP.cnf": the bus arbitrator scans 0x9002 alone, which the local station
//                consumes; it tells whether another arbitrator runs the bus and holds its plan.
//   listening    "PresenceSta.cnf": the local station produces its own presence variable and
//                consumes 0x9002 and the presence variables 0x1400 + a of every other address a,
//                which another arbitrator's traffic carries.
//   arbitrating  "PresenceSta.cnf": the board's own arbitrator runs the bus: it publishes the plan
//                (0x9002) and the segment parameters (0x9008) and scans every presence variable.
//
// Both are format-4 configuration files laid out byte for byte as the test's readers on the board
// expect them; nothing here goes through the document's writer.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "model/selected_device.h"
#include "records/working_files.h"

namespace plandrel {

inline constexpr int kPhysicalAddresses = 256;

// Address a is bit (a mod 8) of byte (a / 8).
using AddressMap = std::array<std::uint8_t, kPhysicalAddresses / 8>;
bool AddressBit(const AddressMap& map, int address);
void SetAddressBit(AddressMap& map, int address, bool used);

// The working folder + "Conf_Adresses" + BoardType + board number + ".trv" (Conf_Adresses01.trv for
// PCI board 1).
std::filesystem::path AddressMapPath(const std::filesystem::path& working_folder, SelectedDevice device);
// Reads the 32 map bytes; nothing when the file cannot be opened or holds fewer than 32 bytes
// (bytes after the 32nd are not read).
std::optional<AddressMap> ReadAddressMap(const std::filesystem::path& path);
// Creates (or truncates) the file with the 32 map bytes; false when it cannot be written.
bool WriteAddressMap(const std::filesystem::path& path, const AddressMap& map);

enum class PresenceKind : std::uint8_t { detection, listening, arbitrating };

// "ActiviteFIP.cnf" for detection, "PresenceSta.cnf" for the two others, in the working folder.
std::filesystem::path PresenceConfigurationPath(const std::filesystem::path& working_folder, PresenceKind kind);

inline constexpr std::uint16_t kPlanIdentifier = 0x9002;             // "Adresses Libres" / "Controle Presence"
inline constexpr std::uint16_t kSegmentParametersIdentifier = 0x9008;  // "Parametres Segment"
inline constexpr std::uint16_t kPresenceIdentifierBase = 0x1400;       // + physical address
inline constexpr std::uint16_t kInitialPaddingIdentifier = 30000;

// What the generation copies from the configuration for the runs that follow: the turnaround,
// silence and padding identifier words of GENERAL_PARAM, and the local station's physical address
// (that of the first station record) and index. A copy is taken only from a working file that
// could be read.
struct PresenceSettings {
  std::uint16_t turnaround = 0;
  std::uint16_t silence = 0;
  std::uint16_t padding_identifier = kInitialPaddingIdentifier;
  int local_address = 0;
  std::uint16_t local_index = 0;
};

enum class PresenceFileResult : std::uint8_t {
  ok,
  cannot_create,      // the file could not be written: "Warning :\nProblem creating intermediate files."
  configuration_bad,  // a working file missing, short, or naming a local address outside 0..255:
                      // "Error recording configuration."
};

// The file's bytes from the bytes of the param and stations working files (nothing: the file could
// not be opened). A param file that is missing or shorter than GENERAL_PARAM leaves the param
// section out; a stations file that is missing, counts no station or is shorter than one record, or
// whose first record's physical address lies outside 0..255, leaves the variables and stations
// sections out. The other sections are made and the result says configuration_bad. `settings` takes
// what was read.
struct PresenceFile {
  std::vector<std::uint8_t> bytes;
  PresenceFileResult result = PresenceFileResult::ok;
};
PresenceFile BuildPresenceConfiguration(PresenceKind kind, std::optional<std::span<const std::uint8_t>> param_file,
                                        std::optional<std::span<const std::uint8_t>> stations_file,
                                        PresenceSettings& settings);

// WritePresenceConfiguration: reads the two working files of `working`, builds the file and writes
// it in the working folder. cannot_create wins over configuration_bad.
PresenceFileResult WritePresenceConfiguration(PresenceKind kind, const records::WorkingFiles& working,
                                              const std::filesystem::path& working_folder, PresenceSettings& settings);

}  // namespace plandrel
