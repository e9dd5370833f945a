#include "records/sections.h"

#include <algorithm>

#include "records/byte_cursor.h"

namespace records {

namespace {

constexpr std::array<std::string_view, 6> kSectionNames{"ba",        "messages", "param",
                                                        "variables", "stations", "listes"};
static_assert(kSectionNames.size() == kSections.size());

constexpr std::size_t kMaxCount = 0xFFFF;

std::uint16_t cut(std::size_t count, std::size_t bound) {
  return static_cast<std::uint16_t>(std::min({count, bound, kMaxCount}));
}

void encode_sequence(const std::vector<INSTRUCTION>& sequence, ByteWriter& w) {
  const std::uint16_t count = cut(sequence.size(), kMaxCount);
  w.u16(count);
  w.records(sequence, count);
}

bool decode_sequence(ByteReader& r, std::vector<INSTRUCTION>& sequence) {
  std::uint16_t count = 0;
  return r.u16(count) && r.records(count, sequence);
}

// Each decoder fills a copy of the section's fields and commits them only when the whole section
// was read, so a damaged section changes nothing.
Status decode_ba(ByteReader& r, Configuration& c) {
  BA_PARAM ba;
  std::vector<INSTRUCTION> sequence1, sequence2;
  if (!r.record(ba) || !decode_sequence(r, sequence1) || !decode_sequence(r, sequence2))
    return Status::truncated;
  c.ba = ba;
  c.sequence1 = std::move(sequence1);
  c.sequence2 = std::move(sequence2);
  return Status::ok;
}

template <class R>
Status decode_counted(ByteReader& r, std::size_t bound, std::vector<R>& target) {
  std::uint16_t count = 0;
  if (!r.u16(count)) return Status::truncated;
  if (count > bound) return Status::count_out_of_range;
  std::vector<R> records;
  if (!r.records(count, records)) return Status::truncated;
  target = std::move(records);
  return Status::ok;
}

Status decode_param(ByteReader& r, Configuration& c) {
  GENERAL_PARAM param;
  if (!r.record(param)) return Status::truncated;
  c.param = param;
  return Status::ok;
}

Status decode_stations(ByteReader& r, Configuration& c) {
  std::uint16_t count = 0, local = 0;
  if (!r.u16(count) || !r.u16(local)) return Status::truncated;
  if (count > kStationCapacity) return Status::station_count_out_of_range;
  if (local >= kStationCapacity) return Status::local_station_out_of_range;
  std::array<STATION4, kStationCapacity> stations{};
  for (std::size_t i = 0; i < count; ++i)
    if (!r.record(stations[i])) return Status::truncated;
  c.station_count = count;
  c.local_station = local;
  c.stations = stations;
  return Status::ok;
}

Status decode_lists(ByteReader& r, Configuration& c) {
  std::uint16_t count = 0;
  if (!r.u16(count)) return Status::truncated;
  // Every list takes at least its header; checking this first bounds the allocation by the
  // input's size.
  if (r.rest().size() / LISTE_APER::header_size < count) return Status::truncated;
  std::vector<LISTE_APER> lists(count);
  for (LISTE_APER& list : lists) {
    std::size_t consumed = 0;
    switch (decode(r.rest(), list, consumed)) {
      case ListDecode::ok: r.skip(consumed); break;
      case ListDecode::truncated: return Status::truncated;
      case ListDecode::bad_count: return Status::list_out_of_range;
    }
  }
  c.lists = std::move(lists);
  return Status::ok;
}

}  // namespace

std::string_view section_name(Section section) {
  return kSectionNames[static_cast<std::size_t>(section)];
}

void encode_section(Section section, const Configuration& c, std::vector<std::uint8_t>& out) {
  ByteWriter w(out);
  switch (section) {
    case Section::ba:
      w.record(c.ba);
      encode_sequence(c.sequence1, w);
      encode_sequence(c.sequence2, w);
      break;
    case Section::messages: {
      const std::uint16_t count = cut(c.messages.size(), kMaxMessages);
      w.u16(count);
      w.records(c.messages, count);
      break;
    }
    case Section::param:
      w.record(c.param);
      break;
    case Section::variables: {
      const std::uint16_t count = cut(c.variables.size(), kMaxVariables);
      w.u16(count);
      w.records(c.variables, count);
      break;
    }
    case Section::stations: {
      const std::uint16_t count = cut(c.station_count, kStationCapacity);
      w.u16(count);
      w.u16(c.local_station);
      for (std::size_t i = 0; i < count; ++i) w.record(c.stations[i]);
      break;
    }
    case Section::listes: {
      const std::uint16_t count = cut(c.lists.size(), kMaxLists);
      w.u16(count);
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = out.size();
        out.resize(at + encoded_size(c.lists[i]));
        encode(c.lists[i], std::span(out).subspan(at));
      }
      break;
    }
  }
}

Status decode_section(Section section, std::span<const std::uint8_t> in, Configuration& c,
                      std::size_t& consumed) {
  ByteReader r(in);
  Status status = Status::ok;
  switch (section) {
    case Section::ba: status = decode_ba(r, c); break;
    case Section::messages: status = decode_counted(r, kMaxMessages, c.messages); break;
    case Section::param: status = decode_param(r, c); break;
    case Section::variables: status = decode_counted(r, kMaxVariables, c.variables); break;
    case Section::stations: status = decode_stations(r, c); break;
    case Section::listes: status = decode_lists(r, c); break;
  }
  if (status == Status::ok) consumed = r.position();
  return status;
}

}  // namespace records
