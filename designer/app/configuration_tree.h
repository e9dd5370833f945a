// The configuration tree's rules: which items show a configuration, in which order, with which
// codes and images, and how single records are inserted, deleted, renamed and moved without
// rebuilding the whole tree.
//
// Shape: the root; under it the local bus arbitrator (only with ba_size != 0), the local station,
// then the other stations in index order; under each station the variables it produces (images
// 8/9) or consumes (10/11); under a variable the messages that use it at that station, at their
// source side (12/13) or destination side (14/15).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "records/configuration.h"
#include "tree_codes.h"
#include "tree_items.h"

namespace plandrel {

// Where one side of a message is shown: under the item of `variable` below station `station`.
struct MessageSide {
  std::uint16_t station = 0;
  std::size_t variable = 0;  // index in the configuration's variable list
  friend bool operator==(const MessageSide&, const MessageSide&) = default;
};
struct MessageSides {
  std::optional<MessageSide> source;
  std::optional<MessageSide> destination;
};

// The rule for the sides of a message, with L the local station and R the remote one: a
// transmitted message's source is under L and its destination under R; a received message's
// source under R and its destination under L. A side gets no item when R is -1 or no station,
// when its identifier is no variable's (the first variable in list order with it is taken), or
// when that variable neither is produced nor consumed by the side's station.
MessageSides message_sides(const records::Configuration& configuration, const records::MESSAGE4& message);

// The first variable with `identifier`, in list order.
std::optional<std::size_t> find_variable(const records::Configuration& configuration, std::uint16_t identifier);

// What an item of the tree stands for, found from its code and its parents' codes.
struct ItemPlace {
  ItemKind kind = ItemKind::root;
  std::uint32_t code = 0;
  bool under_local_station = false;  // a variable or message item below the local station
};

class ConfigurationTree {
 public:
  using Item = TreeItems::Item;
  // The (station code, variable code) under which each side of a message shows, the source first.
  using SidePlaces = std::array<std::optional<std::pair<std::uint32_t, std::uint32_t>>, 2>;

  explicit ConfigurationTree(TreeItems& items) : items_(items) {}

  // Deletes every item and builds the tree of `configuration`: 0, or kTreeInsertCode,
  // kTreeItemDataCode or kTreeStationNotFoundCode for the first step that fails.
  std::uint32_t build(const records::Configuration& configuration);

  void expand_all();
  void expand_local_station(const records::Configuration& configuration);

  // index -1 is the bus arbitrator.
  void insert_station_item(const records::Configuration& configuration, std::int16_t index);
  void delete_station_item(std::int16_t index);
  void rename_station_item(const records::Configuration& configuration, std::uint16_t index);

  void insert_variable_items(const records::Configuration& configuration, const records::VARIABLE4& variable);
  void delete_variable_items(const records::VARIABLE4& variable);
  void rename_variable_items(const records::VARIABLE4& variable);
  void update_variable_items(const records::VARIABLE4& variable);

  void insert_message_item(const records::Configuration& configuration, const records::MESSAGE4& message);
  void delete_message_items(const records::MESSAGE4& message);
  void rename_message_items(const records::MESSAGE4& message);
  void update_message_items(const records::Configuration& configuration, const records::MESSAGE4& message);
  // The same for the messages of these indexes in the configuration's list, each in turn; the cost
  // grows with the messages, not with the tree.
  void update_message_items(const records::Configuration& configuration, const std::vector<std::size_t>& messages);

  std::optional<ItemPlace> place_of(Item item, const records::Configuration& configuration) const;

  // Items were removed or their codes changed other than through these rules: the renames find
  // the items of a code by a walk of the tree again.
  void items_changed();

  Item root() const { return items_.first_root(); }
  // The item of station `index` under the root, or kNone.
  Item station_item(std::uint16_t index) const;
  // The child of `parent` whose code is `code`, or kNone.
  Item child_with_code(Item parent, std::uint32_t code) const;

 private:
  // Inserts an item with `code`; kNone when it cannot be inserted.
  Item insert_item(Item parent, Item after, std::string_view text, int image, std::uint32_t code);
  // Inserts under `parent` in code order: before the first child whose code is greater.
  Item insert_in_code_order(Item parent, std::uint32_t code, std::string_view text, int image);
  // Moves the message's items to the sides given: an item under each side's variable item, none
  // under any other variable item.
  void place_message_items(const records::MESSAGE4& message, const SidePlaces& sides);
  // The items that carry `code`, wherever they stand; a rename touches these alone.
  std::vector<Item> items_with_code(std::uint32_t code);
  template <class Visit> void for_each_item_with_code(std::uint32_t code, Visit visit);
  // Walks the tree when the index is not complete, and sorts what was added since the last sort
  // once it is more than a few entries.
  void index_items();
  void note_code(Item item, std::uint32_t code);
  // Removes the item and everything under it from the tree and from the index, which stays
  // complete.
  void remove_item(Item item);
  void forget_items(Item item);
  // A station's item under the root; the station item above a variable item, or kNone when the
  // item stands elsewhere.
  bool is_station_item(Item item) const;
  Item station_above(Item variable) const;
  // (parent, item) for each parent that `accept` takes of the items with `code`: the first child
  // with the code where a parent has two.
  template <class Accept>
  std::vector<std::pair<Item, Item>> first_children_with_code(std::uint32_t code, Accept accept);
  // Removes the child with `code` under `parent` and lowers by one every child code above it.
  void remove_and_renumber(Item parent, std::uint32_t code);
  template <class Visit> void for_each_station_item(Visit visit) const;
  // Visits each variable item under each station item: visit(variable item, station index).
  template <class Visit> void for_each_variable_item(Visit visit) const;

  TreeItems& items_;
  // (code, item) of every item, complete after build() or a walk of the tree: the first
  // by_code_sorted_ entries in code order, those added since after them. Inserts add to it, the
  // removals of update_*_items blank their entries (item kNone); other removals and renumbering
  // drop it until the next walk.
  std::vector<std::pair<std::uint32_t, Item>> by_code_;
  bool by_code_complete_ = false;
  std::size_t by_code_sorted_ = 0;
};

}  // namespace plandrel
