// The producer and the consumer set of a variable, as the variable editor, its station pickers and
// the record commands change them. Station i is bit (i mod 32) of word (i / 32) of the consumer
// set, for i from 0 to 255; an index outside that range is never a member and never written, so a
// set is never indexed past its eight words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "records/variable4.h"

namespace plandrel {

// The stations below `station_count` whose bit is set, in index order.
std::vector<std::uint16_t> ConsumerStations(const records::VARIABLE4& variable, std::size_t station_count);

// Whether station `station` is in the set (false for an index outside 0..255 or a negative one).
bool IsConsumer(const records::VARIABLE4& variable, int station);

// Rebuilds the set from `stations` alone (indexes outside 0..255 skipped, each counted once) and
// sets consumer_count to the number of stations in it.
void SetConsumerStations(records::VARIABLE4& variable, std::span<const int> stations);

// producer := station; when it was a consumer its bit is cleared and consumer_count lowered.
void SetProducer(records::VARIABLE4& variable, int station);

// Makes `station` a consumer: its bit set and consumer_count raised, once.
void AddConsumer(records::VARIABLE4& variable, int station);

}  // namespace plandrel
