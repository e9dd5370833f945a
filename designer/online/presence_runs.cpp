// The engine runs of the presence test: the detection run at opening and the scan run of Start,
// each an engine session of its own on the main thread.
#include <algorithm>
#include <cmath>
#include <limits>

#include "corvix.h"
#include "model/plandrel_doc.h"
#include "online/download_turn.h"
#include "online/error_text.h"
#include "online/presence_resources.h"
#include "online/presence_sta.h"
#include "win32/windows.h"

namespace plandrel {

namespace {

// FIP_READ_VAR writes up to this many bytes, whatever the variable's length.
constexpr std::size_t kEngineVariableBytes = 128;
constexpr std::uint32_t kErrorBusy = 170;
constexpr std::uint32_t kPollMs = 100;
constexpr std::uint32_t kEngineSettleMs = 50;
constexpr std::uint32_t kBusSettleMs = 500;
constexpr std::uint32_t kPaintSliceMs = 20;
constexpr int kAddressesPerProgressStep = 11;

// MediumStatus bits.
constexpr std::uint8_t kCh1 = 0x01, kCh2 = 0x02, kEt1 = 0x04, kEt2 = 0x08;
constexpr std::uint8_t kMediumStatus = 0, kMedium1Only = 4, kMedium2Only = 5;

// A board's refusal of one command (its CardError family): the board answers; anything else (a
// time-out, a USB or platform error) means the board stopped answering.
bool IsCardRefusal(std::uint32_t code) { return (code & 0xF0000000u) == 0x60000000u; }

std::uint32_t ClampedMs(float ms) {
  if (!(ms > 0.0F)) return 0;
  if (ms >= 4294967296.0F) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(ms);
}

class WallClock final : public PresenceClock {
 public:
  std::uint32_t NowMs() override { return ::GetTickCount(); }
  // A manual-reset event that is never signalled serves as the timed wait, in slices between which
  // the windows are painted.
  void Wait(std::uint32_t milliseconds) override {
    const std::uint32_t start = ::GetTickCount();
    for (;;) {
      qui::ProcessPendingPaint();
      const std::uint32_t elapsed = ::GetTickCount() - start;
      if (elapsed >= milliseconds) return;
      const std::uint32_t slice = std::min(milliseconds - elapsed, kPaintSliceMs);
      if (never_signalled_ != nullptr)
        ::WaitForSingleObject(never_signalled_, slice);
      else
        ::Sleep(slice);
    }
  }

 private:
  HANDLE never_signalled_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

}  // namespace

PresenceEngine PresenceEngine::Corvix() {
  PresenceEngine e;
  e.start_engine = START_FIP_ENGINE;
  e.stop_engine = STOP_FIP_ENGINE;
  e.download = DOWNLOAD_CNF;
  e.start_communication = START_COMMUNICATION;
  e.medium_control = MEDIUM_CONTROL;
  e.ba = BaEngine::Corvix();
  e.find_variable = [](std::uint16_t identifier) -> std::optional<std::uint16_t> {
    std::int16_t index = 0, length = 0;
    char name[33] = {};
    std::uint8_t flags = 0;
    if (FIND_VAR_BY_ID(identifier, &index, name, &length, &flags) != 1 || index < 0) return std::nullopt;
    return static_cast<std::uint16_t>(index);
  };
  e.read_variable = [](std::uint16_t index, std::uint8_t* data) {
    std::uint8_t status = 0;  // not used by the test
    return FIP_READ_VAR(index, data, &status);
  };
  e.write_variable = FIP_WRITE_VAR;
  return e;
}

PresenceClock& PresenceWallClock() {
  static WallClock clock;
  return clock;
}

std::uint32_t PresenceScanWait(const records::GENERAL_PARAM& param, const TimingTable& timing) {
  const std::size_t index = TimingTable::Index(param);
  const float t = static_cast<float>(param.silence) * timing.Entry(index).silence_unit_us;
  const float b = timing.Entry(index - index % 2).bit_time_us;
  return ClampedMs(std::trunc(256.0F * (t + 64.0F * b + 120.0F * b) / 1000.0F));
}

std::uint32_t CPresenceSta::StartWait() const { return BaStartWait(document_.Records().param, timing_); }

void CPresenceSta::Fail(std::string_view text) { MessageBox(std::string(text).c_str()); }

CPresenceSta::TestStart CPresenceSta::StartTestEngine(PresenceKind kind, const std::function<void()>& written) {
  const std::filesystem::path file = PresenceConfigurationPath(document_.GetWorkingFolder(), kind);
  PresenceFileResult result = PresenceFileResult::ok;
  bool started = false;
  std::uint32_t downloaded = 0;
  WriteAndDownload(
      file,
      [&] {
        result = WritePresenceConfiguration(kind, document_.GetWorkingFiles(), document_.GetWorkingFolder(), settings_);
        return result == PresenceFileResult::ok;
      },
      [&] {
        if (written) written();
        SetStatus("Starting Fip Engine");
        const SelectedDevice device = document_.GetDevice();
        if (engine_.start_engine(device.board_number, device.board_type) != 0) return;
        started = true;
        SetStatus("Downloading CNF file");
        downloaded = engine_.download(file.string().c_str());
      });
  switch (result) {
    case PresenceFileResult::ok: break;
    case PresenceFileResult::cannot_create: Fail(CPlandrelDoc::kProblemCreating); return TestStart::not_written;
    case PresenceFileResult::configuration_bad: Fail(CPlandrelDoc::kErrorRecording); return TestStart::not_written;
  }
  if (!started) return TestStart::failed;
  if (downloaded != 0 || engine_.start_communication() != 0) {
    engine_.stop_engine();
    return TestStart::failed;
  }
  return TestStart::running;
}

bool CPresenceSta::EnableMedium(std::uint8_t command) {
  std::uint8_t status = 0;
  if (const std::uint32_t code = engine_.medium_control(command, &status); code != 0) {
    if (const std::string text = ErrorText(code, ""); !text.empty()) Fail(text);
    engine_.stop_engine();
    return false;
  }
  return true;
}

bool CPresenceSta::ValidateTransmissionChannel() {
  SetStatus("Validating transmission channel");
  std::uint8_t status = 0;
  if (const std::uint32_t code = engine_.medium_control(kMediumStatus, &status); code != 0) {
    if (const std::string text = ErrorText(code, ""); !text.empty())
      MessageBox(text.c_str(), nullptr, code == kErrorBusy ? MB_OKCANCEL : MB_OK);  // either answer goes on
    engine_.stop_engine();
    return false;
  }
  const bool ch1 = status & kCh1, ch2 = status & kCh2, et1 = status & kEt1, et2 = status & kEt2;
  if (et1 && et2) {
    if (MessageBox(std::string(kNoEcho).c_str(), nullptr, MB_OKCANCEL) == IDOK) return true;
    engine_.stop_engine();
    return false;
  }
  if (et1) return ch2 || EnableMedium(kMedium2Only);
  if (ch1) return true;
  if (et2) return EnableMedium(kMedium1Only);
  return ch2 || EnableMedium(kMedium2Only);
}

bool CPresenceSta::StartTestArbitrator() {
  const std::uint32_t wait = StartWait();
  std::uint8_t state = 0;
  if (engine_.ba.report(&state) != 0 || state != kBaStopped) return false;
  SetStatus("Starting bus arbitrator");
  if (engine_.ba.start(settings_.padding_identifier) != 0) return false;
  clock_.Wait(wait);
  if (engine_.ba.report(&state) != 0) return false;
  // An election that outlasts a few start waits will not end: the board is not taking part.
  const std::uint32_t bound = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::max<std::uint64_t>(kMinStartingBoundMs, std::uint64_t{wait} * kStartingBoundWaits),
                              std::numeric_limits<std::uint32_t>::max()));
  for (const std::uint32_t since = clock_.NowMs(); state == kBaStarting;) {
    if (clock_.NowMs() - since >= bound) return false;
    if (engine_.ba.report(&state) != 0) return false;
    clock_.Wait(kPollMs);
  }
  if (state == kBaIdle) {
    test_mode_ = kModeListening;
    return true;
  }
  if (state == kBaStopped) {
    if (const std::uint32_t code = engine_.ba.start(settings_.padding_identifier); code != 0) {
      Fail(ErrorText(code, std::string(kCannotStart)));
      return false;
    }
    // Polled back to back until SENDING, for at most W (the timer's period, kept by the clock as
    // well, since the polls do not let the timer's message in) and kMaxArbitratorPolls polls.
    timer_running_ = 1;
    timer_id_ = static_cast<int>(SetTimer(kTimerId, wait, nullptr));
    const std::uint32_t since = clock_.NowMs();
    bool reported = true;
    for (int polls = 0; timer_running_ && polls < kMaxArbitratorPolls && (polls == 0 || clock_.NowMs() - since < wait);
         ++polls) {
      reported = engine_.ba.report(&state) == 0;
      if (!reported || state == kBaSending) break;
    }
    KillTimer(kTimerId);
    timer_running_ = 0;
    if (!reported) return false;
    test_mode_ = state == kBaStopped || state == kBaIdle ? kModeListening : kModeArbitrating;
  }
  SetStatus(" ");
  return true;
}

bool CPresenceSta::DetectArbitrator() {
  switch (StartTestEngine(PresenceKind::detection)) {
    case TestStart::not_written: return false;
    case TestStart::failed: Fail(kErrorOnNetwork); return false;
    case TestStart::running: break;
  }
  clock_.Wait(kEngineSettleMs);
  if (!ValidateTransmissionChannel()) return false;
  if (!StartTestArbitrator()) {
    engine_.stop_engine();
    Fail(kErrorOnNetwork);
    return false;
  }
  SetStatus(" ");
  if (test_mode_ == kModeListening) {
    const auto index = engine_.find_variable(kPlanIdentifier);
    SetLine(IDC_PRESENCE_TITLE, "There is an active arbitrator");
    std::array<std::uint8_t, kEngineVariableBytes> data{};
    const std::uint32_t code = index ? engine_.read_variable(*index, data.data()) : 0;
    if (index && code != 0 && !IsCardRefusal(code)) {  // the board stopped answering
      engine_.stop_engine();
      Fail(kErrorOnNetwork);
      return false;
    }
    if (index && code == 0) {
      plan_from_bus_ = 1;
      std::copy_n(data.begin() + 4, address_map_.size(), address_map_.begin());
      SetLine(IDC_PRESENCE_HINT, "Here is the configuration defined for the bus");
    } else {
      plan_from_bus_ = 0;
      SetLine(IDC_PRESENCE_HINT, "Choose your address configuration");
    }
  } else if (test_mode_ == kModeArbitrating) {
    SetLine(IDC_PRESENCE_TITLE, "No arbitrator on the bus");
    SetLine(IDC_PRESENCE_HINT, "Choose your address configuration");
    engine_.ba.stop();
  }
  engine_.stop_engine();
  if (CWnd* hint = GetDlgItem(IDC_PRESENCE_HINT)) hint->ShowWindow(SW_SHOW);
  if (test_mode_ != kModeListening && test_mode_ != kModeArbitrating)
    SetLine(IDC_PRESENCE_TITLE, "Echec" + std::to_string(test_mode_));
  return true;
}

bool CPresenceSta::ScanFailed() {
  engine_.stop_engine();
  Item<CProgressCtrl>(IDC_PRESENCE_PROGRESS).ShowWindow(SW_HIDE);
  SetStatus("     ");
  Fail(kErrorOnNetwork);
  return false;
}

bool CPresenceSta::RunPresenceScan() {
  const PresenceKind kind = test_mode_ == kModeArbitrating ? PresenceKind::arbitrating : PresenceKind::listening;
  auto& progress = Item<CProgressCtrl>(IDC_PRESENCE_PROGRESS);
  const TestStart start = StartTestEngine(kind, [&] {
    progress.ShowWindow(SW_SHOW);
    StepProgress();
  });
  if (start == TestStart::not_written) return false;
  if (start == TestStart::failed) {
    progress.ShowWindow(SW_HIDE);
    SetStatus("     ");
    Fail(kErrorOnNetwork);
    return false;
  }
  StepProgress();
  clock_.Wait(kBusSettleMs);
  StepProgress();
  if (!ValidateTransmissionChannel()) {  // it has reported and stopped the engine
    progress.ShowWindow(SW_HIDE);
    SetStatus("     ");
    return false;
  }
  StepProgress();

  // A value goes to a variable the configuration holds; a lookup that fails skips its write, and
  // only a board that stops answering fails the scan.
  const auto write = [this](std::uint16_t identifier, const std::uint8_t* data) {
    const auto index = engine_.find_variable(identifier);
    const std::uint32_t code = index ? engine_.write_variable(*index, data) : 0;
    return code == 0 || IsCardRefusal(code);
  };
  static constexpr std::array<std::uint8_t, 7> kOwnPresence = {1, 2, 3, 4, 5, 6, 7};
  if (!write(static_cast<std::uint16_t>(kPresenceIdentifierBase + settings_.local_address), kOwnPresence.data()))
    return ScanFailed();
  if (test_mode_ == kModeArbitrating) {
    std::array<std::uint8_t, 2 + std::tuple_size_v<AddressMap>> plan = {0x80, 0x20};
    std::copy(address_map_.begin(), address_map_.end(), plan.begin() + 2);
    const std::array<std::uint8_t, 6> segment = {0x80, 0x04, static_cast<std::uint8_t>(settings_.silence), 0x00, 0x01,
                                                 static_cast<std::uint8_t>(settings_.turnaround)};
    if (!write(kPlanIdentifier, plan.data()) || !write(kSegmentParametersIdentifier, segment.data()))
      return ScanFailed();
  }
  StepProgress();
  clock_.Wait(kBusSettleMs);
  StepProgress();
  if (test_mode_ == kModeArbitrating && !StartTestArbitrator()) return ScanFailed();
  StepProgress();
  if (test_mode_ == kModeArbitrating) {
    SetStatus("Test in progress");
    clock_.Wait(PresenceScanWait(document_.Records().param, timing_));
  }
  SetStatus("Reading presence variables");
  if (!ReadPresenceVariables()) return ScanFailed();
  if (test_mode_ == kModeArbitrating) engine_.ba.stop();
  engine_.stop_engine();
  SetAddressBit(presence_map_, settings_.local_address, true);
  SetStatus("     ");
  progress.ShowWindow(SW_HIDE);
  return true;
}

bool CPresenceSta::ReadPresenceVariables() {
  std::array<std::uint8_t, kEngineVariableBytes> data{};
  for (int a = 0; a < kPhysicalAddresses; ++a) {
    if ((a + 1) % kAddressesPerProgressStep == 0) StepProgress();
    if (a == settings_.local_address) continue;
    // An identifier the download does not hold, or a board's refusal of the read: no station.
    const auto index = engine_.find_variable(static_cast<std::uint16_t>(kPresenceIdentifierBase + a));
    if (!index) continue;
    const std::uint32_t code = engine_.read_variable(*index, data.data());
    if (code == 0)
      SetAddressBit(presence_map_, a, true);
    else if (!IsCardRefusal(code))
      return false;
  }
  return true;
}

}  // namespace plandrel
