// The records of format-3 configuration files and their conversions to and from format 4.
//
// Two widening rules exist side by side. The designer, opening a format-3 file, rebuilds complete
// format-4 records (modes, channels, stations, keys: widen_for_designer). The engine's
// configuration download copies the fields across as they stand and leaves the rest zero
// (widen_for_download). Both are kept, each where its reader needs it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "records/message4.h"
#include "records/variable4.h"

namespace records {

struct MESSAGE3 {
  static constexpr std::size_t size = 71;

  std::uint16_t source_identifier = 0;       // 0
  std::uint16_t destination_identifier = 0;  // 2
  std::uint16_t reserved_4 = 0;              // 4: written 0 by the designer
  std::uint16_t event_number = 0;            // 6
  std::array<char, 30> name{};               // 8
  std::array<char, 30> format{};             // 38
  std::uint8_t acknowledged = 0;             // 68
  std::uint8_t periodic = 0;                 // 69: 1 = periodic mode
  std::uint8_t transmitted = 0;              // 70

  friend bool operator==(const MESSAGE3&, const MESSAGE3&) = default;
};

struct VARIABLE3 {
  static constexpr std::size_t size = 78;

  std::uint16_t identifier = 0;          // 0
  std::array<char, 30> name{};           // 2
  std::array<char, 30> format{};         // 32
  std::uint16_t pdu_type = 0;            // 62
  std::uint16_t length = 0;              // 64
  std::uint16_t channel = 0;             // 66: nonzero = periodic message channel
  std::uint16_t field_74 = 0;            // 68: VARIABLE4 field_74
  std::uint8_t direction = 0;            // 70
  std::uint8_t refreshment_status = 0;   // 71
  std::uint8_t promptness_status = 0;    // 72
  std::uint8_t flags = 0;                // 73
  std::uint16_t refreshment_period = 0;  // 74
  std::uint16_t promptness_period = 0;   // 76

  friend bool operator==(const VARIABLE3&, const VARIABLE3&) = default;
};

void encode(const MESSAGE3& message, std::span<std::uint8_t, MESSAGE3::size> out);
void decode(std::span<const std::uint8_t, MESSAGE3::size> in, MESSAGE3& message);
void encode(const VARIABLE3& variable, std::span<std::uint8_t, VARIABLE3::size> out);
void decode(std::span<const std::uint8_t, VARIABLE3::size> in, VARIABLE3& variable);

// Format 3 holds at most this many messages and variables.
inline constexpr std::size_t kFormat3MaxRecords = 512;

// --- The engine's rule: fields copied to their format-4 offsets, everything else zero. ---
// Offset 4 goes to channel and the mode byte to `aperiodic` unchanged; names and formats are
// copied up to their first NUL (at most 30 characters).
MESSAGE4 widen_for_download(const MESSAGE3& message);
// Channel, field_74, the four flag bytes and both periods copied; producer, consumers and key 0.
VARIABLE4 widen_for_download(const VARIABLE3& variable);

// --- The designer's rule, applied while a format-3 file is opened. ---
// Segments 0; periodic gives aperiodic 0 and channel 1, otherwise aperiodic 1 and channel 0;
// remote_station 1; key 35000 + index.
MESSAGE4 widen_for_designer(const MESSAGE3& message, std::size_t index);

// Counter of the periodic message channels handed out, in file order.
struct ChannelNumbering {
  std::int16_t last = 0;
};

// Two stations stand in for format 3's network: "Local station" (0) and "Mirror" (1). A variable
// consumed locally (direction 1) gets producer 1 and consumer 0, any other producer 0 and
// consumer 1. A message-channel variable takes the next periodic channel when its format-3
// channel is nonzero, else 0; any other variable -1. Key 5000 + index.
VARIABLE4 widen_for_designer(const VARIABLE3& variable, std::size_t index,
                             ChannelNumbering& channels);

// --- Writing format 3: names and formats cut to 29 characters. ---
// Offset 4 written 0; periodic = 1 unless aperiodic is 1.
MESSAGE3 narrow_to_format3(const MESSAGE4& message);
// The channel is stored in the unsigned 16-bit field as it stands (-1 as 0xFFFF).
VARIABLE3 narrow_to_format3(const VARIABLE4& variable);

}  // namespace records
