// What a double click and a right click on the configuration tree do, by item and by whether the
// designer is on line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "configuration_tree.h"

namespace plandrel {

enum class TreeAction : std::uint8_t {
  none,
  general_settings,     // the general settings dialog
  ba_editor,            // the BA program editor
  station_editor,       // the station editor for the item's station
  variable_editor,      // the variable editor for the item's variable
  message_editor,       // the message editor for the item's message
  online_ba,            // the session's bus arbitrator dialog
  online_medium,        // the session's medium dialog
  online_variable,      // the session's dialog of the item's variable
  online_message,       // the session's dialog of the item's message
  variable_not_local,   // "The variables can be accessed through the local station only."
  message_not_local,    // "The messages can be accessed through the local station only."
};

// `local_station` tells whether a station item is the local station's.
TreeAction double_click_action(const ItemPlace& place, bool local_station, bool online);

// Context menus: 194 stations, 195 variables, 196 messages, 197 on line.
inline constexpr std::uint16_t kStationsMenu = 194;
inline constexpr std::uint16_t kVariablesMenu = 195;
inline constexpr std::uint16_t kMessagesMenu = 196;
inline constexpr std::uint16_t kOnlineMenu = 197;

struct ContextMenuChoice {
  std::uint16_t menu = 0;  // 0: no menu
  bool keep_code = false;  // the item's code becomes the context item
};
// `configured_messages` is the document's message count: a message the session added while on line
// has a code at or above 35000 + that count and gets no menu.
ContextMenuChoice context_menu_for(const std::optional<ItemPlace>& place, bool online,
                                   std::size_t configured_messages);

struct MenuEntry {
  const char* text;
  std::uint16_t command;
};
struct ContextMenu {
  std::uint16_t id;
  const MenuEntry* entries;
  std::size_t count;
};
// The entries of menu `id`, or nullptr for an unknown one.
const ContextMenu* find_context_menu(std::uint16_t id);

// The item's index in its record table: station code - 100, variable code - 5000, message code - 35000.
std::uint32_t record_index(const ItemPlace& place);

}  // namespace plandrel
