// The main frame's commands, the state that enables them, and the small rules of its status bar
// and prompts, as data apart from the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "online/designer_messages.h"

namespace plandrel {

// Command identifiers of the menus, the toolbar and the tree's context menus.
enum FrameCommand : std::uint16_t {
  kCmdOpenCsv = 286,
  kCmdPresenceTest = 287,
  kCmdFileNew = 32771,
  kCmdFileOpen = 32772,
  kCmdCurrentConfiguration = 32773,
  kCmdGeneralSettings = 32774,
  kCmdBusArbitrator = 32775,
  kCmdEditStations = 32776,
  kCmdEditVariables = 32777,
  kCmdEditMessages = 32778,
  kCmdLargeIcons = 32779,
  kCmdSmallIcons = 32780,
  kCmdIconSize = 32781,
  kCmdExpand = 32782,
  kCmdConnect = 32783,
  kCmdDisconnect = 32784,
  kCmdStationNew = 32785,
  kCmdStationEdit = 32786,
  kCmdStationDelete = 32787,
  kCmdVariableNew = 32788,
  kCmdVariableEdit = 32789,
  kCmdVariableDelete = 32790,
  kCmdVariableCopy = 32791,
  kCmdMessageNew = 32792,
  kCmdMessageEdit = 32793,
  kCmdMessageDelete = 32794,
  kCmdMessageCopy = 32795,
  kCmdConfiguration = 32796,
  kCmdBaControl = 32797,
  kCmdMedium = 32798,
  kCmdEditLists = 32799,
  kCmdSendList = 32800,
  kCmdVariablesDisplay = 32823,
  kCmdFileSave = 57603,
  kCmdFileSaveAs = 57604,
  kCmdViewToolbar = 59392,
  kCmdViewStatusBar = 59393,
};

// What the enabling rules look at.
struct FrameState {
  bool document = false;          // the document exists
  bool untouched = true;          // no New, Open or Current configuration has succeeded yet
  bool online = false;
  bool presence_test = false;     // the presence test is running
  bool bus_arbitrator = false;    // GENERAL_PARAM ba_size is not 0
  bool working_files = false;     // all six working files of the selected board exist
  bool aperiodic_usable = false;  // the session found aperiodic requests and lists at Connect
};

enum class EnableRule : std::uint8_t {
  always,
  off_line,
  reload,             // untouched, and the working files exist
  edit,               // not untouched
  edit_ba,            // not untouched, and a bus arbitrator
  connect,            // the document exists, not untouched, no presence test, off line
  on_line,
  on_line_ba,         // on line, and a bus arbitrator
  on_line_aperiodic,  // on line, and aperiodic lists usable
};

struct CommandEntry {
  std::uint16_t id;
  EnableRule rule;
  std::string_view name;
};

// Every command of the frame, in menu order, with its rule.
std::span<const CommandEntry> frame_commands();
const CommandEntry* find_command(std::uint16_t id);

bool rule_enables(EnableRule rule, const FrameState& state);
// The enabled state of command `id`; commands the frame does not know are enabled.
bool command_enabled(std::uint16_t id, const FrameState& state);

// The operation of a tree context command on the list dialog of its kind.
enum class RecordKind : std::uint8_t { stations, variables, messages };
enum class RecordOperation : std::uint8_t { create, edit, remove, copy };
struct TreeCommand {
  RecordKind kind;
  RecordOperation operation;
};
std::optional<TreeCommand> tree_command(std::uint16_t id);

// Status bar panes: the message pane, "  CH1", medium 1, "  CH2", medium 2, a blank pane, and the
// caps, num and scroll indicators.
inline constexpr std::size_t kStatusPaneCount = 9;
inline constexpr std::size_t kMedium1Pane = 2;
inline constexpr std::size_t kMedium2Pane = 4;
std::span<const std::uint16_t, kStatusPaneCount> status_pane_ids();
inline constexpr int kStatusBarMinHeight = 22;

// The icon a medium pane shows.
enum class MediumIcon : std::uint8_t { off, neutral, on };  // resources 234, 235, 236
inline constexpr std::uint16_t kIconOff = 234;
inline constexpr std::uint16_t kIconNeutral = 235;
inline constexpr std::uint16_t kIconOn = 236;
struct MediumIcons {
  MediumIcon medium1;
  MediumIcon medium2;
  friend bool operator==(const MediumIcons&, const MediumIcons&) = default;
};
// Bit 0 of the medium status byte is medium 1, bit 1 medium 2.
constexpr MediumIcons medium_icons(std::uint8_t status) {
  return {(status & 1) ? MediumIcon::on : MediumIcon::off, (status & 2) ? MediumIcon::on : MediumIcon::off};
}

// The prompt of an on-line menu entry, or nothing when the string table's prompt applies.
std::optional<std::string_view> online_prompt(std::uint16_t id, bool online, std::size_t variable_count,
                                              std::size_t message_count);

// Power broadcast event of a system suspend.
inline constexpr std::uint32_t kPowerSuspend = 4;

}  // namespace plandrel
