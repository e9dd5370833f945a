#include "frame_commands.h"

#include <array>

namespace plandrel {
namespace {

using R = EnableRule;

constexpr CommandEntry kCommands[] = {
    {kCmdFileNew, R::off_line, "New"},
    {kCmdFileOpen, R::off_line, "Open"},
    {kCmdCurrentConfiguration, R::reload, "Current configuration"},
    {kCmdFileSave, R::edit, "Save"},
    {kCmdFileSaveAs, R::edit, "Save As"},
    {kCmdOpenCsv, R::off_line, "Open .csv"},
    {kCmdGeneralSettings, R::edit, "General settings"},
    {kCmdBusArbitrator, R::edit_ba, "Bus arbitrator"},
    {kCmdEditStations, R::edit, "Stations"},
    {kCmdEditVariables, R::edit, "Variables"},
    {kCmdEditMessages, R::edit, "Messages"},
    {kCmdEditLists, R::edit, "Edit lists"},
    {kCmdViewToolbar, R::always, "Toolbar"},
    {kCmdViewStatusBar, R::always, "Status bar"},
    {kCmdSmallIcons, R::always, "Small icons"},
    {kCmdLargeIcons, R::always, "Large icons"},
    {kCmdIconSize, R::always, "Icon size"},
    {kCmdExpand, R::edit, "Expand"},
    {kCmdConnect, R::connect, "Connect"},
    {kCmdDisconnect, R::on_line, "Disconnect"},
    {kCmdBaControl, R::on_line_ba, "Bus arbitrator control"},
    {kCmdMedium, R::on_line, "Communication medium(s)"},
    {kCmdSendList, R::on_line_aperiodic, "Send list"},
    {kCmdVariablesDisplay, R::on_line, "Variables display"},
    {kCmdPresenceTest, R::connect, "Presence test"},
    {kCmdStationNew, R::always, "New station"},
    {kCmdStationEdit, R::always, "Edit station"},
    {kCmdStationDelete, R::always, "Delete station"},
    {kCmdVariableNew, R::always, "New variable"},
    {kCmdVariableEdit, R::always, "Edit variable"},
    {kCmdVariableDelete, R::always, "Delete variable"},
    {kCmdVariableCopy, R::always, "Copy variable"},
    {kCmdMessageNew, R::always, "New message"},
    {kCmdMessageEdit, R::always, "Edit message"},
    {kCmdMessageDelete, R::always, "Delete message"},
    {kCmdMessageCopy, R::always, "Copy message"},
    {kCmdConfiguration, R::always, "Configuration"},
};

constexpr std::array<std::uint16_t, kStatusPaneCount> kStatusPanes = {0, 1000, 1001, 1002, 1001, 1003, 59137, 59138, 59139};

}  // namespace

std::span<const CommandEntry> frame_commands() { return kCommands; }

const CommandEntry* find_command(std::uint16_t id) {
  for (const CommandEntry& entry : frame_commands())
    if (entry.id == id) return &entry;
  return nullptr;
}

bool rule_enables(EnableRule rule, const FrameState& state) {
  switch (rule) {
    case R::always: return true;
    case R::off_line: return !state.online;
    case R::reload: return state.untouched && state.working_files;
    case R::edit: return !state.untouched;
    case R::edit_ba: return !state.untouched && state.bus_arbitrator;
    case R::connect: return state.document && !state.untouched && !state.presence_test && !state.online;
    case R::on_line: return state.online;
    case R::on_line_ba: return state.online && state.bus_arbitrator;
    case R::on_line_aperiodic: return state.online && state.aperiodic_usable;
  }
  return true;
}

bool command_enabled(std::uint16_t id, const FrameState& state) {
  const CommandEntry* entry = find_command(id);
  return entry == nullptr || rule_enables(entry->rule, state);
}

std::optional<TreeCommand> tree_command(std::uint16_t id) {
  using K = RecordKind;
  using O = RecordOperation;
  switch (id) {
    case kCmdStationNew: return TreeCommand{K::stations, O::create};
    case kCmdStationEdit: return TreeCommand{K::stations, O::edit};
    case kCmdStationDelete: return TreeCommand{K::stations, O::remove};
    case kCmdVariableNew: return TreeCommand{K::variables, O::create};
    case kCmdVariableEdit: return TreeCommand{K::variables, O::edit};
    case kCmdVariableDelete: return TreeCommand{K::variables, O::remove};
    case kCmdVariableCopy: return TreeCommand{K::variables, O::copy};
    case kCmdMessageNew: return TreeCommand{K::messages, O::create};
    case kCmdMessageEdit: return TreeCommand{K::messages, O::edit};
    case kCmdMessageDelete: return TreeCommand{K::messages, O::remove};
    case kCmdMessageCopy: return TreeCommand{K::messages, O::copy};
    default: return std::nullopt;
  }
}

std::span<const std::uint16_t, kStatusPaneCount> status_pane_ids() { return kStatusPanes; }

std::optional<std::string_view> online_prompt(std::uint16_t id, bool online, std::size_t variable_count,
                                              std::size_t message_count) {
  if (!online) return std::nullopt;
  if (id >= kVariableMenuBase && static_cast<std::size_t>(id - kVariableMenuBase) < variable_count)
    return "Open this variable dialog for connected mode.";
  if (id >= kMessageMenuBase && static_cast<std::size_t>(id - kMessageMenuBase) < message_count)
    return "Open this message dialog for connected mode.";
  return std::nullopt;
}

}  // namespace plandrel
