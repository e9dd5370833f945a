// Configuration files of formats 4 and 3 spelled out byte by byte from the file layouts,
// independent of the codecs, and the network that the designer's own writers leave: a consumed
// variable that kept message requests (0x02) with a channel and aperiodic variable requests
// (0x40), and produced periodic channels with a gap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "golden.h"

namespace records::test_bytes {

inline std::uint8_t lo(unsigned value) { return static_cast<std::uint8_t>(value & 0xFF); }
inline std::uint8_t hi(unsigned value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }
inline Golden& put16(Golden& g, std::size_t offset, unsigned value) { return g.at(offset, {lo(value), hi(value)}); }
// Consecutive u16 fields from `offset`.
inline Golden& put16s(Golden& g, std::size_t offset, std::initializer_list<unsigned> values) {
  for (unsigned value : values) put16(g, std::exchange(offset, offset + 2), value);
  return g;
}
inline Golden& put32(Golden& g, std::size_t offset, std::uint32_t value) {
  return g.at(offset, {lo(value), hi(value), lo(value >> 16), hi(value >> 16)});
}

struct FileVariable {
  std::uint16_t identifier = 0;
  std::string name;
  std::int16_t channel = -1;  // format 3: written as its 16 bits
  std::int16_t producer = -1;
  std::vector<std::size_t> consumers;
  std::uint8_t direction = 0;
  std::uint8_t flags = 0;
  std::uint8_t refreshment = 0;
  std::uint8_t promptness = 0;
  std::string format = "%u";
  std::uint16_t length = 2;
};

struct FileMessage {
  std::uint16_t source = 0;
  std::uint16_t destination = 0;
  std::uint16_t channel = 0;
  std::string name;
  std::uint8_t acknowledged = 0;
  std::uint8_t aperiodic = 1;
  std::uint8_t transmitted = 1;
  std::int16_t remote = -1;
};

struct FileStation {
  std::string name;
  std::int16_t address = -1;
};

// 122 bytes, key 5000 + index.
inline Golden variable4(const FileVariable& v, std::size_t index) {
  Golden g(122);
  put16(g, 0, v.identifier).text(2, v.name).text(35, v.format);
  put16s(g, 68, {0x40, v.length, static_cast<std::uint16_t>(v.channel), 1, static_cast<std::uint16_t>(v.producer),
                 static_cast<unsigned>(v.consumers.size())});
  std::uint32_t words[8] = {};
  for (std::size_t s : v.consumers) words[s / 32] |= 1U << (s % 32);
  for (std::size_t w = 0; w < 8; ++w) put32(g, 80 + 4 * w, words[w]);
  g.at(112, {v.direction, v.refreshment, v.promptness, v.flags});
  return put16s(g, 116, {500, 500, static_cast<unsigned>(5000 + index)});
}

// 83 bytes, key 35000 + index.
inline Golden message4(const FileMessage& m, std::size_t index) {
  Golden g(83);
  put16s(g, 0, {m.source, m.destination, m.channel, 1}).text(10, m.name).text(43, "%4h");
  g.at(76, {m.acknowledged, m.aperiodic, m.transmitted});
  put16(g, 79, static_cast<std::uint16_t>(m.remote));
  return put16(g, 81, static_cast<unsigned>(35000 + index));
}

// 78 bytes.
inline Golden variable3(const FileVariable& v) {
  Golden g(78);
  put16(g, 0, v.identifier).text(2, v.name).text(32, v.format);
  put16s(g, 62, {0x40, v.length, static_cast<std::uint16_t>(v.channel), 1});
  g.at(70, {v.direction, v.refreshment, v.promptness, v.flags});
  return put16s(g, 74, {500, 500});
}

// 71 bytes.
inline Golden message3(const FileMessage& m) {
  Golden g(71);
  put16s(g, 0, {m.source, m.destination, 0, 1}).text(8, m.name).text(38, "%4h");
  return g.at(68, {m.acknowledged, static_cast<std::uint8_t>(m.aperiodic == 0 ? 1 : 0), m.transmitted});
}

// 34 bytes at 1 Mbit/s; offset 18 holds the election count (format 4) or the priority (format 3).
inline Golden param(unsigned message_table, unsigned variable_table, unsigned ba_size, std::uint32_t at18,
                    unsigned reserved28 = 0, unsigned reserved30 = 0, unsigned reserved32 = 0) {
  Golden g(34);
  put16s(g, 0, {64, 1, 0, 14, 22, message_table, variable_table, ba_size, 30000});
  put32(g, 18, at18);
  put32(g, 22, 8712);
  g.at(27, {1});
  return put16s(g, 28, {reserved28, reserved30, reserved32});
}

inline unsigned table_size(std::size_t count, bool strictly_above) {
  unsigned size = 2;
  while (size < 4096 && (strictly_above ? size <= count : size < count)) size *= 2;
  return size < 4 ? 4 : size;
}

// A whole format-4 file without bus arbitrator, instructions or lists; the table sizes are those
// that every save recomputes, so that a save gives the same bytes back.
inline std::vector<std::uint8_t> format4_file(const std::vector<FileStation>& stations, std::uint16_t local,
                                              const std::vector<FileVariable>& variables,
                                              const std::vector<FileMessage>& messages) {
  Golden g;
  g.add_text("VERAM 4.00").add({0}).add_zeros(262).add({0, 0, 0, 0});
  Golden count(2);
  g.add(put16(count, 0, static_cast<unsigned>(messages.size())));
  for (std::size_t i = 0; i < messages.size(); ++i) g.add(message4(messages[i], i));
  const unsigned address = static_cast<std::uint16_t>(stations[local].address);
  g.add(param(table_size(messages.size(), false), table_size(variables.size(), true), 0,
              static_cast<std::uint32_t>((256 + address) * 2 + 6)));
  g.add(put16(count, 0, static_cast<unsigned>(variables.size())));
  for (std::size_t i = 0; i < variables.size(); ++i) g.add(variable4(variables[i], i));
  g.add(put16(count, 0, static_cast<unsigned>(stations.size()))).add(put16(count, 0, local));
  for (const FileStation& s : stations) {
    Golden entry(35);
    g.add(put16(entry.text(0, s.name), 33, static_cast<std::uint16_t>(s.address)));
  }
  return g.add({0, 0}).bytes();
}

// A whole format-3 file with two empty instruction sequences, priority 0 and the parameter words
// that format 3 writes (table sizes 16, reserved words 640, 0, 32).
inline std::vector<std::uint8_t> format3_file(const std::vector<FileVariable>& variables,
                                              const std::vector<FileMessage>& messages) {
  Golden g;
  g.add_text("VERAM 3.00").add({0}).add_zeros(128).add({0, 0, 0, 0});
  Golden count(2);
  g.add(put16(count, 0, static_cast<unsigned>(messages.size())));
  for (const FileMessage& m : messages) g.add(message3(m));
  g.add(param(16, 16, 1, 0, 640, 0, 32));
  g.add(put16(count, 0, static_cast<unsigned>(variables.size())));
  for (const FileVariable& v : variables) g.add(variable3(v));
  return g.bytes();
}

// The designer's network on the example bus (stations Designer 1, R5 5, R6 6, the designer's
// local). Temperature turned consumed after it carried periodic channel 2: it kept 0x02, 0x40 and
// channel 2, so the produced channels are 1 and 3. Level is consumed with 0x40 alone. "Valve
// order" is sent periodically on `periodic_channel`.
inline constexpr std::size_t kTemperature = 0, kLevel = 1, kSetpoint = 2, kValve = 3, kPump = 4;
inline constexpr std::size_t kValveOrder = 2;
inline std::vector<FileStation> designer_stations() { return {{"Designer", 1}, {"Arbitrator R5", 5}, {"Tank R6", 6}}; }
inline std::vector<FileVariable> designer_variables() {
  return {
      {.identifier = 0x0A10, .name = "Temperature", .channel = 2, .producer = 1, .consumers = {0}, .direction = 1, .flags = 0x42},
      {.identifier = 0x0A11, .name = "Level", .channel = -1, .producer = 2, .consumers = {0}, .direction = 1, .flags = 0x40},
      {.identifier = 0x0A20, .name = "Setpoint", .channel = 0, .producer = 0, .consumers = {2}, .direction = 0, .flags = 0x03},
      {.identifier = 0x0A21, .name = "Valve", .channel = 1, .producer = 0, .consumers = {2}, .direction = 0, .flags = 0x02},
      {.identifier = 0x0A22, .name = "Pump", .channel = 3, .producer = 0, .consumers = {2}, .direction = 0, .flags = 0x02},
  };
}
inline std::vector<FileMessage> designer_messages(std::uint16_t periodic_channel) {
  return {
      {.source = 0x0A20, .destination = 0x0A11, .channel = 0, .name = "Command", .acknowledged = 1, .remote = 2},
      {.source = 0x0A10, .destination = 0x0A20, .channel = 0, .name = "Alarm", .transmitted = 0, .remote = 1},
      {.source = 0x0A21, .destination = 0x0A11, .channel = periodic_channel, .name = "Valve order", .aperiodic = 0,
       .remote = 2},
  };
}

}  // namespace records::test_bytes
