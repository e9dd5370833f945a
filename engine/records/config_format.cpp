#include "records/config_format.h"

#include <algorithm>
#include <cstring>

#include "records/byte_cursor.h"
#include "records/format3.h"
#include "records/sections.h"

namespace records {

std::optional<Format> format_of(std::span<const std::uint8_t> file) {
  if (file.size() < kMagicSize) return std::nullopt;
  const std::string_view magic(reinterpret_cast<const char*>(file.data()), kMagicSize);
  if (magic == kMagic4) return Format::v4;
  if (magic == kMagic3) return Format::v3;
  return std::nullopt;
}

namespace {

void summarise(const Configuration& c, Format format, LoadSummary& summary) {
  summary.format = format;
  summary.priority = priority_from_election(c.param.election_count, local_address(c));
  summary.instruction_cost = instruction_cost(c.sequence1, c.sequence2);
  summary.memory_estimate = memory_estimate(c, summary.instruction_cost);
}

Status decode_format4(std::span<const std::uint8_t> body, Configuration& c) {
  for (Section section : kSections) {
    std::size_t consumed = 0;
    if (Status s = decode_section(section, body, c, consumed); s != Status::ok) return s;
    body = body.subspan(consumed);
  }
  if (Status s = check_station_indices(c); s != Status::ok) return s;
  renumber_keys(c);
  for (LISTE_APER& list : c.lists) list.urgent = list.urgent != 0 ? 1 : 0;
  for (MESSAGE4& message : c.messages)
    if (message.channel > kMaxMessageChannel) message.channel = 0;
  return Status::ok;
}

template <class R3, class Widen>
Status decode_format3_records(ByteReader& r, Widen widen, auto& target) {
  std::uint16_t count = 0;
  if (!r.u16(count)) return Status::truncated;
  if (count > kFormat3MaxRecords) return Status::count_out_of_range;
  std::vector<R3> narrow;
  if (!r.records(count, narrow)) return Status::truncated;
  target.clear();
  for (std::size_t i = 0; i < narrow.size(); ++i) target.push_back(widen(narrow[i], i));
  return Status::ok;
}

// Removes the messages that join two variables of one producer, or two identifiers that no
// variable bears: format 3 described a network of two stations, where such a message goes
// nowhere.
void remove_local_messages(Configuration& c) {
  auto producer_of = [&c](std::uint16_t identifier) -> std::optional<std::int16_t> {
    for (const VARIABLE4& v : c.variables)
      if (v.identifier == identifier) return v.producer;
    return std::nullopt;
  };
  std::erase_if(c.messages, [&](const MESSAGE4& m) {
    return producer_of(m.source_identifier) == producer_of(m.destination_identifier);
  });
  renumber_keys(c);
}

Status decode_format3(std::span<const std::uint8_t> body, Configuration& c) {
  ByteReader r(body);

  // The 128-byte head of the BA block, read into a zeroed block.
  std::array<std::uint8_t, BA_PARAM::size> ba{};
  if (r.rest().size() < BA_PARAM::format3_size) return Status::truncated;
  std::copy_n(r.rest().begin(), BA_PARAM::format3_size, ba.begin());
  r.skip(BA_PARAM::format3_size);
  c.ba = from_bytes<BA_PARAM>(ba);
  std::uint16_t count = 0;
  if (!r.u16(count) || !r.records(count, c.sequence1)) return Status::truncated;
  if (!r.u16(count) || !r.records(count, c.sequence2)) return Status::truncated;

  if (Status s = decode_format3_records<MESSAGE3>(
          r, [](const MESSAGE3& m, std::size_t i) { return widen_for_designer(m, i); },
          c.messages);
      s != Status::ok)
    return s;

  if (!r.record(c.param)) return Status::truncated;
  // Format 3 kept the priority where format 4 keeps the election count; a damaged value is held
  // to the priority range so that the count and the priority derived from it agree.
  const int priority = std::min<int>(static_cast<std::uint16_t>(c.param.election_count), kMaxPriority);
  c.param.ba_size = 1;
  c.param.election_count = election_count(priority, 0);

  ChannelNumbering channels;
  if (Status s = decode_format3_records<VARIABLE3>(
          r,
          [&channels](const VARIABLE3& v, std::size_t i) {
            return widen_for_designer(v, i, channels);
          },
          c.variables);
      s != Status::ok)
    return s;

  c.station_count = 2;
  c.local_station = 0;
  c.stations = {};
  c.stations[0] = make_station("Local station", 0);
  c.stations[1] = make_station("Mirror", -1);
  c.lists.clear();
  remove_local_messages(c);
  return Status::ok;
}

}  // namespace

Status decode_configuration(std::span<const std::uint8_t> file, Configuration& configuration,
                            LoadSummary& summary) {
  const std::optional<Format> format = format_of(file);
  if (!format) return Status::invalid_format;
  Configuration c;
  const auto body = file.subspan(kMagicSize);
  if (Status s = *format == Format::v4 ? decode_format4(body, c) : decode_format3(body, c);
      s != Status::ok)
    return s;
  configuration = std::move(c);
  summarise(configuration, *format, summary);
  return summary.memory_estimate > kMemoryLimit ? Status::memory_full : Status::ok;
}

std::vector<std::uint8_t> encode_format4(const Configuration& configuration) {
  std::vector<std::uint8_t> out(kMagic4.begin(), kMagic4.end());
  for (Section section : kSections) encode_section(section, configuration, out);
  return out;
}

std::vector<std::uint8_t> encode_format3(const Configuration& c) {
  std::vector<std::uint8_t> out(kMagic3.begin(), kMagic3.end());
  ByteWriter w(out);

  BA_PARAM ba = c.ba;
  ba.program_path[BA_PARAM::format3_size - 2] = '\0';  // byte 127 of the block
  const auto ba_bytes = to_bytes(ba);
  w.bytes(std::span(ba_bytes).first<BA_PARAM::format3_size>());
  for (const auto* sequence : {&c.sequence1, &c.sequence2}) {
    const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(sequence->size(), 0xFFFF));
    w.u16(count);
    w.records(*sequence, count);
  }

  const std::size_t messages = std::min(c.messages.size(), kFormat3MaxRecords);
  w.u16(static_cast<std::uint16_t>(messages));
  for (std::size_t i = 0; i < messages; ++i) w.record(narrow_to_format3(c.messages[i]));

  const std::size_t variables = std::min(c.variables.size(), kFormat3MaxRecords);
  GENERAL_PARAM param = c.param;
  param.message_table_size = format3_table_size(messages);
  param.variable_table_size = format3_table_size(variables);
  const std::uint32_t cost = format3_instruction_cost(c.sequence1, c.sequence2);
  param.ba_size = static_cast<std::uint16_t>(std::min<std::uint32_t>((cost * 2 + 999) / 1000, 0xFFFF));
  param.reserved_28 = 640;
  param.reserved_30 = 0;
  param.reserved_32 = 32;
  // A format-3 reader takes the priority from here.
  param.election_count = priority_from_election(c.param.election_count, local_address(c));
  w.record(param);

  w.u16(static_cast<std::uint16_t>(variables));
  for (std::size_t i = 0; i < variables; ++i) w.record(narrow_to_format3(c.variables[i]));
  return out;
}

}  // namespace records
