// A tree of items in memory for the tree rules' tests, and a text dump of any tree: one line per
// item, two blanks of indent per level, "text [code] image/selected".
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tree_items.h"

namespace plandrel::testing {

class MemoryTree : public TreeItems {
 public:
  Item first_root() const override { return roots_.empty() ? kNone : id(roots_.front()); }
  Item first_child(Item parent) const override {
    const Node* node = at(parent);
    return node == nullptr || node->children.empty() ? kNone : id(node->children.front());
  }
  Item next_sibling(Item item) const override {
    const Node* node = at(item);
    if (node == nullptr) return kNone;
    const auto& siblings = node->parent ? node->parent->children : roots_;
    auto it = std::find(siblings.begin(), siblings.end(), node);
    return ++it == siblings.end() ? kNone : id(*it);
  }
  Item parent(Item item) const override {
    const Node* node = at(item);
    return node == nullptr || node->parent == nullptr ? kNone : id(node->parent);
  }
  Item insert(Item parent, Item after, std::string_view text, int image, int selected) override {
    if (refuse_inserts_after == 0) return kNone;
    if (refuse_inserts_after > 0) --refuse_inserts_after;
    Node* owner = parent == kNone ? nullptr : at(parent);
    if (parent != kNone && owner == nullptr) return kNone;
    auto& siblings = owner ? owner->children : roots_;
    nodes_.push_back(std::make_unique<Node>(Node{std::string(text), image, selected, 0, false, owner, {}}));
    Node* node = nodes_.back().get();
    auto position = siblings.end();
    if (after == kFirst)
      position = siblings.begin();
    else if (after != kLast)
      position = std::find(siblings.begin(), siblings.end(), at(after)) + 1;
    siblings.insert(position, node);
    ++inserts;
    return id(node);
  }
  void remove(Item item) override {
    Node* node = at(item);
    if (node == nullptr) return;
    auto& siblings = node->parent ? node->parent->children : roots_;
    siblings.erase(std::find(siblings.begin(), siblings.end(), node));
    ++removals;
  }
  void remove_all() override { roots_.clear(); }
  std::uint32_t data(Item item) const override { return at(item) ? at(item)->data : 0; }
  bool set_data(Item item, std::uint32_t data) override {
    if (!at(item)) return false;
    at(item)->data = data;
    return true;
  }
  int image(Item item) const override { return at(item) ? at(item)->image : -1; }
  void set_images(Item item, int image, int selected) override {
    if (!at(item)) return;
    at(item)->image = image;
    at(item)->selected = selected;
    ++changes;
  }
  std::string text(Item item) const override { return at(item) ? at(item)->text : std::string(); }
  void set_text(Item item, std::string_view text) override {
    if (!at(item)) return;
    at(item)->text = std::string(text);
    ++changes;
  }
  bool expanded(Item item) const override { return at(item) && at(item)->expanded; }
  void expand(Item item) override {
    if (at(item)) at(item)->expanded = true;
  }

  int refuse_inserts_after = -1;  // inserts that still succeed; -1 = all
  int inserts = 0;
  int removals = 0;
  int changes = 0;  // texts and images set on existing items

 private:
  struct Node {
    std::string text;
    int image;
    int selected;
    std::uint32_t data;
    bool expanded;
    Node* parent;
    std::vector<Node*> children;
  };
  static Item id(const Node* node) { return reinterpret_cast<Item>(node); }
  Node* at(Item item) const { return item == kNone || item == kFirst || item == kLast ? nullptr : reinterpret_cast<Node*>(item); }

  std::vector<std::unique_ptr<Node>> nodes_;  // removed nodes stay allocated until the tree goes
  std::vector<Node*> roots_;
};

inline void dump_items(const TreeItems& tree, TreeItems::Item first, int depth, std::string& out) {
  for (TreeItems::Item item = first; item != TreeItems::kNone; item = tree.next_sibling(item)) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += tree.text(item) + " [" + std::to_string(tree.data(item)) + "] " + std::to_string(tree.image(item)) + "\n";
    dump_items(tree, tree.first_child(item), depth + 1, out);
  }
}

inline std::string dump(const TreeItems& tree) {
  std::string out;
  dump_items(tree, tree.first_root(), 0, out);
  return out;
}

}  // namespace plandrel::testing
