#include "online/online_message.h"

#include <algorithm>
#include <mutex>

#include "corvix.h"
#include "model/display_format.h"
#include "records/byte_codec.h"

namespace plandrel {

OnlineMessage::OnlineMessage(OnlineFrame& frame, const OnlineLocks& locks) : frame_(frame), locks_(locks) {}

OnlineMessage::~OnlineMessage() = default;

std::string OnlineMessage::Name() const { return std::string(records::text_of(record_->name)); }

bool OnlineMessage::Init(bool configured, const records::MESSAGE4& record, std::uint16_t index,
                         std::uint16_t local_station) {
  configured_ = configured;
  if (configured) {
    record_ = &record;
  } else {
    own_record_ = record;
    record_ = &own_record_;
  }
  index_ = index;
  records::set_text(format_, records::text_of(record_->format));
  if (record_->transmitted == 1) {
    std::int16_t key = 0;
    char name[33] = {};
    std::uint32_t found = 0;
    {
      std::lock_guard engine(locks_.engine);
      found = FIND_MSG_BY_ID(record_->source_identifier, record_->source_segment, record_->destination_identifier,
                             record_->destination_segment, name, &key);
    }
    if (found == 0) {
      frame_.ShowMessage(kAccessKeyError);
      return false;
    }
    access_key_ = static_cast<std::uint16_t>(key);
  } else {
    access_key_ = 0;
  }
  // A message's item sits under the item of its variable, under the local station.
  tree_item_ = frame_.LocalMessageItem(local_station, record_->key);
  if (tree_item_ == 0) {
    frame_.ShowMessage(kTreeManagementError);
    return false;
  }
  if (record_->transmitted != 1) SetTreeText(StackTreeText());
  return true;
}

void OnlineMessage::SetTreeText(const std::string& text) {
  if (frame_.IsMainWindow()) frame_.SetTreeText(tree_item_, text);
}

template <class Update>
void OnlineMessage::UpdateDialog(Update update) {
  std::lock_guard lock(locks_.message_dialog);
  if (dialog_open_ && dialog_) update(*dialog_);
}

std::string OnlineMessage::StackTreeText() const {
  const std::size_t count = StackSize();
  std::string text = Name() + " (";
  text += count > 0 ? std::to_string(count) + "received message(s)" : "no received message";
  return text + ")";
}

std::string OnlineMessage::SendTreeText(SendState state) const {
  std::string text = Name() + " (";
  if (state == SendState::queued) text += "sending queue";
  if (state == SendState::sent) text += "sent";
  return text + ")";
}

bool OnlineMessage::OnSendReport(std::uint16_t identifier, std::uint8_t parameter, std::uint8_t value) {
  if (record_->transmitted != 1 || access_key_ != identifier) return false;
  SetTreeText(SendTreeText(SendState::sent));
  const std::uint8_t report = parameter == static_cast<std::uint8_t>(record_->channel) ? value : 1;
  UpdateDialog([report](MessageDialogLink& dialog) { dialog.Report(report); });
  return true;
}

bool OnlineMessage::Push(MES_PILE entry) {
  bool was_empty = false;
  {
    std::lock_guard lock(locks_.message_stack);
    if (stack_.size() >= kStackCapacity) return false;
    was_empty = stack_.empty();
    entry.number = static_cast<std::uint16_t>(stack_.size() + 1);
    stack_.push_back(std::move(entry));
  }
  SetTreeText(StackTreeText());
  UpdateDialog([was_empty](MessageDialogLink& dialog) { dialog.EntryAdded(was_empty); });
  if (was_empty) frame_.EnableMessageMenuItem(index_, true);
  return true;
}

bool OnlineMessage::NoteLostReception() {
  bool report = false;
  {
    std::lock_guard lock(locks_.message_stack);
    if (loss_counter_ >= kLossReportPeriod) {
      loss_counter_ = 0;
      report = true;
    } else {
      ++loss_counter_;
    }
  }
  if (report) frame_.ShowMessage(" " + Name() + " message stack full :\nmessage may be lost.");
  return report;
}

void OnlineMessage::ResetLossCounter() {
  std::lock_guard lock(locks_.message_stack);
  loss_counter_ = kLossReportPeriod;
}

std::size_t OnlineMessage::DeleteEntry(std::uint16_t number) {
  std::size_t left = 0;
  {
    std::lock_guard lock(locks_.message_stack);
    if (number == 0 || number > stack_.size()) return stack_.size();
    stack_.erase(stack_.begin() + (number - 1));
    for (std::size_t i = number - 1; i < stack_.size(); ++i) stack_[i].number = static_cast<std::uint16_t>(i + 1);
    left = stack_.size();
  }
  SetTreeText(StackTreeText());
  if (left == 0) frame_.EnableMessageMenuItem(index_, false);
  return left;
}

void OnlineMessage::ClearStack() {
  {
    std::lock_guard lock(locks_.message_stack);
    stack_.clear();
  }
  SetTreeText(StackTreeText());
  frame_.EnableMessageMenuItem(index_, false);
}

std::size_t OnlineMessage::StackSize() const {
  std::lock_guard lock(locks_.message_stack);
  return stack_.size();
}

std::optional<MES_PILE> OnlineMessage::Entry(std::uint16_t number) const { return EntryWithCount(number).second; }

std::pair<std::size_t, std::optional<MES_PILE>> OnlineMessage::EntryWithCount(std::uint16_t number) const {
  std::lock_guard lock(locks_.message_stack);
  if (number == 0 || number > stack_.size()) return {stack_.size(), std::nullopt};
  return {stack_.size(), stack_[number - 1]};
}

void OnlineMessage::ShowEntry(std::uint16_t number) {
  {
    std::lock_guard lock(locks_.message_stack);
    if (number == 0 || number > stack_.size()) return;
    const MES_PILE& entry = stack_[number - 1];
    const std::size_t kept = std::min<std::size_t>(entry.data.size(), kDataBytes);
    data_.fill(0);
    std::copy_n(entry.data.begin(), kept, data_.begin());
    length_ = static_cast<std::uint16_t>(std::min<std::size_t>(entry.length, kept));
  }
  if (!Format()) text_ = kInvalidFormat;
  UpdateDialog([this](MessageDialogLink& dialog) { dialog.Show(text_); });
}

void OnlineMessage::SetFormat(std::string_view format) {
  std::lock_guard lock(locks_.message_format);
  records::set_text(format_, format, kDisplayFormatCapacity);
}

std::string OnlineMessage::GetFormat() const {
  std::lock_guard lock(locks_.message_format);
  return std::string(records::text_of(format_));
}

bool OnlineMessage::Format() {
  const std::size_t shown = std::min<std::size_t>(length_, kShownBytes);
  auto text = FormatValue(GetFormat(), std::span(data_.data(), shown));
  if (!text) return false;
  text_ = std::move(*text);
  return true;
}

bool OnlineMessage::Parse() {
  std::array<std::uint8_t, kSendBytes> bytes{};
  const ValueParse parsed = ParseValue(GetFormat(), text_, bytes);
  if (parsed.error != ValueParseError::kNone) return false;
  data_.fill(0);
  std::copy(bytes.begin(), bytes.end(), data_.begin());
  length_ = static_cast<std::uint16_t>(parsed.length);
  Format();
  return true;
}

CONFIG_CHECK_CODE OnlineMessage::Send(std::string_view format_text, std::string_view value_text) {
  if (format_text.size() > kDisplayFormatCapacity) return kCheckInvalidFormat;
  SetFormat(format_text);
  text_ = value_text;
  if (!Parse()) return kCheckInvalidFormat;
  const auto channel = static_cast<std::uint8_t>(record_->channel);
  std::uint32_t result = 0;
  {
    std::lock_guard engine(locks_.engine);
    result = FIP_WRITE_MSG(channel, access_key_, record_->acknowledged, channel, length_,
                           record_->destination_identifier, record_->destination_segment, record_->source_identifier,
                           record_->source_segment, data_.data());
  }
  if (result != 0) {
    SetTreeText(SendTreeText(SendState::none));
    return kCheckOnlineWriteFailed;
  }
  sent_ = true;
  SetTreeText(SendTreeText(SendState::queued));
  return kCheckOk;
}

void OnlineMessage::OpenDialog() {
  const bool transmitted = record_->transmitted == 1;
  const bool has_entries = StackSize() > 0;
  if (dialog_) {
    if (transmitted || has_entries) dialog_->Activate();
    return;
  }
  if (!transmitted && !has_entries) return;
  const MessageDialogKind kind = transmitted  ? MessageDialogKind::transmitted
                                 : configured_ ? MessageDialogKind::received
                                               : MessageDialogKind::unconfigured;
  dialog_ = frame_.CreateMessageDialog(*this, kind);
  if (!dialog_) return;
  {
    std::lock_guard lock(locks_.message_dialog);
    dialog_open_ = true;
  }
  if (!transmitted) ShowEntry(1);
}

void OnlineMessage::CloseDialog(bool notify) {
  CloseOnlineDialog(dialog_, dialog_open_, locks_.message_dialog, notify);
}

std::unique_ptr<MessageDialogLink> OnlineMessage::DetachDialog(const OnlineDialogLink* dialog) {
  return DetachOnlineDialog(dialog_, dialog_open_, locks_.message_dialog, dialog);
}

}  // namespace plandrel
