// BaControl: the local bus arbitrator while the designer is on line. It reads the arbitrator's
// state for the session thread, shows it in the tree and in the BA dialog, and carries out the
// dialog's commands: start (waiting for the bus to let the arbitrator take over, with one
// retry), stop, continue a pending sequence and switch to the other sequence.
//
// Threads: Start, Continue and Change run on the main thread and hold csEngine throughout, the
// start waits included, but release it before any error box. Stop holds it only around its engine
// calls, as Disconnect calls it on the session thread, which must not send tree texts while
// holding it. Report, PushStateToDialog and
// OnEvent run on the session thread; the dialog and its open flag are guarded by csBaDialog.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "model/timing_table.h"
#include "online/online_host.h"
#include "records/general_param.h"

namespace plandrel {

// The engine's bus arbitrator calls; Corvix() gives the exports of corvix.h.
struct BaEngine {
  std::function<std::uint32_t(std::uint8_t*)> report;
  std::function<std::uint32_t(std::uint16_t)> start;
  std::function<std::uint32_t()> stop;
  std::function<std::uint32_t(std::uint8_t, std::uint16_t)> continue_sequence;
  std::function<std::uint32_t(std::uint16_t)> change;
  std::function<std::uint32_t(std::int16_t*, std::int16_t*)> program_addresses;

  static BaEngine Corvix();
};

// BaState: the low four bits of the arbitrator's report. States 8 to 15 have names.
enum BaState : std::uint8_t {
  kBaSending = 8,
  kBaStopped = 9,
  kBaStarting = 10,
  kBaIdle = 11,
  kBaMessageWindow = 12,
  kBaAperiodicWindow = 13,
  kBaWait = 14,
  kBaPending = 15,
};

// "SENDING" ... "PENDING" for states 8 to 15; empty for any other value.
std::string_view BaStateText(std::uint8_t state);

// The start wait in milliseconds: S = silence x the silence unit (µs) of the bit rate, D =
// start_delay x S / 1000, E = election_count x S / 1000, all in single precision, and D + E
// truncated toward zero. A negative or unrepresentable wait (a damaged file) is held to 0 or to
// the largest u32.
std::uint32_t BaStartWait(const records::GENERAL_PARAM& param, const TimingTable& timing);

class BaControl {
 public:
  static constexpr std::string_view kTreeText = "Local bus arbitrator";
  static constexpr std::string_view kCannotStart = "Cannot start.";
  static constexpr std::string_view kPhysicalLayerProblem = "Cannot start : physical layer problem.";
  static constexpr std::string_view kCannotStop = "Cannot stop.";
  static constexpr std::string_view kCannotContinue = "Cannot continue the sequence.";
  static constexpr std::string_view kCannotToggle = "Cannot toggle.";

  // Connect, before the session thread starts: finds the tree's local arbitrator item (the root's
  // first child when its item data is 1) and takes sequence 1's address as the address to go on.
  BaControl(OnlineFrame& frame, const OnlineLocks& locks, const records::GENERAL_PARAM& param,
            const TimingTable& timing, bool own_program, OnlineClock& clock = SystemClock(),
            BaEngine engine = BaEngine::Corvix());
  BaControl(const BaControl&) = delete;
  BaControl& operator=(const BaControl&) = delete;
  ~BaControl();

  // BA_REPORT (caller holds csEngine); a failed report gives state 0.
  std::uint8_t Report();
  std::string_view StateText() const { return BaStateText(state_); }
  // Session thread, without csEngine: "Local bus arbitrator (STATE)" or without a state text.
  void UpdateTreeText();
  // Under csEngine or alone: the state text to an open dialog (posted).
  void PushStateToDialog();

  // Main thread, under csBaDialog.
  void OpenDialog();
  void CloseDialog(bool notify);
  // The dialog that the user closed, given up (main thread); none when it is no longer this one's.
  std::unique_ptr<BaDialogLink> DetachDialog(const OnlineDialogLink* dialog);

  void Start();
  void Stop();
  void Continue(int sequence);
  void Change(int sequence);
  // Event of kind 3 (session thread): `value` is the suspended block's address, or 0 at the end
  // of a sequence, when the address to go on is the start of the sequence the dialog shows.
  void OnEvent(std::uint16_t value);

  std::uint8_t State() const { return state_; }
  std::uint16_t StartWord() const { return start_word_; }
  std::uint16_t SequenceAddress() const { return sequence_address_; }
  std::uint32_t StartWait() const { return start_wait_; }
  bool OwnProgram() const { return own_program_; }
  TreeItem Item() const { return tree_item_; }
  bool HasDialog() const { return dialog_ != nullptr; }

 private:
  // Waits, reports and tells whether the arbitrator left the stopped state.
  bool WaitForStart();
  void Refresh();
  // A failure's box (none for an empty text), shown without csEngine, so that the session
  // thread's engine calls go on while it is open.
  void ShowFailure(const std::string& text);
  std::uint16_t ProgramAddress(int sequence);

  OnlineFrame& frame_;
  OnlineLocks locks_;
  OnlineClock& clock_;
  BaEngine engine_;
  std::unique_ptr<BaDialogLink> dialog_;
  bool own_program_ = true;
  std::uint16_t start_word_ = 0;
  // Written under csEngine, read by the tree text without it.
  std::atomic<std::uint8_t> state_{0};
  std::atomic<std::uint16_t> sequence_address_{0};
  TreeItem tree_item_ = 0;
  bool dialog_open_ = false;
  std::uint32_t start_wait_ = 0;
};

}  // namespace plandrel
