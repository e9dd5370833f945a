#include "model/consumer_set.h"

#include <bit>

namespace plandrel {

namespace {

bool InSet(int station) { return station >= 0 && static_cast<std::size_t>(station) < records::kStationCapacity; }

}  // namespace

std::vector<std::uint16_t> ConsumerStations(const records::VARIABLE4& variable, std::size_t station_count) {
  std::vector<std::uint16_t> stations;
  const std::size_t count = std::min(station_count, records::kStationCapacity);
  for (std::size_t i = 0; i < count; ++i)
    if (records::is_consumer(variable, i)) stations.push_back(static_cast<std::uint16_t>(i));
  return stations;
}

bool IsConsumer(const records::VARIABLE4& variable, int station) {
  return InSet(station) && records::is_consumer(variable, static_cast<std::size_t>(station));
}

void SetConsumerStations(records::VARIABLE4& variable, std::span<const int> stations) {
  variable.consumers.fill(0);
  for (int station : stations)
    if (InSet(station)) records::set_consumer(variable, static_cast<std::size_t>(station), true);
  int members = 0;
  for (std::uint32_t word : variable.consumers) members += std::popcount(word);
  variable.consumer_count = static_cast<std::uint16_t>(members);
}

void SetProducer(records::VARIABLE4& variable, int station) {
  variable.producer = static_cast<std::int16_t>(station);
  if (!IsConsumer(variable, station)) return;
  records::set_consumer(variable, static_cast<std::size_t>(station), false);
  if (variable.consumer_count > 0) --variable.consumer_count;
}

void AddConsumer(records::VARIABLE4& variable, int station) {
  if (!InSet(station) || IsConsumer(variable, station)) return;
  records::set_consumer(variable, static_cast<std::size_t>(station), true);
  ++variable.consumer_count;
}

}  // namespace plandrel
