#include "online/online_variable.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <span>

#include "corvix.h"
#include "model/display_format.h"
#include "records/byte_codec.h"

namespace plandrel {

namespace {

// FIP_READ_VAR and FIP_WRITE_VAR move at most this many bytes.
constexpr std::size_t kEngineVariableBytes = 128;

}  // namespace

OnlineVariable::OnlineVariable(OnlineFrame& frame, const OnlineLocks& locks) : frame_(frame), locks_(locks) {}

OnlineVariable::~OnlineVariable() = default;

bool OnlineVariable::Init(const records::VARIABLE4& record, std::uint16_t index, std::uint16_t local_station) {
  records::set_text(format_, records::text_of(record.format));
  std::int16_t key = 0, length = 0;
  std::uint8_t flags = 0;
  char name[33] = {};
  std::uint32_t found = 0;
  {
    std::lock_guard engine(locks_.engine);
    found = FIND_VAR_BY_ID(record.identifier, &key, name, &length, &flags);
  }
  if (found == 0) {
    frame_.ShowMessage(kAccessKeyError);
    return false;
  }
  const TreeItem item = frame_.LocalVariableItem(local_station, record.key);
  if (item == 0) {
    frame_.ShowMessage(kTreeManagementError);
    return false;
  }
  access_key_ = static_cast<std::uint16_t>(key);
  record_ = &record;
  index_ = index;
  tree_item_ = item;
  read_ok_ = promptness_true_ = refreshment_true_ = false;
  value_text_.clear();
  published_ = {std::string(kNeverSeen), false, false, false};
  return true;
}

std::string OnlineVariable::Name() const { return std::string(records::text_of(record_->name)); }

void OnlineVariable::Read() {
  // The value follows two header bytes; a refreshment status adds one byte after it.
  const std::size_t length = record_->length;
  std::vector<std::uint8_t> buffer(std::max(kEngineVariableBytes, length + 3), 0);
  std::uint8_t status = 0;
  if (FIP_READ_VAR(access_key_, buffer.data(), &status) != 0) {
    read_ok_ = false;
    return;
  }
  read_ok_ = true;
  value_.emplace(buffer.begin() + 2, buffer.begin() + 2 + static_cast<std::ptrdiff_t>(length));
  if (record_->refreshment_status == 1) refreshment_true_ = (buffer[length + 2] & 5) == 5;
  if (status & 0x80) promptness_true_ = (status & 0x20) != 0;
}

void OnlineVariable::MakeValueText() {
  if (!read_ok_) {
    value_text_ = kNeverSeen;
  } else if (!Format()) {
    value_text_ = kInvalidFormat;
  }
}

void OnlineVariable::PublishToDialog() {
  MakeValueText();
  std::lock_guard lock(locks_.variable_dialog);
  published_ = {value_text_, read_ok_, refreshment_true_, promptness_true_};
  if (!dialog_open_ || !dialog_) return;
  dialog_->Update(published_);
}

void OnlineVariable::UpdateTreeText() {
  std::string text;
  {
    // The main thread re-formats under csEngine; the text is sent after it is released.
    std::lock_guard engine(locks_.engine);
    MakeValueText();
    text = Name() + " (" + value_text_ + ")";
    if (read_ok_ && refreshment_true_) text += " R";
    if (read_ok_ && promptness_true_) text += " P";
  }
  if (frame_.IsMainWindow()) frame_.SetTreeText(tree_item_, text);
}

void OnlineVariable::OpenDialog() {
  if (dialog_) {
    dialog_->Activate();
    return;
  }
  const bool consumed = record_->direction == 1;
  dialog_ = frame_.CreateVariableDialog(*this, consumed ? VariableDialogKind::consumed : VariableDialogKind::produced);
  if (!dialog_) return;
  // The dialog starts with the state last published: the caller holds csVariableDialog, which
  // comes after csEngine, so the value is not read again here.
  std::lock_guard lock(locks_.variable_dialog);
  dialog_open_ = true;
  if (!consumed) return;
  dialog_->Update(published_);
}

void OnlineVariable::CloseDialog(bool notify) {
  CloseOnlineDialog(dialog_, dialog_open_, locks_.variable_dialog, notify);
}

std::unique_ptr<VariableDialogLink> OnlineVariable::DetachDialog(const OnlineDialogLink* dialog) {
  return DetachOnlineDialog(dialog_, dialog_open_, locks_.variable_dialog, dialog);
}

void OnlineVariable::SetFormat(std::string_view format) {
  std::lock_guard lock(locks_.variable_format);
  records::set_text(format_, format, kDisplayFormatCapacity);
}

std::string OnlineVariable::GetFormat() const {
  std::lock_guard lock(locks_.variable_format);
  return std::string(records::text_of(format_));
}

bool OnlineVariable::Format() {
  if (!value_) return false;
  auto text = FormatValue(GetFormat(), *value_);
  if (!text) return false;
  value_text_ = std::move(*text);
  return true;
}

bool OnlineVariable::Parse() {
  std::vector<std::uint8_t> bytes(record_->length, 0);
  if (ParseValue(GetFormat(), value_text_, bytes).error != ValueParseError::kNone) return false;
  value_ = std::move(bytes);
  Format();
  return true;
}

CONFIG_CHECK_CODE OnlineVariable::Write(std::string_view format_text, std::string_view value_text) {
  if (format_text.size() > kDisplayFormatCapacity) return kCheckInvalidFormat;
  SetFormat(format_text);
  // The value is taken only once the board has it, so that a refused write leaves the last value.
  std::vector<std::uint8_t> bytes(std::max<std::size_t>(record_->length, kEngineVariableBytes), 0);
  const std::span<std::uint8_t> value(bytes.data(), record_->length);
  if (ParseValue(format_text, value_text, value).error != ValueParseError::kNone) return kCheckInvalidFormat;
  // The tree shows the value as it went on the bus (the bytes formatted back), not the typed text.
  std::string shown;
  {
    // The value and its text change under csEngine, as the session thread and the values display
    // read them under it.
    std::lock_guard engine(locks_.engine);
    if (FIP_WRITE_VAR(access_key_, bytes.data()) != 0) return kCheckOnlineWriteFailed;
    value_.emplace(value.begin(), value.end());
    shown = Format() ? value_text_ : std::string(value_text);
  }
  if (shown.size() > 32) shown = shown.substr(0, 32) + "...";
  if (frame_.IsMainWindow()) frame_.SetTreeText(tree_item_, Name() + " (" + shown + ")");
  return kCheckOk;
}

void OnlineVariable::Reformat() {
  std::lock_guard engine(locks_.engine);
  PublishToDialog();
}

void OnlineVariable::InitialWrite() {
  const std::array<std::uint8_t, kEngineVariableBytes> zeros{};
  std::lock_guard engine(locks_.engine);
  FIP_WRITE_VAR(access_key_, zeros.data());
}

void OnlineVariable::Snapshot() {
  // Copied into the snapshot's own buffer: the copy is made under csEngine and allocates nothing
  // once the first value is in.
  if (!value_) snapshot_.reset();
  else if (snapshot_) snapshot_->assign(value_->begin(), value_->end());
  else snapshot_ = value_;
}

std::int64_t TakeSnapshots(std::span<const std::unique_ptr<OnlineVariable>> variables, SectionLock& engine) {
  using Clock = std::chrono::steady_clock;
  std::int64_t longest = 0;
  for (std::size_t first = 0; first < variables.size(); first += kSnapshotsPerHold) {
    const std::size_t last = std::min(first + kSnapshotsPerHold, variables.size());
    std::lock_guard hold(engine);
    const auto start = Clock::now();
    for (std::size_t i = first; i < last; ++i) variables[i]->Snapshot();
    longest = std::max<std::int64_t>(
        longest, std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
  }
  return longest;
}

}  // namespace plandrel
