#include "tree_actions.h"

#include <array>

namespace plandrel {
namespace {

constexpr std::array<MenuEntry, 3> kStationEntries = {{{"New...", 32785}, {"Edit...", 32786}, {"Delete", 32787}}};
constexpr std::array<MenuEntry, 4> kVariableEntries = {
    {{"New...", 32788}, {"Edit...", 32789}, {"Delete", 32790}, {"Copy...", 32791}}};
constexpr std::array<MenuEntry, 4> kMessageEntries = {
    {{"New...", 32792}, {"Edit...", 32793}, {"Delete", 32794}, {"Copy...", 32795}}};
constexpr std::array<MenuEntry, 1> kOnlineEntries = {{{"Configuration...", 32796}}};

constexpr std::array<ContextMenu, 4> kMenus = {{
    {kStationsMenu, kStationEntries.data(), kStationEntries.size()},
    {kVariablesMenu, kVariableEntries.data(), kVariableEntries.size()},
    {kMessagesMenu, kMessageEntries.data(), kMessageEntries.size()},
    {kOnlineMenu, kOnlineEntries.data(), kOnlineEntries.size()},
}};

}  // namespace

std::uint32_t record_index(const ItemPlace& place) {
  switch (place.kind) {
    case ItemKind::station: return place.code - kStationCodeBase;
    case ItemKind::variable: return place.code - kVariableCodeBase;
    case ItemKind::message: return place.code - kMessageCodeBase;
    default: return 0;
  }
}

TreeAction double_click_action(const ItemPlace& place, bool local_station, bool online) {
  switch (place.kind) {
    case ItemKind::root: return online ? TreeAction::none : TreeAction::general_settings;
    case ItemKind::bus_arbitrator: return online ? TreeAction::online_ba : TreeAction::ba_editor;
    case ItemKind::station:
      if (!online) return TreeAction::station_editor;
      return local_station ? TreeAction::online_medium : TreeAction::none;
    case ItemKind::variable:
      if (!place.under_local_station) return TreeAction::variable_not_local;
      return online ? TreeAction::online_variable : TreeAction::variable_editor;
    case ItemKind::message:
      if (!place.under_local_station) return TreeAction::message_not_local;
      return online ? TreeAction::online_message : TreeAction::message_editor;
  }
  return TreeAction::none;
}

ContextMenuChoice context_menu_for(const std::optional<ItemPlace>& place, bool online,
                                   std::size_t configured_messages) {
  if (!place) return {};
  switch (place->kind) {
    case ItemKind::root:
    case ItemKind::bus_arbitrator: return online ? ContextMenuChoice{kOnlineMenu, true} : ContextMenuChoice{};
    case ItemKind::station: return {online ? kOnlineMenu : kStationsMenu, true};
    case ItemKind::variable:
      if (!place->under_local_station) return {};
      return {online ? kOnlineMenu : kVariablesMenu, true};
    case ItemKind::message:
      if (!place->under_local_station) return {};
      if (!online) return {kMessagesMenu, true};
      // A message the session added has no record to show; its code is still kept.
      return {record_index(*place) < configured_messages ? kOnlineMenu : std::uint16_t{0}, true};
  }
  return {};
}

const ContextMenu* find_context_menu(std::uint16_t id) {
  for (const ContextMenu& menu : kMenus)
    if (menu.id == id) return &menu;
  return nullptr;
}

}  // namespace plandrel
