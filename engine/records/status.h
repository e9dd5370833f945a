// Results of the readers and writers of configuration and working files.
#pragma once

#include <cstdint>

namespace records {

enum class Status : std::uint8_t {
  ok,
  cannot_open,                 // a source file could not be opened or read
  invalid_format,              // the magic is neither "VERAM 4.00" nor "VERAM 3.00"
  truncated,                   // the bytes end inside a section
  count_out_of_range,          // a record count above its bound (format 4: 4096 messages,
                               // 4095 variables; format 3: 512 of each)
  station_count_out_of_range,  // station count above 256
  local_station_out_of_range,  // local-station index not below the station count
  producer_out_of_range,       // a variable's producer neither -1 nor below the station count
  list_out_of_range,           // a list with 0 or more than 64 identifiers
  inconsistent,                // records that contradict each other (check_consistency)
  too_large,                   // a file larger than any valid one; none of it was read
  cannot_create_working_file,  // CONFIG_CHECK_CODE 0x28000001
  memory_full,                 // CONFIG_CHECK_CODE 0x28000017: records kept, working files written
  cannot_write,                // a destination file could not be written; the old one is kept
};

// The designer's codes for the two results that it reports by code.
inline constexpr std::uint32_t kWorkingFileCode = 0x28000001;
inline constexpr std::uint32_t kMemoryFullCode = 0x28000017;

// True for the results that mean damaged or truncated input.
constexpr bool is_damage(Status status) {
  return status == Status::truncated || status == Status::count_out_of_range ||
         status == Status::station_count_out_of_range ||
         status == Status::local_station_out_of_range || status == Status::producer_out_of_range ||
         status == Status::list_out_of_range || status == Status::inconsistent ||
         status == Status::too_large;
}

}  // namespace records
