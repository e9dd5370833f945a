// OnlineVariable: one configured variable while the designer is on line. It reads the value for
// the session thread, formats it by its display format, shows it in the tree and in its dialog,
// and writes a produced variable's value typed in its dialog.
//
// Threads: Read, PublishToDialog and UpdateTreeText run on the session thread; OpenDialog, Write
// and the dialog's format changes on the main thread. Every engine call is made under csEngine;
// the format is copied under csVariableFormat and formatted on the copy; the dialog and its open
// flag are reached under csVariableDialog outside the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/check_codes.h"
#include "online/online_host.h"
#include "records/variable4.h"

namespace plandrel {

class OnlineVariable {
 public:
  static constexpr std::string_view kNeverSeen = "never seen on the bus";
  static constexpr std::string_view kInvalidFormat = "Invalid format";
  static constexpr std::string_view kAccessKeyError = "Variable access key error :\n\tAbort session.";

  OnlineVariable(OnlineFrame& frame, const OnlineLocks& locks);
  OnlineVariable(const OnlineVariable&) = delete;
  OnlineVariable& operator=(const OnlineVariable&) = delete;
  ~OnlineVariable();

  // Connect (main thread): looks the variable up in the engine and its item in the tree under the
  // local station. A failure shows its message and returns false.
  bool Init(const records::VARIABLE4& record, std::uint16_t index, std::uint16_t local_station);

  // Session thread, under csEngine: reads the value and its statuses.
  void Read();
  // Session thread, under csEngine: the value text and statuses to an open dialog (posted).
  void PublishToDialog();
  // Session thread, without csEngine: "name (value)" with " R" and " P" for true statuses.
  void UpdateTreeText();

  // Main thread, under csVariableDialog.
  void OpenDialog();
  // notify: the session closes the dialog (its frame too); else the dialog closed itself.
  void CloseDialog(bool notify);
  // The dialog that the user closed, given up (main thread); none when it is no longer this one's.
  std::unique_ptr<VariableDialogLink> DetachDialog(const OnlineDialogLink* dialog);

  // The produced dialog's Send: 0, kCheckInvalidFormat (a format beyond 32 characters or refused,
  // or a value text that the format cannot read: nothing is written) or kCheckOnlineWriteFailed
  // (the value is kept). The format in use becomes format_text. The tree then shows the value
  // written, formatted back from its bytes (its first 32 characters and "..." when longer).
  CONFIG_CHECK_CODE Write(std::string_view format_text, std::string_view value_text);
  // Connect: 128 zero bytes to a variable the local station produces; the result is not used.
  void InitialWrite();
  // The values display's copy of the value, under csEngine.
  void Snapshot();

  // value_text := the value by the format in use; false when the format is refused. Parse: value :=
  // the bytes of value_text by the format in use; false when the format or the text is refused,
  // and the value is then kept. Both change what the session thread reads: call them under csEngine.
  bool Format();
  bool Parse();

  // The consumed dialog's format edit (main thread): at most 32 characters are kept. Reformat then
  // makes the value text again and posts it to the dialog, under csEngine.
  void SetFormat(std::string_view format);
  void Reformat();
  std::string GetFormat() const;

  std::uint16_t AccessKey() const { return access_key_; }
  std::uint16_t Index() const { return index_; }
  const records::VARIABLE4& Record() const { return *record_; }
  TreeItem Item() const { return tree_item_; }
  bool Initialised() const { return record_ != nullptr; }
  // The last value read or written (the record's length of bytes), none before the first.
  const std::optional<std::vector<std::uint8_t>>& Value() const { return value_; }
  const std::optional<std::vector<std::uint8_t>>& SnapshotValue() const { return snapshot_; }
  const std::string& ValueText() const { return value_text_; }
  bool ReadOk() const { return read_ok_; }
  bool RefreshmentTrue() const { return refreshment_true_; }
  bool PromptnessTrue() const { return promptness_true_; }
  bool HasDialog() const { return dialog_ != nullptr; }

 private:
  // value_text := Format() or "Invalid format" when read_ok, else "never seen on the bus".
  void MakeValueText();
  std::string Name() const;

  OnlineFrame& frame_;
  OnlineLocks locks_;
  std::uint16_t access_key_ = 0;
  std::optional<std::vector<std::uint8_t>> value_;
  std::string value_text_;
  bool read_ok_ = false;
  bool promptness_true_ = false;
  bool refreshment_true_ = false;
  std::unique_ptr<VariableDialogLink> dialog_;
  std::uint16_t index_ = 0;
  const records::VARIABLE4* record_ = nullptr;
  TreeItem tree_item_ = 0;
  std::array<char, 33> format_{};
  bool dialog_open_ = false;
  std::optional<std::vector<std::uint8_t>> snapshot_;
  VariableSnapshot published_;  // the last state given to the dialog; guarded by csVariableDialog
};

// The variables display's snapshots: copies every variable's last value into its snapshot, taking
// `engine` (csEngine) for at most kSnapshotsPerHold variables at a time, so that the session
// thread's reads and the dialogs' engine calls wait little. Returns the longest hold in ns.
inline constexpr std::size_t kSnapshotsPerHold = 64;
std::int64_t TakeSnapshots(std::span<const std::unique_ptr<OnlineVariable>> variables, SectionLock& engine);

}  // namespace plandrel
