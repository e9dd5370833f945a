// The items of a tree control as the configuration tree's rules see them: a forest of items with
// a text, an image pair and a 32-bit item data each. The tree control implements it; the rules
// (configuration_tree.h) are written against it alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plandrel {

class TreeItems {
 public:
  using Item = std::uintptr_t;  // 0 = no item
  static constexpr Item kNone = 0;
  // Positions for insert(): first or last child; any other value is the sibling to insert after.
  static constexpr Item kFirst = ~Item{0};
  static constexpr Item kLast = ~Item{0} - 1;

  virtual ~TreeItems() = default;

  virtual Item first_root() const = 0;
  virtual Item first_child(Item parent) const = 0;
  virtual Item next_sibling(Item item) const = 0;
  virtual Item parent(Item item) const = 0;  // kNone for a top-level item

  // Inserts under `parent` (kNone: at the top level); kNone when the item cannot be inserted.
  virtual Item insert(Item parent, Item after, std::string_view text, int image, int selected_image) = 0;
  virtual void remove(Item item) = 0;  // the item and everything under it
  virtual void remove_all() = 0;

  virtual std::uint32_t data(Item item) const = 0;
  virtual bool set_data(Item item, std::uint32_t data) = 0;  // false when it cannot be stored
  virtual int image(Item item) const = 0;
  virtual void set_images(Item item, int image, int selected_image) = 0;
  virtual std::string text(Item item) const = 0;
  virtual void set_text(Item item, std::string_view text) = 0;
  virtual bool expanded(Item item) const = 0;
  virtual void expand(Item item) = 0;
};

}  // namespace plandrel
