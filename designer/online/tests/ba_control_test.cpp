// BaControl: the start wait, the state texts, the commands over the real engine (the waits run
// the simulated bus), and the start's retry and the failure texts with a scripted engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "online/ba_control.h"
#include "online/error_text.h"
#include "online_fixture.h"

namespace plandrel::testing {
namespace {

struct WaitCase {
  std::uint16_t speed;
  std::uint8_t clock_multiplier;
  std::uint16_t silence;
  std::int32_t start_delay;
  std::int32_t election_count;
  std::uint32_t wait;
};

void PrintTo(const WaitCase& c, std::ostream* os) {
  *os << "speed " << c.speed << (c.clock_multiplier ? " multiplied" : "") << " silence " << c.silence << " delay "
      << c.start_delay << " election " << c.election_count;
}

class BaStartWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(BaStartWaitTest, IsTheTruncatedSumInSinglePrecision) {
  const WaitCase& c = GetParam();
  records::GENERAL_PARAM p = records::new_general_param();
  records::set_speed(p, c.speed);
  p.clock_multiplier = c.clock_multiplier;
  p.silence = c.silence;
  p.start_delay = c.start_delay;
  p.election_count = c.election_count;
  TimingTable timing;
  timing.Fill();
  EXPECT_EQ(BaStartWait(p, timing), c.wait);
}

INSTANTIATE_TEST_SUITE_P(
    Params, BaStartWaitTest,
    ::testing::Values(WaitCase{0, 0, 22, 8712, 518, 207933},  // 196263.94 + 11669.5
                      WaitCase{1, 0, 22, 8712, 518, 1015},    // 958.32 + 56.98
                      WaitCase{1, 1, 22, 8712, 518, 6497},    // 6133.25 + 364.67 with the 32 us unit
                      WaitCase{2, 0, 10, 100, 0, 12},         // 12.8 us: 12.8 ms
                      WaitCase{1, 0, 0, 8712, 518, 0}, WaitCase{1, 0, 22, -8712, -518, 0},
                      WaitCase{0, 0, 0xFFFF, std::numeric_limits<std::int32_t>::max(), 0,
                               std::numeric_limits<std::uint32_t>::max()},
                      WaitCase{7, 0, 22, 8712, 518, 1015}));  // a damaged speed: the new configuration's

TEST(BaStateTextTest, NamesStates8To15Only) {
  const std::vector<std::string> names = {"SENDING", "STOPPED", "STARTING", "IDLE",
                                          "MSG_WND", "APER_WND", "WAIT",     "PENDING"};
  for (std::uint8_t s = 0; s < 8; ++s) EXPECT_EQ(BaStateText(s), "") << int{s};
  for (std::uint8_t s = 8; s < 16; ++s) EXPECT_EQ(BaStateText(s), names[s - 8u]);
  EXPECT_EQ(BaStateText(0x19), "");
}

class BaOnMachine : public OnlineOnMachine {
 protected:
  void Open(std::vector<std::string> program, std::vector<std::string> program2 = {}) {
    Connect(RoadConfiguration(std::move(program), std::move(program2)));
    timing.Fill();
    clock.on_sleep = [this](std::uint32_t ms) { segment().run(static_cast<sim::Nanoseconds>(ms) * kMs); };
    ba = std::make_unique<BaControl>(*frame, locks.Get(), config.param, timing, true, clock);
  }
  void SessionPass() {
    {
      std::lock_guard engine(locks.engine);
      ba->Report();
      ba->PushStateToDialog();
    }
    ba->UpdateTreeText();
  }

  TimingTable timing;
  FakeClock clock;
  std::unique_ptr<BaControl> ba;
};

TEST_F(BaOnMachine, StartWaitsForTheBusAndStopStopsIt) {
  Open({"ID_DAT(100)", "WAIT(A0)"});
  EXPECT_EQ(ba->Item(), frame->ItemWithData(1));
  EXPECT_EQ(ba->StartWord(), config.param.padding_identifier);
  ba->OpenDialog();
  const auto dialog = frame->dialogs.at(0);
  EXPECT_EQ(dialog->kind, "ba own");

  SessionPass();
  EXPECT_EQ(ba->State(), kBaStopped);
  EXPECT_EQ(frame->Text(ba->Item()), "Local bus arbitrator (STOPPED)");
  EXPECT_EQ(dialog->text, "STOPPED");
  EXPECT_EQ(dialog->posted.back().first, WM_FIP_BA_STATE);

  ba->Start();
  // Nothing answers on this bus (0x100 has no value yet): the board's arbitrator gives up its first,
  // silent macrocycle and the start's retry takes the bus.
  EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{1015, 1015}));
  EXPECT_NE(ba->State(), kBaStopped);
  EXPECT_EQ(frame->Text(ba->Item()), "Local bus arbitrator (" + std::string(ba->StateText()) + ")");
  EXPECT_EQ(dialog->text, ba->StateText());
  EXPECT_TRUE(frame->messages.empty());

  ba->Start();
  EXPECT_EQ(clock.sleeps.size(), 2u) << "a running arbitrator is not started again";

  ba->Stop();
  EXPECT_EQ(ba->State(), kBaStopped);
  EXPECT_EQ(BaState(), kBaStopped);
  EXPECT_EQ(frame->Text(ba->Item()), "Local bus arbitrator (STOPPED)");
  ba->Stop();
  EXPECT_TRUE(frame->messages.empty()) << "stopping a stopped arbitrator only refreshes";

  ba->CloseDialog(true);
  EXPECT_TRUE(dialog->frame_closed && dialog->destroyed);
}

TEST_F(BaOnMachine, ContinueGoesOnAfterTheSuspendedBlockAndChangeSwitchesSequence) {
  Open({"ID_DAT(100)", "SUSPEND(2A)", "WAIT(A0)"}, {"ID_DAT(200)", "WAIT(A0)"});
  std::int16_t address1 = 0, address2 = 0;
  GET_BA_PROGRAM_ADDR(&address1, &address2);
  EXPECT_EQ(ba->SequenceAddress(), address1);

  ba->Continue(1);
  EXPECT_EQ(ba->SequenceAddress(), address1) << "not pending: nothing sent, the address kept";

  ba->Start();
  segment().run(kCycle);
  SessionPass();
  EXPECT_EQ(ba->State(), kBaPending);
  std::uint16_t suspended = 0;
  for (const auto& e : PollEvents()) {
    if (e.kind == 3) {
      ba->OnEvent(e.identifier);
      suspended = e.identifier;
    }
  }
  ASSERT_NE(suspended, 0);
  EXPECT_EQ(ba->SequenceAddress(), suspended + 16);

  ba->Continue(2);
  EXPECT_TRUE(frame->messages.empty());
  EXPECT_EQ(ba->SequenceAddress(), static_cast<std::uint16_t>(address2)) << "the sequence asked for next";

  ba->Change(2);
  EXPECT_TRUE(frame->messages.empty());
  ba->Stop();
  EXPECT_EQ(BaState(), kBaStopped);
}

// The engine's answers scripted: each call takes the next result of its list (the last repeats).
struct Script {
  std::vector<std::uint32_t> start_results = {0};
  std::vector<std::uint8_t> states = {kBaStopped};
  std::uint32_t stop_result = 0;
  std::uint32_t continue_result = 0;
  std::uint32_t change_result = 0;
  std::vector<std::string> calls;
  std::size_t starts = 0, reports = 0;
};

BaEngine Scripted(Script& s) {
  auto next = [](const auto& list, std::size_t& i) { return list[std::min(i++, list.size() - 1)]; };
  return {[&s, next](std::uint8_t* state) {
            s.calls.push_back("report");
            *state = next(s.states, s.reports);
            return 0u;
          },
          [&s, next](std::uint16_t) {
            s.calls.push_back("start");
            return next(s.start_results, s.starts);
          },
          [&s] {
            s.calls.push_back("stop");
            return s.stop_result;
          },
          [&s](std::uint8_t, std::uint16_t) {
            s.calls.push_back("continue");
            return s.continue_result;
          },
          [&s](std::uint16_t) {
            s.calls.push_back("change");
            return s.change_result;
          },
          [](std::int16_t* a1, std::int16_t* a2) {
            *a1 = 0x2800;
            *a2 = 0x2840;
            return 0u;
          }};
}

class ScriptedBa : public ::testing::Test {
 protected:
  ScriptedBa() : config(RoadConfiguration()), frame(config) { timing.Fill(); }
  BaControl& Make() {
    ba = std::make_unique<BaControl>(frame, locks.Get(), config.param, timing, false, clock, Scripted(script));
    script.calls.clear();
    return *ba;
  }

  records::Configuration config;
  FakeFrame frame;
  TestLocks locks;
  TimingTable timing;
  FakeClock clock;
  Script script;
  std::unique_ptr<BaControl> ba;
};

TEST_F(ScriptedBa, ARefusedStartIsRetriedAtOnce) {
  script.start_results = {0x30000001, 0};
  script.states = {kBaStopped, kBaSending};
  Make().Start();
  EXPECT_EQ(script.calls, (std::vector<std::string>{"report", "start", "start", "report"}));
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>{1015});
  EXPECT_TRUE(frame.messages.empty());
  EXPECT_EQ(frame.Text(ba->Item()), "Local bus arbitrator (SENDING)");
}

TEST_F(ScriptedBa, AnArbitratorStillStoppedIsStartedOnceMoreThenBlamedOnThePhysicalLayer) {
  script.states = {kBaStopped};
  Make().Start();
  EXPECT_EQ(script.calls, (std::vector<std::string>{"report", "start", "report", "start", "report"}));
  EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{1015, 1015}));
  EXPECT_EQ(frame.messages, std::vector<std::string>{"Cannot start : physical layer problem."});
}

TEST_F(ScriptedBa, TwoRefusedStartsShowTheEngineText) {
  script.start_results = {0x3000002B};
  Make().Start();
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_EQ(frame.messages, std::vector<std::string>{ErrorText(0x3000002B, "Cannot start.")});
  EXPECT_NE(frame.messages[0], "Cannot start.");
}

TEST_F(ScriptedBa, StateGuards) {
  struct Case {
    std::uint8_t state;
    bool stops;
  };
  for (const Case c : {Case{0, false}, Case{kBaStopped, false}, Case{kBaStarting, false}, Case{kBaSending, true},
                       Case{kBaIdle, true}, Case{kBaPending, true}}) {
    script = Script{};
    script.states = {c.state, kBaStopped};
    Make().Stop();
    EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(), "stop"), c.stops ? 1 : 0) << int{c.state};
    script.calls.clear();
    script.states = {c.state, kBaSending};
    script.reports = 0;
    ba->Start();
    EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(), "start"), c.state == kBaStopped ? 1 : 0);
  }
  EXPECT_TRUE(frame.messages.empty());
}

TEST_F(ScriptedBa, FailedCommandsShowTheirOwnTextWhenTheEngineHasNone) {
  // A code with no text in the error library gets the command's own words.
  const std::uint32_t silent = 0x1FFFFFFF;  // a platform code without a text
  ASSERT_EQ(ErrorText(silent, "none"), "none");
  script.states = {kBaPending};
  script.stop_result = script.continue_result = script.change_result = silent;
  Make();
  const int texts = frame.text_updates;
  ba->Stop();
  EXPECT_EQ(frame.text_updates, texts) << "a failed stop refreshes nothing";
  ba->Continue(1);
  ba->Change(2);
  EXPECT_EQ(frame.messages, (std::vector<std::string>{"Cannot stop.", "Cannot continue the sequence.", "Cannot toggle."}));
  EXPECT_EQ(frame.text_updates, texts + 2) << "continue and change refresh after their text";
}

// Every error box shows while csEngine is free: the session thread goes on reading meanwhile.
TEST_F(ScriptedBa, ErrorBoxesLeaveTheEngineLockFree) {
  std::vector<bool> held;
  frame.on_message = [&] { held.push_back(locks.engine.Held()); };
  script.start_results = {0x3000002B};  // refused twice
  Make().Start();
  script = Script{};  // started, but still stopped after each wait
  ba->Start();
  script.states = {kBaPending};
  script.stop_result = script.continue_result = script.change_result = 0x3000002B;
  ba->Stop();
  ba->Continue(1);
  ba->Change(2);
  EXPECT_EQ(frame.messages.size(), 5u);
  EXPECT_EQ(held, std::vector<bool>(5, false));
}

TEST_F(ScriptedBa, TheEndOfASequenceGoesOnWithTheSequenceTheDialogShows) {
  Make().OnEvent(0);
  EXPECT_EQ(ba->SequenceAddress(), 0x2800) << "no dialog";
  ba->OnEvent(0x2810);
  EXPECT_EQ(ba->SequenceAddress(), 0x2820);

  ba->OpenDialog();
  frame.live_window = frame.dialogs.at(0)->window;
  frame.sequence_answer = 2;
  ba->OnEvent(0);
  EXPECT_EQ(ba->SequenceAddress(), 0x2840);
  EXPECT_EQ(frame.sent, std::vector<std::uint32_t>{WM_FIP_BA_SEQUENCE});
  frame.live_window = 0;  // the dialog went in between
  ba->OnEvent(0);
  EXPECT_EQ(ba->SequenceAddress(), 0x2800);
}

}  // namespace
}  // namespace plandrel::testing
