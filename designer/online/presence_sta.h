// CPresenceSta: the station presence test (dialog 813, "Stations Presence"), opened modally off
// line. It tells which stations answer on the bus behind the selected board.
//
// At opening a detection run downloads "ActiviteFIP.cnf" and starts the board's bus arbitrator:
// IDLE means another arbitrator runs the bus (test mode 1, listening), which may publish the bus's
// address plan in 0x9002; an arbitrator that takes a silent bus on its second start means none runs
// (test mode 2: the board arbitrates the scan itself). The user then marks the used addresses in a
// 16 x 16 grid, unless the plan came from the bus. Start saves the plan, writes "PresenceSta.cnf" and
// reads the presence variable 0x1400 + a of every address; the grid then shows each address's
// outcome, and Start becomes Exit.
//
// Each run is an engine session of its own, started and stopped on the main thread by the dialog,
// which never uses the on-line session: every session is stopped before control returns to the
// user. The waits on the bus run on a clock that keeps the windows painted (and that tests replace).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/presence_configuration.h"
#include "model/timing_table.h"
#include "online/ba_control.h"
#include "ui/afxcmn.h"
#include "ui/afxwin.h"

namespace plandrel {

class CPlandrelDoc;

// The engine exports the test calls; Corvix() gives those of corvix.h.
struct PresenceEngine {
  std::function<std::uint32_t(std::uint16_t board_number, std::uint32_t board_type)> start_engine;
  std::function<std::uint32_t()> stop_engine;
  std::function<std::uint32_t(const char* path)> download;
  std::function<std::uint32_t()> start_communication;
  std::function<std::uint32_t(std::uint8_t command, std::uint8_t* status)> medium_control;
  BaEngine ba;  // report, start and stop
  // FIND_VAR_BY_ID: the variable's index, or nothing when the identifier is not configured.
  std::function<std::optional<std::uint16_t>(std::uint16_t identifier)> find_variable;
  std::function<std::uint32_t(std::uint16_t index, std::uint8_t* data)> read_variable;  // 128 bytes
  std::function<std::uint32_t(std::uint16_t index, const std::uint8_t* data)> write_variable;

  static PresenceEngine Corvix();
};

// The clock of the test's waits: the milliseconds since some start (wrapping at 2^32) and a wait.
class PresenceClock {
 public:
  virtual ~PresenceClock() = default;
  virtual std::uint32_t NowMs() = 0;
  virtual void Wait(std::uint32_t milliseconds) = 0;
};
// The machine's clock; its waits keep the main thread's windows painted, without user input.
PresenceClock& PresenceWallClock();

// What the test changes in the application: its presence-test-open flag, which keeps the command
// disabled (and Connect with it) while the dialog exists.
class PresenceHost {
 public:
  virtual ~PresenceHost() = default;
  virtual void SetPresenceTestOpen(bool open) = 0;
};

// PresenceTestMode.
enum PresenceTestMode : int { kModeUndetermined = 0, kModeListening = 1, kModeArbitrating = 2 };

// The wait of the scan in mode 2, in ms: S = 256 x (T + 64 x b + 120 x b) / 1000, truncated, with
// T = silence x silence unit and b the bit time (µs) of the bit rate, in single precision.
std::uint32_t PresenceScanWait(const records::GENERAL_PARAM& param, const TimingTable& timing);
// The image an address shows after the scan.
unsigned PresenceResultImage(bool local, bool marked, bool present);

class CPresenceSta : public CDialog {
 public:
  static constexpr std::string_view kErrorOnNetwork = "Error on FIP Network";
  static constexpr std::string_view kNoEcho = "No echoing transmission.\nCheck connection to the bus before continuing.";
  static constexpr std::string_view kCannotStart = "Cannot start.";
  static constexpr std::string_view kCannotCreateAddressFile = "Cannot create address file";
  static constexpr std::string_view kNoChangeAllowed = "No change allowed";
  static constexpr std::uint32_t kTimerId = 1023;
  // The STARTING state is polled for at most this many start waits (W) after the first one, and at
  // least kMinStartingBoundMs: an arbitrator that never ends its election is a failure.
  static constexpr std::uint32_t kStartingBoundWaits = 3;
  static constexpr std::uint32_t kMinStartingBoundMs = 1000;
  static constexpr int kMaxArbitratorPolls = 10000;

  // The constructor sets the host's presence-test-open flag; the destructor clears it.
  CPresenceSta(PresenceHost& host, const CPlandrelDoc& document, const TimingTable& timing, CWnd* parent = nullptr,
               PresenceEngine engine = PresenceEngine::Corvix(), PresenceClock& clock = PresenceWallClock());
  ~CPresenceSta() override;

  BOOL OnInitDialog() override;
  void OnCancel() override;
  void OnTimer(UINT_PTR id) override;

  // The Start button (RunPresenceTest) and a click on address a's button (OnAddressButton).
  void RunPresenceTest();
  void OnAddressButton(int address);

  // State, for the program and tests.
  int TestMode() const { return test_mode_; }
  bool HasGrid() const { return buttons_[0] != nullptr; }
  bool PlanFromBus() const { return plan_from_bus_ != 0; }
  bool TestDone() const { return test_done_ != 0; }
  int LocalAddress() const { return settings_.local_address; }
  const AddressMap& Addresses() const { return address_map_; }
  const AddressMap& Presence() const { return presence_map_; }
  int AddressState(int address) const { return address_state_.at(static_cast<std::size_t>(address)); }
  CBitmapButton* AddressButton(int address) const { return buttons_.at(static_cast<std::size_t>(address)).get(); }
  // Redraws every address button with the image its state calls for (the end of the scan).
  void ShowResults();

 private:
  enum class TestStart { not_written, failed, running };
  // Writes the file of `kind` (WritePresenceConfiguration), runs `written`, starts the engine and
  // downloads the file, all in the file's turn of the working folder (download_turn.h); then
  // START_COMMUNICATION. not_written: the file could not be written, as the message shown said;
  // failed: the engine did not start, or the download or START_COMMUNICATION failed (the engine is
  // stopped, nothing shown).
  TestStart StartTestEngine(PresenceKind kind, const std::function<void()>& written = {});
  bool ValidateTransmissionChannel();
  // Success with the medium in use; failure with the engine stopped and the reason shown.
  bool EnableMedium(std::uint8_t command);
  bool StartTestArbitrator();
  bool DetectArbitrator();
  // False when the file could not be written or the engine failed part-way (the engine is stopped
  // and the failure shown).
  bool RunPresenceScan();
  bool ReadPresenceVariables();
  // A failure of the scan once its engine runs: the engine stopped and "Error on FIP Network".
  bool ScanFailed();
  void Fail(std::string_view text);

  void CreateGrid();
  void ShowImage(int address, unsigned image);
  void ShowLegendAfterScan();
  void SetStatus(std::string_view text);
  void SetLine(int id, std::string_view text);
  void StepProgress();
  std::uint32_t StartWait() const;

  PresenceHost& host_;
  const CPlandrelDoc& document_;
  const TimingTable& timing_;
  PresenceEngine engine_;
  PresenceClock& clock_;

  int test_mode_ = kModeUndetermined;
  int timer_running_ = 0;
  int timer_id_ = 0;
  std::array<std::unique_ptr<CBitmapButton>, kPhysicalAddresses> buttons_{};
  std::array<std::unique_ptr<CStatic>, 32> labels_{};
  AddressMap address_map_{};
  AddressMap presence_map_{};
  int test_done_ = 0;
  std::array<int, kPhysicalAddresses> address_state_{};
  int plan_from_bus_ = 0;
  PresenceSettings settings_;  // local address, turnaround, silence and padding identifier
  bool running_ = false;       // a run is under way: the dialog does not close
};

// The presence test command: the dialog, modal.
void RunPresenceTestDialog(PresenceHost& host, const CPlandrelDoc& document, const TimingTable& timing, CWnd* parent);

}  // namespace plandrel
