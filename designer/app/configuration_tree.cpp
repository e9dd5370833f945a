#include "configuration_tree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace plandrel {
namespace {

using records::Configuration;
using records::MESSAGE4;
using records::VARIABLE4;

template <std::size_t N>
std::string_view text_of(const std::array<char, N>& name) {
  return {name.data(), strnlen(name.data(), N)};
}

// The station and the identifier that each side of a message names, before any variable is
// looked up: [0] the source side, [1] the destination side.
struct SideTarget {
  std::optional<std::uint16_t> station;
  std::uint16_t identifier = 0;
};
std::array<SideTarget, 2> side_targets(const Configuration& configuration, const MESSAGE4& message) {
  const std::optional<std::uint16_t> local = configuration.local_station;
  std::optional<std::uint16_t> remote;
  if (message.remote_station >= 0) remote = static_cast<std::uint16_t>(message.remote_station);
  if (message.transmitted == 1)
    return {SideTarget{local, message.source_identifier}, SideTarget{remote, message.destination_identifier}};
  return {SideTarget{remote, message.source_identifier}, SideTarget{local, message.destination_identifier}};
}

constexpr std::array<int, 2> kSideImages = {kImageMessageSource, kImageMessageDestination};

bool shows_variable(const VARIABLE4& variable, std::uint16_t station) {
  return variable.producer == static_cast<std::int16_t>(station) || records::is_consumer(variable, station);
}

// The index of the first variable with each identifier, in list order.
std::unordered_map<std::uint16_t, std::size_t> first_variable_by_identifier(const Configuration& configuration) {
  std::unordered_map<std::uint16_t, std::size_t> first;
  first.reserve(configuration.variables.size());
  for (std::size_t v = 0; v < configuration.variables.size(); ++v)
    first.try_emplace(configuration.variables[v].identifier, v);
  return first;
}

// The (station code, variable code) of each side of a message, its variable found by `find`
// (identifier -> index of the first variable with it, if any).
template <class Find>
ConfigurationTree::SidePlaces side_places(const Configuration& configuration, const MESSAGE4& message, Find find) {
  const auto targets = side_targets(configuration, message);
  ConfigurationTree::SidePlaces places;
  for (std::size_t s = 0; s < 2; ++s) {
    if (!targets[s].station) continue;
    if (const std::optional<std::size_t> variable = find(targets[s].identifier))
      places[s] = std::pair{station_code(*targets[s].station), std::uint32_t{configuration.variables[*variable].key}};
  }
  return places;
}

constexpr auto kByCode = [](const auto& a, const auto& b) { return a.first < b.first; };

}  // namespace

std::optional<std::size_t> find_variable(const Configuration& configuration, std::uint16_t identifier) {
  for (std::size_t i = 0; i < configuration.variables.size(); ++i)
    if (configuration.variables[i].identifier == identifier) return i;
  return std::nullopt;
}

MessageSides message_sides(const Configuration& configuration, const MESSAGE4& message) {
  const auto targets = side_targets(configuration, message);
  std::array<std::optional<MessageSide>, 2> sides;
  for (std::size_t s = 0; s < 2; ++s) {
    const SideTarget& target = targets[s];
    if (!target.station || *target.station >= configuration.station_count) continue;
    const auto variable = find_variable(configuration, target.identifier);
    if (variable && shows_variable(configuration.variables[*variable], *target.station))
      sides[s] = MessageSide{*target.station, *variable};
  }
  return {sides[0], sides[1]};
}

template <class Visit>
void ConfigurationTree::for_each_station_item(Visit visit) const {
  const Item root = items_.first_root();
  if (root == TreeItems::kNone) return;
  for (Item item = items_.first_child(root); item != TreeItems::kNone;) {
    const Item next = items_.next_sibling(item);  // the visitor may remove the item's children
    if (is_station_code(items_.data(item))) visit(item, items_.data(item) - kStationCodeBase);
    item = next;
  }
}

template <class Visit>
void ConfigurationTree::for_each_variable_item(Visit visit) const {
  for_each_station_item([&](Item station, std::uint32_t index) {
    for (Item variable = items_.first_child(station); variable != TreeItems::kNone;
         variable = items_.next_sibling(variable))
      visit(variable, index);
  });
}

TreeItems::Item ConfigurationTree::child_with_code(Item parent, std::uint32_t code) const {
  for (Item child = items_.first_child(parent); child != TreeItems::kNone; child = items_.next_sibling(child))
    if (items_.data(child) == code) return child;
  return TreeItems::kNone;
}

TreeItems::Item ConfigurationTree::station_item(std::uint16_t index) const {
  const Item root = items_.first_root();
  return root == TreeItems::kNone ? TreeItems::kNone : child_with_code(root, station_code(index));
}

void ConfigurationTree::note_code(Item item, std::uint32_t code) {
  if (by_code_complete_) by_code_.emplace_back(code, item);
}

void ConfigurationTree::items_changed() {
  by_code_.clear();
  by_code_complete_ = false;
  by_code_sorted_ = 0;
}

void ConfigurationTree::index_items() {
  if (!by_code_complete_) {
    by_code_.clear();
    by_code_sorted_ = 0;
    by_code_complete_ = true;
    std::vector<Item> level;
    for (Item item = items_.first_root(); item != TreeItems::kNone; item = items_.next_sibling(item))
      level.push_back(item);
    while (!level.empty()) {
      std::vector<Item> next;
      for (Item item : level) {
        note_code(item, items_.data(item));
        for (Item child = items_.first_child(item); child != TreeItems::kNone; child = items_.next_sibling(child))
          next.push_back(child);
      }
      level.swap(next);
    }
  }
  // A few entries added since the last sort are searched one by one; more are merged in.
  constexpr std::size_t kUnsortedEntries = 256;
  if (by_code_.size() - by_code_sorted_ > kUnsortedEntries) {
    const auto added = by_code_.begin() + static_cast<std::ptrdiff_t>(by_code_sorted_);
    std::sort(added, by_code_.end(), kByCode);
    std::inplace_merge(by_code_.begin(), added, by_code_.end(), kByCode);
    by_code_sorted_ = by_code_.size();
  }
}

template <class Visit>
void ConfigurationTree::for_each_item_with_code(std::uint32_t code, Visit visit) {
  index_items();
  const auto sorted_end = by_code_.begin() + static_cast<std::ptrdiff_t>(by_code_sorted_);
  const auto visit_entry = [&](std::pair<std::uint32_t, Item>& entry) {
    // A blank entry is an item removed; an item deleted since carries no code.
    if (entry.first == code && entry.second != TreeItems::kNone && items_.data(entry.second) == code) visit(entry);
  };
  for (auto it = std::lower_bound(by_code_.begin(), sorted_end, std::pair{code, Item{0}}, kByCode);
       it != sorted_end && it->first == code; ++it)
    visit_entry(*it);
  for (auto it = sorted_end; it != by_code_.end(); ++it) visit_entry(*it);
}

std::vector<TreeItems::Item> ConfigurationTree::items_with_code(std::uint32_t code) {
  std::vector<Item> items;
  for_each_item_with_code(code, [&](const auto& entry) { items.push_back(entry.second); });
  return items;
}

void ConfigurationTree::remove_item(Item item) {
  if (by_code_complete_) forget_items(item);
  items_.remove(item);
}

void ConfigurationTree::forget_items(Item item) {
  for (Item child = items_.first_child(item); child != TreeItems::kNone; child = items_.next_sibling(child))
    forget_items(child);
  for_each_item_with_code(items_.data(item), [&](auto& entry) {
    if (entry.second == item) entry.second = TreeItems::kNone;
  });
}

bool ConfigurationTree::is_station_item(Item item) const {
  const Item root = items_.first_root();
  return item != TreeItems::kNone && root != TreeItems::kNone && items_.parent(item) == root &&
         is_station_code(items_.data(item));
}

TreeItems::Item ConfigurationTree::station_above(Item item) const {
  const Item station = items_.parent(item);
  return is_station_item(station) ? station : TreeItems::kNone;
}

template <class Accept>
std::vector<std::pair<TreeItems::Item, TreeItems::Item>> ConfigurationTree::first_children_with_code(std::uint32_t code,
                                                                                                    Accept accept) {
  std::vector<std::pair<Item, Item>> found;
  for_each_item_with_code(code, [&](const auto& entry) {
    const Item parent = items_.parent(entry.second);
    if (parent == TreeItems::kNone || !accept(parent)) return;
    const auto same = std::find_if(found.begin(), found.end(), [&](const auto& f) { return f.first == parent; });
    if (same == found.end())
      found.emplace_back(parent, entry.second);
    else
      same->second = child_with_code(parent, code);  // two under one parent: the first in the tree
  });
  return found;
}

TreeItems::Item ConfigurationTree::insert_item(Item parent, Item after, std::string_view text, int image,
                                               std::uint32_t code) {
  const Item item = items_.insert(parent, after, text, image, selected_image(image));
  if (item != TreeItems::kNone && items_.set_data(item, code)) note_code(item, code);
  return item;
}

TreeItems::Item ConfigurationTree::insert_in_code_order(Item parent, std::uint32_t code, std::string_view text,
                                                        int image) {
  Item after = TreeItems::kFirst;
  for (Item child = items_.first_child(parent); child != TreeItems::kNone; child = items_.next_sibling(child)) {
    if (items_.data(child) > code) break;
    after = child;
  }
  return insert_item(parent, after, text, image, code);
}

void ConfigurationTree::remove_and_renumber(Item parent, std::uint32_t code) {
  items_changed();
  Item doomed = TreeItems::kNone;
  for (Item child = items_.first_child(parent); child != TreeItems::kNone; child = items_.next_sibling(child)) {
    const std::uint32_t data = items_.data(child);
    if (data == code && doomed == TreeItems::kNone)
      doomed = child;
    else if (data > code)
      items_.set_data(child, data - 1);
  }
  if (doomed != TreeItems::kNone) items_.remove(doomed);
}

std::uint32_t ConfigurationTree::build(const Configuration& configuration) {
  std::uint32_t failure = 0;
  auto add = [&](Item parent, Item after, std::string_view text, int image, std::uint32_t code) {
    const Item item = items_.insert(parent, after, text, image, selected_image(image));
    if (item == TreeItems::kNone)
      failure = kTreeInsertCode;
    else if (!items_.set_data(item, code))
      failure = kTreeItemDataCode;
    else
      by_code_.emplace_back(code, item);
    return failure == 0 ? item : TreeItems::kNone;
  };

  items_.remove_all();
  by_code_.clear();
  // Complete as the items go in; a build that fails half-way leaves the items it made.
  by_code_complete_ = true;
  by_code_sorted_ = 0;
  const Item root = add(TreeItems::kNone, TreeItems::kLast, kRootText, kImageRoot, kRootCode);
  if (failure != 0) return failure;

  const std::size_t station_count = std::min<std::size_t>(configuration.station_count, records::kStationCapacity);
  std::vector<Item> stations(station_count, TreeItems::kNone);
  for (std::size_t i = 0; i < station_count; ++i) {
    const bool local = i == configuration.local_station;
    stations[i] = add(root, local ? TreeItems::kFirst : TreeItems::kLast, text_of(configuration.stations[i].name),
                      local ? kImageLocalStation : kImageOtherStation, station_code(static_cast<std::uint32_t>(i)));
    if (failure != 0) return failure;
  }
  if (configuration.param.ba_size != 0) {
    add(root, TreeItems::kFirst, kBusArbitratorText, kImageBusArbitrator, kBusArbitratorCode);
    if (failure != 0) return failure;
  }

  // The variable items placed, by station and variable index, for the messages to find: the first
  // placed of a pair (a producer that also consumes shows the variable twice).
  std::vector<std::pair<std::uint32_t, Item>> placed;
  placed.reserve(configuration.variables.size() * 3);
  const auto place_key = [](std::size_t station, std::size_t variable) {
    return static_cast<std::uint32_t>(station << 16 | variable);
  };
  for (std::size_t v = 0; v < configuration.variables.size(); ++v) {
    const VARIABLE4& variable = configuration.variables[v];
    const auto place = [&](std::size_t station, int image) {
      if (station >= station_count) return (failure = kTreeStationNotFoundCode) == 0;
      const Item item = add(stations[station], TreeItems::kLast, text_of(variable.name), image, variable.key);
      placed.emplace_back(place_key(station, v), item);
      return failure == 0;
    };
    if (variable.producer != -1 &&
        !place(variable.producer < 0 ? station_count : static_cast<std::size_t>(variable.producer),
               kImageProducedVariable))
      return failure;
    std::size_t consumers = 0;
    for (std::size_t j = 0; j < records::kStationCapacity && consumers < variable.consumer_count; ++j) {
      if (!records::is_consumer(variable, j)) continue;
      if (!place(j, kImageConsumedVariable)) return failure;
      ++consumers;
    }
  }

  std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  const std::unordered_map<std::uint16_t, std::size_t> first_with_identifier = first_variable_by_identifier(configuration);
  for (const MESSAGE4& message : configuration.messages) {
    const auto targets = side_targets(configuration, message);
    for (std::size_t s = 0; s < 2; ++s) {
      if (!targets[s].station) continue;
      const auto variable = first_with_identifier.find(targets[s].identifier);
      if (variable == first_with_identifier.end()) continue;
      const std::uint32_t key = place_key(*targets[s].station, variable->second);
      const auto item = std::lower_bound(placed.begin(), placed.end(), key,
                                         [](const auto& entry, std::uint32_t wanted) { return entry.first < wanted; });
      if (item == placed.end() || item->first != key) continue;
      add(item->second, TreeItems::kLast, text_of(message.name), kSideImages[s], message.key);
      if (failure != 0) return failure;
    }
  }
  return 0;
}

void ConfigurationTree::expand_all() {
  const Item root = items_.first_root();
  if (root == TreeItems::kNone) return;
  items_.expand(root);
  for (Item child = items_.first_child(root); child != TreeItems::kNone; child = items_.next_sibling(child)) {
    if (items_.first_child(child) == TreeItems::kNone) continue;
    items_.expand(child);
    for (Item grandchild = items_.first_child(child); grandchild != TreeItems::kNone;
         grandchild = items_.next_sibling(grandchild))
      if (items_.first_child(grandchild) != TreeItems::kNone) items_.expand(grandchild);
  }
}

void ConfigurationTree::expand_local_station(const Configuration& configuration) {
  const Item root = items_.first_root();
  if (root == TreeItems::kNone) return;
  if (!items_.expanded(root)) items_.expand(root);
  const Item local = station_item(configuration.local_station);
  if (local == TreeItems::kNone) return;
  if (!items_.expanded(local)) items_.expand(local);
  for (Item child = items_.first_child(local); child != TreeItems::kNone; child = items_.next_sibling(child))
    if (!items_.expanded(child) && items_.first_child(child) != TreeItems::kNone) items_.expand(child);
}

void ConfigurationTree::insert_station_item(const Configuration& configuration, std::int16_t index) {
  const Item root = items_.first_root();
  if (root == TreeItems::kNone) return;
  if (index == -1) {
    const Item first = items_.first_child(root);
    if (first != TreeItems::kNone && items_.data(first) == kBusArbitratorCode) return;  // already shown
    insert_item(root, TreeItems::kFirst, kBusArbitratorText, kImageBusArbitrator, kBusArbitratorCode);
    return;
  }
  if (index < 0 || index >= configuration.station_count) return;
  insert_item(root, TreeItems::kLast, text_of(configuration.stations[index].name), kImageOtherStation,
              station_code(static_cast<std::uint32_t>(index)));
}

void ConfigurationTree::delete_station_item(std::int16_t index) {
  const Item root = items_.first_root();
  if (root == TreeItems::kNone) return;
  if (index == -1) {
    // Only the bus arbitrator's item: with none shown, the first child is the local station.
    const Item first = items_.first_child(root);
    if (first != TreeItems::kNone && items_.data(first) == kBusArbitratorCode) {
      items_changed();
      items_.remove(first);
    }
    return;
  }
  if (index < 0) return;
  const std::uint32_t code = station_code(static_cast<std::uint32_t>(index));
  const Item doomed = child_with_code(root, code);
  if (doomed == TreeItems::kNone) return;
  // The stations above move down one place in the table, the local station among them even
  // though its item stands first.
  items_changed();
  for (Item child = items_.first_child(root); child != TreeItems::kNone; child = items_.next_sibling(child)) {
    const std::uint32_t data = items_.data(child);
    if (is_station_code(data) && data > code) items_.set_data(child, data - 1);
  }
  items_.remove(doomed);
}

void ConfigurationTree::rename_station_item(const Configuration& configuration, std::uint16_t index) {
  if (index >= configuration.station_count) return;
  const Item item = station_item(index);
  if (item != TreeItems::kNone) items_.set_text(item, text_of(configuration.stations[index].name));
}

void ConfigurationTree::insert_variable_items(const Configuration& configuration, const VARIABLE4& variable) {
  (void)configuration;
  bool producer_seen = variable.producer == -1;
  std::size_t consumers = 0;
  for_each_station_item([&](Item station, std::uint32_t index) {
    if (producer_seen && consumers >= variable.consumer_count) return;
    int image = -1;
    if (static_cast<std::int32_t>(index) == variable.producer) {
      image = kImageProducedVariable;
      producer_seen = true;
    } else if (consumers < variable.consumer_count && records::is_consumer(variable, index)) {
      image = kImageConsumedVariable;
      ++consumers;
    }
    if (image < 0) return;
    insert_item(station, TreeItems::kLast, text_of(variable.name), image, variable.key);
  });
}

void ConfigurationTree::delete_variable_items(const VARIABLE4& variable) {
  for_each_station_item([&](Item station, std::uint32_t) { remove_and_renumber(station, variable.key); });
}

void ConfigurationTree::rename_variable_items(const VARIABLE4& variable) {
  for (Item item : items_with_code(variable.key)) items_.set_text(item, text_of(variable.name));
}

void ConfigurationTree::update_variable_items(const VARIABLE4& variable) {
  const Item root = items_.first_root();
  if (root == TreeItems::kNone) return;
  const auto shown = first_children_with_code(variable.key, [&](Item parent) { return is_station_item(parent); });
  for_each_station_item([&](Item station, std::uint32_t index) {
    const bool producer = static_cast<std::int32_t>(index) == variable.producer;
    const bool consumer = !producer && records::is_consumer(variable, index);
    const auto at = std::find_if(shown.begin(), shown.end(), [&](const auto& f) { return f.first == station; });
    const Item item = at == shown.end() ? TreeItems::kNone : at->second;
    if (!producer && !consumer) {
      if (item != TreeItems::kNone) remove_item(item);
      return;
    }
    const int image = producer ? kImageProducedVariable : kImageConsumedVariable;
    if (item == TreeItems::kNone)
      insert_in_code_order(station, variable.key, text_of(variable.name), image);
    else if (items_.image(item) != image)
      items_.set_images(item, image, selected_image(image));
  });
}

void ConfigurationTree::insert_message_item(const Configuration& configuration, const MESSAGE4& message) {
  const auto targets = side_targets(configuration, message);
  for (std::size_t s = 0; s < 2; ++s) {
    if (!targets[s].station) continue;
    const Item station = station_item(*targets[s].station);
    const auto variable = find_variable(configuration, targets[s].identifier);
    if (station == TreeItems::kNone || !variable) continue;
    const Item parent = child_with_code(station, configuration.variables[*variable].key);
    if (parent == TreeItems::kNone) continue;
    insert_item(parent, TreeItems::kLast, text_of(message.name), kSideImages[s], message.key);
  }
}

void ConfigurationTree::delete_message_items(const MESSAGE4& message) {
  for_each_variable_item([&](Item variable, std::uint32_t) { remove_and_renumber(variable, message.key); });
}

void ConfigurationTree::rename_message_items(const MESSAGE4& message) {
  for (Item item : items_with_code(message.key)) items_.set_text(item, text_of(message.name));
}

void ConfigurationTree::update_message_items(const Configuration& configuration, const MESSAGE4& message) {
  place_message_items(message, side_places(configuration, message, [&](std::uint16_t identifier) {
                        return find_variable(configuration, identifier);
                      }));
}

void ConfigurationTree::update_message_items(const Configuration& configuration,
                                             const std::vector<std::size_t>& messages) {
  if (messages.empty()) return;
  const std::unordered_map<std::uint16_t, std::size_t> first_with_identifier = first_variable_by_identifier(configuration);
  const auto find = [&](std::uint16_t identifier) -> std::optional<std::size_t> {
    const auto it = first_with_identifier.find(identifier);
    if (it == first_with_identifier.end()) return std::nullopt;
    return it->second;
  };
  for (std::size_t i : messages)
    if (i < configuration.messages.size())
      place_message_items(configuration.messages[i], side_places(configuration, configuration.messages[i], find));
}

void ConfigurationTree::place_message_items(const MESSAGE4& message, const SidePlaces& sides) {
  if (items_.first_root() == TreeItems::kNone) return;
  // Where the message shows: (variable item, its item there or kNone, the side's image or -1).
  struct Place {
    Item variable;
    Item item;
    int image;
  };
  std::vector<Place> places;
  const auto place_at = [&](Item variable) -> Place& {
    for (Place& place : places)
      if (place.variable == variable) return place;
    return places.emplace_back(Place{variable, TreeItems::kNone, -1});
  };
  // Each side's variable items; where both sides name one item the source side's image stands.
  for (std::size_t s = 0; s < 2; ++s) {
    if (!sides[s]) continue;
    const std::uint32_t station = sides[s]->first;  // named: clang 14 lambdas cannot capture a structured binding
    for_each_item_with_code(sides[s]->second, [&](const auto& entry) {
      const Item station_item = station_above(entry.second);
      if (station_item == TreeItems::kNone || items_.data(station_item) != station) return;
      Place& place = place_at(entry.second);
      if (place.image < 0) place.image = kSideImages[s];
    });
  }
  // The message's items under variable items.
  for (const auto& [variable, item] :
       first_children_with_code(message.key, [&](Item parent) { return station_above(parent) != TreeItems::kNone; }))
    place_at(variable).item = item;
  for (const Place& place : places) {
    if (place.item == TreeItems::kNone) {
      if (place.image >= 0) insert_in_code_order(place.variable, message.key, text_of(message.name), place.image);
    } else if (place.image < 0) {
      remove_item(place.item);
    } else if (items_.image(place.item) != place.image) {
      items_.set_images(place.item, place.image, selected_image(place.image));
    }
  }
}

std::optional<ItemPlace> ConfigurationTree::place_of(Item item, const Configuration& configuration) const {
  if (item == TreeItems::kNone) return std::nullopt;
  ItemPlace place;
  place.code = items_.data(item);
  place.kind = kind_of_code(place.code);
  Item station = TreeItems::kNone;
  if (place.kind == ItemKind::variable)
    station = items_.parent(item);
  else if (place.kind == ItemKind::message)
    if (const Item variable = items_.parent(item); variable != TreeItems::kNone) station = items_.parent(variable);
  place.under_local_station =
      station != TreeItems::kNone && items_.data(station) == station_code(configuration.local_station);
  return place;
}

}  // namespace plandrel
