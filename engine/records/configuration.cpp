#include "records/configuration.h"

#include <algorithm>
#include <bit>

namespace records {

Configuration new_configuration() {
  Configuration c;
  c.param = new_general_param();
  c.station_count = 1;
  c.local_station = 0;
  c.stations[0] = make_station("Local station", 0);
  return c;
}

void renumber_keys(Configuration& configuration) {
  for (std::size_t i = 0; i < configuration.variables.size(); ++i)
    configuration.variables[i].key = variable_key(i);
  for (std::size_t i = 0; i < configuration.messages.size(); ++i)
    configuration.messages[i].key = message_key(i);
}

Status check_station_indices(const Configuration& configuration) {
  const int count = configuration.station_count;
  if (configuration.local_station >= count) return Status::local_station_out_of_range;
  for (const VARIABLE4& variable : configuration.variables)
    if (variable.producer < -1 || variable.producer >= count) return Status::producer_out_of_range;
  return Status::ok;
}

namespace {

bool is_flag(std::uint8_t byte) { return byte <= 1; }

// One variable against the station table and the local station.
bool consistent(const VARIABLE4& v, std::size_t station_count, std::size_t local) {
  std::size_t members = 0;
  for (std::size_t word = 0; word < v.consumers.size(); ++word) {
    const std::size_t first = word * 32;
    const std::uint32_t inside = first >= station_count        ? 0U
                                 : station_count - first >= 32 ? ~0U
                                                               : (1U << (station_count - first)) - 1U;
    if ((v.consumers[word] & ~inside) != 0) return false;
    members += static_cast<std::size_t>(std::popcount(v.consumers[word]));
  }
  if (members != v.consumer_count) return false;
  if (v.producer >= 0 && is_consumer(v, static_cast<std::size_t>(v.producer))) return false;

  // Direction 0: the local station produces it; 1: another station (or none) produces it and the
  // local station consumes it.
  const bool local_produces = v.producer == static_cast<int>(local);
  const bool produced_here = v.direction == 0 && local_produces;
  const bool consumed_here = v.direction == 1 && !local_produces && is_consumer(v, local);
  if (!produced_here && !consumed_here) return false;
  if (!is_flag(v.refreshment_status) || !is_flag(v.promptness_status)) return false;

  // Whatever the direction: the variable editor keeps the emission and aperiodic request boxes of
  // a variable that turns consumed, and format 3 numbers the periodic channels of every variable
  // that carries message requests.
  return (v.flags & VARIABLE4::kMessageChannel) != 0 ? v.channel >= 0 : v.channel == -1;
}

}  // namespace

Status check_consistency(const Configuration& configuration) {
  if (Status s = check_station_indices(configuration); s != Status::ok) return s;
  for (const VARIABLE4& v : configuration.variables)
    if (!consistent(v, configuration.station_count, configuration.local_station)) return Status::inconsistent;
  for (const MESSAGE4& m : configuration.messages)
    if (!is_flag(m.acknowledged) || !is_flag(m.aperiodic) || !is_flag(m.transmitted)) return Status::inconsistent;
  return Status::ok;
}

int local_address(const Configuration& configuration) {
  return configuration.local_station < configuration.stations.size()
             ? configuration.stations[configuration.local_station].physical_address
             : 0;
}

namespace {
constexpr std::size_t kMinTableSize = 4;
constexpr std::size_t kMaxTableSize = 4096;
}  // namespace

std::uint16_t message_table_size(std::size_t message_count) {
  std::size_t size = 2;
  while (size < kMaxTableSize && size < message_count) size *= 2;
  return static_cast<std::uint16_t>(std::max(size, kMinTableSize));
}

std::uint16_t variable_table_size(std::size_t variable_count) {
  std::size_t size = 2;
  while (size < kMaxTableSize && size <= variable_count) size *= 2;
  return static_cast<std::uint16_t>(std::max(size, kMinTableSize));
}

std::uint16_t format3_table_size(std::size_t count) {
  if (count < 16) return 16;
  std::size_t size = 32;
  while (size < count && size < 512) size *= 2;
  return static_cast<std::uint16_t>(size);
}

void size_tables(Configuration& configuration, std::uint32_t instruction_cost) {
  GENERAL_PARAM& param = configuration.param;
  param.message_table_size = message_table_size(configuration.messages.size());
  param.variable_table_size = variable_table_size(configuration.variables.size());
  if (param.ba_size != 0)
    param.ba_size = static_cast<std::uint16_t>(
        std::min<std::uint32_t>((instruction_cost + 999) / 1000, 0xFFFF));
}

std::uint32_t message_memory_cost(const MESSAGE4& message) { return message.transmitted != 0 ? 16 : 0; }

std::uint32_t memory_estimate(const Configuration& configuration, std::uint32_t instruction_cost) {
  std::uint64_t estimate = 256 + 1024 + 32 * configuration.variables.size();
  for (const MESSAGE4& m : configuration.messages) estimate += message_memory_cost(m);
  if (configuration.param.ba_size != 0) estimate += std::uint64_t{instruction_cost} + 768;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(estimate, 0xFFFFFFFF));
}

}  // namespace records
