// OnlineMessage: one message while the designer is on line, configured or first received on line.
// A transmitted message sends the text typed in its dialog and shows the send report; a received
// one keeps a stack of its receptions (at most 64, oldest first), numbered from 1, and formats
// the entry its dialog shows.
//
// Threads: OnSendReport, Push and NoteLostReception run on the session thread; OpenDialog, Send,
// ShowEntry, DeleteEntry, ClearStack and the format changes on the main thread. The stack is
// reached under csMessageStack, the format copied under csMessageFormat, the dialog and its open
// flag under csMessageDialog; engine calls are made under csEngine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/check_codes.h"
#include "online/online_host.h"
#include "records/message4.h"

namespace plandrel {

// One received message: its place in the stack (from 1), its reception date ("%d/%m/%Y") and
// time ("%H:%M:%S"), and all its bytes.
struct MES_PILE {
  std::uint16_t number = 0;
  std::uint16_t length = 0;
  std::array<char, 11> date{};
  std::array<char, 13> time{};
  std::vector<std::uint8_t> data;
};

class OnlineMessage {
 public:
  static constexpr std::size_t kStackCapacity = 64;
  // A FIP message carries at most 252 bytes; a send takes at most 250, and so does the display
  // of a received entry (its data is kept whole).
  static constexpr std::size_t kDataBytes = 252;
  static constexpr std::size_t kSendBytes = 250;
  static constexpr std::size_t kShownBytes = 250;
  // The loss counter's value at creation and after the dialog deletes or clears entries: the
  // next lost reception is reported at once, later ones one in eleven.
  static constexpr std::uint16_t kLossReportPeriod = 10;

  static constexpr std::string_view kInvalidFormat = "Invalid format";
  static constexpr std::string_view kAccessKeyError = "Message access key error : abort session.";

  enum class SendState { none = 0, queued = 1, sent = 2 };

  OnlineMessage(OnlineFrame& frame, const OnlineLocks& locks);
  OnlineMessage(const OnlineMessage&) = delete;
  OnlineMessage& operator=(const OnlineMessage&) = delete;
  ~OnlineMessage();

  // Connect, or the first reception of an unconfigured message (which keeps a copy of `record`).
  // A transmitted message gets its key from the engine; every message finds its tree item among
  // the grandchildren of the local station. A failure shows its message and returns false.
  bool Init(bool configured, const records::MESSAGE4& record, std::uint16_t index, std::uint16_t local_station);

  // Event of kind 1: true when the report is this transmitted message's (its key is `identifier`).
  bool OnSendReport(std::uint16_t identifier, std::uint8_t parameter, std::uint8_t value);

  // Stacks a reception and numbers it; false when the stack is full (the entry is dropped).
  bool Push(MES_PILE entry);
  // A reception lost to a full stack: shows " name message stack full :\nmessage may be lost."
  // for the first loss after creation or a reset, then for one loss in eleven. True when shown.
  bool NoteLostReception();
  void ResetLossCounter();
  // Removes entry `number` (from 1) and renumbers the later ones; entries left. A number outside
  // the stack removes nothing.
  std::size_t DeleteEntry(std::uint16_t number);
  void ClearStack();
  std::size_t StackSize() const;
  // A copy of entry `number`, none outside the stack.
  std::optional<MES_PILE> Entry(std::uint16_t number) const;
  // The same with the number of entries, both read in one hold of csMessageStack.
  std::pair<std::size_t, std::optional<MES_PILE>> EntryWithCount(std::uint16_t number) const;
  // Shows entry `number` in the dialog: its first 250 bytes formatted.
  void ShowEntry(std::uint16_t number);

  // The transmitted dialog's Send: 0, kCheckInvalidFormat (a format beyond 32 characters or
  // refused, or a text the format cannot read: nothing is sent) or kCheckOnlineWriteFailed.
  CONFIG_CHECK_CODE Send(std::string_view format_text, std::string_view value_text);

  // Main thread, under csMessageDialog.
  void OpenDialog();
  void CloseDialog(bool notify);
  // The dialog that the user closed, given up (main thread); none when it is no longer this one's.
  std::unique_ptr<MessageDialogLink> DetachDialog(const OnlineDialogLink* dialog);

  // text := data by the format in use; false when the format is refused. Parse: data and length
  // := the bytes of text (at most 250); false, keeping both, when the format or text is refused.
  bool Format();
  bool Parse();

  void SetFormat(std::string_view format);
  std::string GetFormat() const;

  bool Configured() const { return configured_; }
  bool Transmitted() const { return record_->transmitted == 1; }
  std::uint16_t AccessKey() const { return access_key_; }
  std::uint16_t Index() const { return index_; }
  const records::MESSAGE4& Record() const { return *record_; }
  TreeItem Item() const { return tree_item_; }
  std::uint16_t Length() const { return length_; }
  const std::array<std::uint8_t, kDataBytes>& Data() const { return data_; }
  const std::string& Text() const { return text_; }
  bool Sent() const { return sent_; }
  bool HasDialog() const { return dialog_ != nullptr; }
  std::uint16_t LossCounter() const { return loss_counter_; }

  // Tree texts: "name (3received message(s))" or "name (no received message)"; and the send state
  // "name (sending queue)", "name (sent)" or "name ()".
  std::string StackTreeText() const;
  std::string SendTreeText(SendState state) const;

 private:
  void SetTreeText(const std::string& text);
  // Runs update on the dialog when it is open, under csMessageDialog.
  template <class Update>
  void UpdateDialog(Update update);
  std::string Name() const;

  OnlineFrame& frame_;
  OnlineLocks locks_;
  std::uint16_t access_key_ = 0;
  std::unique_ptr<MessageDialogLink> dialog_;
  std::uint16_t length_ = 0;
  std::array<std::uint8_t, kDataBytes> data_{};
  std::string text_;
  bool sent_ = false;
  std::uint16_t index_ = 0;
  const records::MESSAGE4* record_ = nullptr;
  records::MESSAGE4 own_record_{};  // the record of an unconfigured message
  TreeItem tree_item_ = 0;
  std::array<char, 33> format_{};
  bool dialog_open_ = false;
  bool configured_ = true;
  std::vector<MES_PILE> stack_;
  std::uint16_t loss_counter_ = kLossReportPeriod;
};

}  // namespace plandrel
