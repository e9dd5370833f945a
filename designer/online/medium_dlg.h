// CMediumDlg (template 198): the medium status of the board, bit by bit, and the medium commands
// that its variant allows. The commands run on the session thread, whose engine context holds
// the medium's error counters that supervision reads: the dialog posts each command to the
// session window (WM_FIP_MEDIUM_COMMAND) and shows the answer (WM_FIP_MEDIUM_ANSWER). Supervision
// sends every status byte it reads (WM_FIP_MEDIUM_STATUS).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "online/frame_dlg.h"
#include "online/online_host.h"

namespace plandrel {

inline constexpr const char* kSelectACommand = "Select a command";

struct MediumCommand {
  std::uint8_t number;  // the MEDIUM_CONTROL command
  std::string_view text;
};

// The commands offered to a board variant (1, 2 or 3), in list order; none for another value.
std::span<const MediumCommand> MediumCommandsOf(int variant);
// Whether the field of a status bit is greyed for the variant.
bool MediumBitDisabled(int variant, int bit);
// "Medium management" for variants 1 to 3, empty otherwise.
std::string MediumCaption(int variant);

class CMediumDlg final : public CHostedLinkDlg<OnlineDialogLink> {
 public:
  // Posts `command` to the session window, the answer to go to `answer_to`; false when no
  // session thread takes it.
  using CommandRequest = std::function<bool(std::uint8_t command, HWND answer_to)>;

  CMediumDlg(int board_variant, CommandRequest request);

  // Greys the variant's fields, fills the command list and asks for the status byte.
  BOOL OnInitDialog() override;
  // Apply, as a double click on an entry.
  void OnOK() override;

  std::uint8_t LastStatus() const { return last_status_; }

 private:
  void Request(std::uint8_t command);
  void OnAnswer(std::uint8_t status, std::uint32_t code);
  void ShowStatus(std::uint8_t status);
  // Every field shows "x": the last command failed; the last status byte is kept.
  void ShowFailed();

  int variant_;
  CommandRequest request_;
  std::uint8_t last_status_ = 0;
};

}  // namespace plandrel
