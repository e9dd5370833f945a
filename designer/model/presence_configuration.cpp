#include "model/presence_configuration.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "records/atomic_file.h"
#include "records/general_param.h"
#include "records/instruction.h"
#include "records/station4.h"
#include "records/variable4.h"

namespace plandrel {

namespace {

constexpr char kMagic[] = "VERAM 4.00";  // written with its terminating NUL
constexpr std::size_t kBaParamBytes = 262;
constexpr std::uint8_t kFill = 0xCD;  // what a text field holds past its NUL
constexpr std::uint16_t kFirstKey = 5000;
constexpr std::uint16_t kPduType = 0x50;
constexpr std::uint16_t kPeriodMs = 500;
constexpr std::uint16_t kPresenceLength = 5;
constexpr std::uint16_t kPlanLength = 34;
constexpr std::uint16_t kSegmentParametersLength = 6;
constexpr std::size_t kStationsHeader = 4;  // u16 count, u16 local index

// GENERAL_PARAM words the generated files set: message_table_size (10), variable_table_size (12)
// and ba_size (14). The variable table is the first power of two from 2 above the records plus
// one, 4 at least; ba_size is the 1000-unit blocks of 15 bytes per line (257 and 268 lines).
struct ParamWords {
  std::uint16_t message_table_size;
  std::uint16_t variable_table_size;
  std::uint16_t ba_size;
};
constexpr ParamWords kParamWords[] = {{4, 4, 1}, {4, 512, 4}, {4, 512, 5}};
constexpr std::size_t kMessageTableSizeOffset = 10;
constexpr std::size_t kVariableTableSizeOffset = 12;
constexpr std::size_t kBaSizeOffset = 14;

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put_u16_at(std::vector<std::uint8_t>& out, std::size_t offset, std::uint16_t value) {
  out[offset] = static_cast<std::uint8_t>(value);
  out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t u16_at(std::span<const std::uint8_t> in, std::size_t offset) {
  return static_cast<std::uint16_t>(in[offset] | in[offset + 1] << 8);
}

// A text field filled with 0xCD, then the NUL-terminated text.
template <std::size_t N>
void fill_text(std::array<char, N>& field, std::string_view text) {
  field.fill(static_cast<char>(kFill));
  const std::size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), n, field.begin());
  field[n] = '\0';
}

std::string id_dat(std::uint16_t identifier) {
  char line[16];
  std::snprintf(line, sizeof line, "ID_DAT(%04X)", static_cast<unsigned>(identifier));
  return line;
}

std::vector<std::string> ba_program(PresenceKind kind, std::uint16_t padding) {
  std::vector<std::string> lines;
  if (kind == PresenceKind::detection) return {id_dat(kPlanIdentifier)};
  if (kind == PresenceKind::arbitrating) {
    lines.push_back(id_dat(kPlanIdentifier));
    lines.insert(lines.end(), 3, id_dat(padding));
    lines.push_back(id_dat(kSegmentParametersIdentifier));
    lines.insert(lines.end(), 7, id_dat(padding));
  }
  for (int a = 0; a < kPhysicalAddresses; ++a) lines.push_back(id_dat(static_cast<std::uint16_t>(kPresenceIdentifierBase + a)));
  return lines;
}

void append_ba_section(std::vector<std::uint8_t>& out, PresenceKind kind, std::uint16_t padding) {
  out.insert(out.end(), kBaParamBytes, 0);  // BA_PARAM: no program file
  const std::vector<std::string> lines = ba_program(kind, padding);
  put_u16(out, static_cast<std::uint16_t>(lines.size()));
  for (const std::string& text : lines) {
    records::INSTRUCTION line;
    fill_text(line.text, text);
    std::array<std::uint8_t, records::INSTRUCTION::size> bytes{};
    records::encode(line, bytes);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  put_u16(out, 0);  // sequence 2 empty
}

records::VARIABLE4 variable(std::uint16_t identifier, std::string_view name, std::uint16_t length, bool produced,
                            std::uint16_t local_index) {
  records::VARIABLE4 v;
  v.identifier = identifier;
  fill_text(v.name, name);
  const std::string format = "%" + std::to_string(length) + "h";
  std::copy(format.begin(), format.end(), v.format.begin());
  v.pdu_type = kPduType;
  v.length = length;
  v.channel = -1;
  v.field_74 = 1;
  v.producer = produced ? static_cast<std::int16_t>(local_index) : std::int16_t{-1};
  v.consumer_count = produced ? 0 : 1;
  if (!produced) v.consumers[0] = 1;  // station index 0
  v.direction = produced ? 0 : 1;
  v.promptness_status = produced ? 0 : 1;
  v.refreshment_period = kPeriodMs;
  v.promptness_period = kPeriodMs;
  return v;
}

std::string presence_name(int address) {
  char name[16];
  std::snprintf(name, sizeof name, "Presence %02X", static_cast<unsigned>(address));
  return name;
}

std::vector<records::VARIABLE4> variables(PresenceKind kind, int local_address, std::uint16_t local_index) {
  std::vector<records::VARIABLE4> list;
  const auto own = [&](int address) {
    return variable(static_cast<std::uint16_t>(kPresenceIdentifierBase + address), presence_name(address), kPresenceLength,
                    address == local_address, local_index);
  };
  switch (kind) {
    case PresenceKind::detection:
      list.push_back(variable(kPlanIdentifier, "Adresses Libres", kPlanLength, false, local_index));
      return list;
    case PresenceKind::listening:
      list.push_back(own(local_address));
      list.push_back(variable(kPlanIdentifier, "Adresses Libres", kPlanLength, false, local_index));
      break;
    case PresenceKind::arbitrating:
      list.push_back(own(local_address));
      list.push_back(variable(kPlanIdentifier, "Controle Presence", kPlanLength, true, local_index));
      list.push_back(variable(kSegmentParametersIdentifier, "Parametres Segment", kSegmentParametersLength, true, local_index));
      break;
  }
  for (int a = 0; a < kPhysicalAddresses; ++a)
    if (a != local_address) list.push_back(own(a));
  return list;
}

void append_variables_section(std::vector<std::uint8_t>& out, PresenceKind kind, int local_address,
                              std::uint16_t local_index) {
  std::vector<records::VARIABLE4> list = variables(kind, local_address, local_index);
  put_u16(out, static_cast<std::uint16_t>(list.size()));
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i].key = static_cast<std::uint16_t>(kFirstKey + i);
    std::array<std::uint8_t, records::VARIABLE4::size> bytes{};
    records::encode(list[i], bytes);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
}

// The first `limit` bytes of a file (fewer when it is shorter); nothing when it cannot be opened.
std::optional<std::vector<std::uint8_t>> read_prefix(const std::filesystem::path& path, std::size_t limit) {
  std::vector<std::uint8_t> bytes;
  if (!records::read_file_head(path, limit, bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

bool AddressBit(const AddressMap& map, int address) {
  if (address < 0 || address >= kPhysicalAddresses) return false;
  return (map[static_cast<std::size_t>(address / 8)] >> (address % 8) & 1) != 0;
}

void SetAddressBit(AddressMap& map, int address, bool used) {
  if (address < 0 || address >= kPhysicalAddresses) return;
  const auto bit = static_cast<std::uint8_t>(1u << (address % 8));
  auto& byte = map[static_cast<std::size_t>(address / 8)];
  byte = static_cast<std::uint8_t>(used ? byte | bit : byte & ~bit);
}

std::filesystem::path AddressMapPath(const std::filesystem::path& working_folder, SelectedDevice device) {
  return working_folder /
         ("Conf_Adresses" + std::to_string(device.board_type) + std::to_string(device.board_number) + ".trv");
}

std::optional<AddressMap> ReadAddressMap(const std::filesystem::path& path) {
  const auto bytes = read_prefix(path, AddressMap{}.size());
  if (!bytes || bytes->size() != AddressMap{}.size()) return std::nullopt;
  AddressMap map{};
  std::copy(bytes->begin(), bytes->end(), map.begin());
  return map;
}

bool WriteAddressMap(const std::filesystem::path& path, const AddressMap& map) {
  return records::write_file_atomically(path, map);
}

std::filesystem::path PresenceConfigurationPath(const std::filesystem::path& working_folder, PresenceKind kind) {
  return working_folder / (kind == PresenceKind::detection ? "ActiviteFIP.cnf" : "PresenceSta.cnf");
}

PresenceFile BuildPresenceConfiguration(PresenceKind kind, std::optional<std::span<const std::uint8_t>> param_file,
                                        std::optional<std::span<const std::uint8_t>> stations_file,
                                        PresenceSettings& settings) {
  PresenceFile file{std::vector<std::uint8_t>(std::begin(kMagic), std::end(kMagic))};
  std::vector<std::uint8_t>& out = file.bytes;

  // The BA program pads with the padding identifier of the configuration when its param file reads.
  const bool param_ok = param_file && param_file->size() >= records::GENERAL_PARAM::size;
  if (param_ok) {
    const std::span<const std::uint8_t> param = param_file->first(records::GENERAL_PARAM::size);
    settings.turnaround = u16_at(param, 6);
    settings.silence = u16_at(param, 8);
    settings.padding_identifier = u16_at(param, 16);
  }
  append_ba_section(out, kind, settings.padding_identifier);
  put_u16(out, 0);  // messages

  if (param_ok) {
    const std::size_t at = out.size();
    out.insert(out.end(), param_file->begin(), param_file->begin() + records::GENERAL_PARAM::size);
    const ParamWords& words = kParamWords[static_cast<std::size_t>(kind)];
    put_u16_at(out, at + kMessageTableSizeOffset, words.message_table_size);
    put_u16_at(out, at + kVariableTableSizeOffset, words.variable_table_size);
    put_u16_at(out, at + kBaSizeOffset, words.ba_size);
  } else {
    file.result = PresenceFileResult::configuration_bad;
  }

  // Stations: the count, the local index and the first record, which names the local address.
  bool stations_ok = stations_file && stations_file->size() >= kStationsHeader + records::STATION4::size &&
                     u16_at(*stations_file, 0) != 0;
  if (stations_ok) {
    const std::span<const std::uint8_t> first = stations_file->subspan(kStationsHeader, records::STATION4::size);
    const int address = static_cast<std::int16_t>(u16_at(first, 33));
    stations_ok = address >= 0 && address < kPhysicalAddresses;
    if (stations_ok) {
      settings.local_address = address;
      settings.local_index = u16_at(*stations_file, 2);
      append_variables_section(out, kind, address, settings.local_index);
      put_u16(out, 1);
      put_u16(out, settings.local_index);
      out.insert(out.end(), first.begin(), first.end());
    }
  }
  if (!stations_ok) file.result = PresenceFileResult::configuration_bad;

  put_u16(out, 0);  // lists
  return file;
}

PresenceFileResult WritePresenceConfiguration(PresenceKind kind, const records::WorkingFiles& working,
                                              const std::filesystem::path& working_folder, PresenceSettings& settings) {
  const auto param = read_prefix(working.path(records::Section::param), records::GENERAL_PARAM::size);
  const auto stations = read_prefix(working.path(records::Section::stations), kStationsHeader + records::STATION4::size);
  const auto view = [](const std::optional<std::vector<std::uint8_t>>& bytes) {
    return bytes ? std::optional<std::span<const std::uint8_t>>(*bytes) : std::nullopt;
  };
  const PresenceFile file = BuildPresenceConfiguration(kind, view(param), view(stations), settings);
  if (!records::write_file_atomically(PresenceConfigurationPath(working_folder, kind), file.bytes))
    return PresenceFileResult::cannot_create;
  return file.result;
}

}  // namespace plandrel
