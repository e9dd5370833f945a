#include "online/ba_control.h"

#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>

#include "corvix.h"
#include "online/error_text.h"

namespace plandrel {

BaEngine BaEngine::Corvix() {
  return {BA_REPORT, START_BA, STOP_BA, CONTINUE_BA, CHANGE_BA, GET_BA_PROGRAM_ADDR};
}

std::string_view BaStateText(std::uint8_t state) {
  static constexpr std::array<std::string_view, 8> kTexts = {"SENDING", "STOPPED",  "STARTING", "IDLE",
                                                             "MSG_WND", "APER_WND", "WAIT",     "PENDING"};
  if (state < kBaSending || state > kBaPending) return {};
  return kTexts[state - kBaSending];
}

std::uint32_t BaStartWait(const records::GENERAL_PARAM& param, const TimingTable& timing) {
  const float s = static_cast<float>(param.silence) * timing.Entry(param).silence_unit_us;
  const float d = static_cast<float>(param.start_delay) * s / 1000.0F;
  const float e = static_cast<float>(param.election_count) * s / 1000.0F;
  const float wait = std::trunc(d + e);
  if (!(wait > 0.0F)) return 0;  // negative counts of a damaged file, or not a number
  if (wait >= 4294967296.0F) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(wait);
}

BaControl::BaControl(OnlineFrame& frame, const OnlineLocks& locks, const records::GENERAL_PARAM& param,
                     const TimingTable& timing, bool own_program, OnlineClock& clock, BaEngine engine)
    : frame_(frame),
      locks_(locks),
      clock_(clock),
      engine_(std::move(engine)),
      own_program_(own_program),
      start_word_(param.padding_identifier),
      start_wait_(BaStartWait(param, timing)) {
  tree_item_ = frame_.BusArbitratorItem();
  sequence_address_ = ProgramAddress(1);
}

BaControl::~BaControl() = default;

std::uint16_t BaControl::ProgramAddress(int sequence) {
  std::int16_t address1 = 0, address2 = 0;
  std::lock_guard engine(locks_.engine);
  engine_.program_addresses(&address1, &address2);
  return static_cast<std::uint16_t>(sequence == 2 ? address2 : address1);
}

std::uint8_t BaControl::Report() {
  std::uint8_t report = 0;
  state_ = engine_.report(&report) == 0 ? static_cast<std::uint8_t>(report & 0x0F) : 0;
  return state_;
}

void BaControl::UpdateTreeText() {
  if (tree_item_ == 0) return;
  std::string text(kTreeText);
  if (!StateText().empty()) text += " (" + std::string(StateText()) + ")";
  if (frame_.IsMainWindow()) frame_.SetTreeText(tree_item_, text);
}

void BaControl::PushStateToDialog() {
  std::lock_guard lock(locks_.ba_dialog);
  if (!dialog_open_ || !dialog_) return;
  dialog_->State(StateText());
}

void BaControl::Refresh() {
  UpdateTreeText();
  PushStateToDialog();
}

void BaControl::ShowFailure(const std::string& text) {
  if (!text.empty()) frame_.ShowMessage(text);
}

void BaControl::OpenDialog() {
  if (dialog_) {
    dialog_->Activate();
    return;
  }
  dialog_ = frame_.CreateBaDialog(*this, own_program_);
  if (!dialog_) return;
  std::lock_guard lock(locks_.ba_dialog);
  dialog_open_ = true;
}

void BaControl::CloseDialog(bool notify) {
  CloseOnlineDialog(dialog_, dialog_open_, locks_.ba_dialog, notify);
}

std::unique_ptr<BaDialogLink> BaControl::DetachDialog(const OnlineDialogLink* dialog) {
  return DetachOnlineDialog(dialog_, dialog_open_, locks_.ba_dialog, dialog);
}

bool BaControl::WaitForStart() {
  clock_.Sleep(start_wait_);
  return Report() != kBaStopped;
}

void BaControl::Start() {
  std::string failure;
  {
    std::lock_guard engine(locks_.engine);
    if (Report() != kBaStopped) return;
    if (engine_.start(start_word_) == 0 && WaitForStart()) {
      Refresh();
      return;
    }
    // One retry: at once after a refused start, after the first wait otherwise.
    if (const std::uint32_t code = engine_.start(start_word_); code != 0) {
      failure = ErrorText(code, std::string(kCannotStart));
    } else if (!WaitForStart()) {
      failure = kPhysicalLayerProblem;
    } else {
      Refresh();
    }
  }
  ShowFailure(failure);
}

void BaControl::Stop() {
  std::uint32_t code = 0;
  {
    std::lock_guard engine(locks_.engine);
    const std::uint8_t state = Report();
    if (state != 0 && state != kBaStopped && state != kBaStarting) {
      code = engine_.stop();
      if (code == 0) Report();
    }
  }
  if (code != 0) {
    ShowFailure(ErrorText(code, std::string(kCannotStop)));
  } else {
    Refresh();
  }
}

void BaControl::Continue(int sequence) {
  std::string failure;
  {
    std::lock_guard engine(locks_.engine);
    if (Report() != kBaPending) return;
    if (const std::uint32_t code = engine_.continue_sequence(0, sequence_address_); code != 0)
      failure = ErrorText(code, std::string(kCannotContinue));
    Report();
    Refresh();
    sequence_address_ = ProgramAddress(sequence);
  }
  ShowFailure(failure);
}

void BaControl::Change(int sequence) {
  std::string failure;
  {
    std::lock_guard engine(locks_.engine);
    Report();
    if (const std::uint32_t code = engine_.change(ProgramAddress(sequence)); code != 0)
      failure = ErrorText(code, std::string(kCannotToggle));
    Report();
    Refresh();
  }
  ShowFailure(failure);
}

void BaControl::OnEvent(std::uint16_t value) {
  if (value != 0) {
    std::lock_guard engine(locks_.engine);
    sequence_address_ = static_cast<std::uint16_t>(value + 16);
    return;
  }
  std::int16_t address1 = 0, address2 = 0;
  {
    std::lock_guard engine(locks_.engine);
    engine_.program_addresses(&address1, &address2);
  }
  WindowHandle window = 0;
  {
    std::lock_guard lock(locks_.ba_dialog);
    if (!dialog_open_ || !dialog_) return;
    window = dialog_->Window();
  }
  // Sent without the lock: the main thread may be waiting for it.
  const int sequence = frame_.AskSequence(window);
  std::lock_guard engine(locks_.engine);
  sequence_address_ = static_cast<std::uint16_t>(sequence == 2 ? address2 : address1);
}

}  // namespace plandrel
