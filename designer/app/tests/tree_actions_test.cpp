#include "tree_actions.h"

#include <gtest/gtest.h>

#include <string>

namespace plandrel {
namespace {

ItemPlace at(ItemKind kind, std::uint32_t code, bool local = false) { return {kind, code, local}; }

TEST(TreeActions, DoubleClickByItemAndLine) {
  struct Case {
    ItemPlace place;
    bool local_station;
    TreeAction off_line;
    TreeAction on_line;
  };
  using A = TreeAction;
  const Case cases[] = {
      {at(ItemKind::root, 0), false, A::general_settings, A::none},
      {at(ItemKind::bus_arbitrator, 1), false, A::ba_editor, A::online_ba},
      {at(ItemKind::station, 100), true, A::station_editor, A::online_medium},
      {at(ItemKind::station, 101), false, A::station_editor, A::none},
      {at(ItemKind::variable, 5003, true), false, A::variable_editor, A::online_variable},
      {at(ItemKind::variable, 5003, false), false, A::variable_not_local, A::variable_not_local},
      {at(ItemKind::message, 35001, true), false, A::message_editor, A::online_message},
      {at(ItemKind::message, 35001, false), false, A::message_not_local, A::message_not_local},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(double_click_action(c.place, c.local_station, false), c.off_line) << c.place.code;
    EXPECT_EQ(double_click_action(c.place, c.local_station, true), c.on_line) << c.place.code;
  }
  EXPECT_EQ(record_index(at(ItemKind::station, 100)), 0u);
  EXPECT_EQ(record_index(at(ItemKind::variable, 5003)), 3u);
  EXPECT_EQ(record_index(at(ItemKind::message, 35001)), 1u);
}

TEST(TreeActions, ContextMenusByItemAndLine) {
  struct Case {
    std::optional<ItemPlace> place;
    std::uint16_t off_line;
    std::uint16_t on_line;
  };
  const Case cases[] = {
      {std::nullopt, 0, 0},  // blank space
      {at(ItemKind::root, 0), 0, kOnlineMenu},
      {at(ItemKind::bus_arbitrator, 1), 0, kOnlineMenu},
      {at(ItemKind::station, 102), kStationsMenu, kOnlineMenu},
      {at(ItemKind::variable, 5000, true), kVariablesMenu, kOnlineMenu},
      {at(ItemKind::variable, 5000, false), 0, 0},
      {at(ItemKind::message, 35001, true), kMessagesMenu, kOnlineMenu},
      {at(ItemKind::message, 35002, true), kMessagesMenu, 0},  // added by the session
      {at(ItemKind::message, 35001, false), 0, 0},
  };
  for (const Case& c : cases) {
    const std::string what = c.place ? std::to_string(c.place->code) : "blank";
    EXPECT_EQ(context_menu_for(c.place, false, 2).menu, c.off_line) << what;
    EXPECT_EQ(context_menu_for(c.place, true, 2).menu, c.on_line) << what;
  }
  EXPECT_TRUE(context_menu_for(at(ItemKind::message, 35002, true), true, 2).keep_code);
}

TEST(TreeActions, MenusHoldTheirCommands) {
  struct Case {
    std::uint16_t menu;
    std::vector<std::pair<std::string, std::uint16_t>> entries;
  };
  const Case cases[] = {
      {194, {{"New...", 32785}, {"Edit...", 32786}, {"Delete", 32787}}},
      {195, {{"New...", 32788}, {"Edit...", 32789}, {"Delete", 32790}, {"Copy...", 32791}}},
      {196, {{"New...", 32792}, {"Edit...", 32793}, {"Delete", 32794}, {"Copy...", 32795}}},
      {197, {{"Configuration...", 32796}}},
  };
  for (const Case& c : cases) {
    const ContextMenu* menu = find_context_menu(c.menu);
    ASSERT_NE(menu, nullptr);
    std::vector<std::pair<std::string, std::uint16_t>> entries;
    for (std::size_t i = 0; i < menu->count; ++i) entries.emplace_back(menu->entries[i].text, menu->entries[i].command);
    EXPECT_EQ(entries, c.entries) << c.menu;
  }
  EXPECT_EQ(find_context_menu(198), nullptr);
}

}  // namespace
}  // namespace plandrel
