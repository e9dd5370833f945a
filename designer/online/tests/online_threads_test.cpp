// The on-line objects used as the session uses them: a session thread polls the variable, the
// arbitrator and pushes receptions while the main thread changes formats, opens and closes dialogs,
// writes, sends, shows and deletes entries. Run under the thread sanitizer (label concurrent).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "online/ba_control.h"
#include "online/critical_section_lock.h"
#include "online/online_message.h"
#include "online/online_variable.h"
#include "online_fixture.h"

namespace plandrel::testing {
namespace {

// The program's critical sections, ranked as the application ranks them (csEngine first), with
// the lock-order reports of debug builds recorded instead of aborting.
class ProgramLocks {
 public:
  ProgramLocks() {
    const char* names[] = {"csEngine", "csVariableFormat", "csMessageFormat", "csVariableDialog",
                           "csMessageDialog", "csMessageStack", "csBaDialog"};
    for (std::size_t i = 0; i < sections_.size(); ++i) {
      InitializeCriticalSection(&sections_[i]);
      qui::SetCriticalSectionRank(&sections_[i], i == 0 ? 0 : 1, names[i]);
      locks_.emplace_back(std::make_unique<CriticalSectionLock>(sections_[i]));
    }
    previous_ = qui::SetLockOrderHandler([this](const std::string& report) {
      std::lock_guard lock(mutex_);
      reports_.push_back(report);
    });
  }
  ~ProgramLocks() {
    qui::SetLockOrderHandler(previous_);
    for (auto& section : sections_) DeleteCriticalSection(&section);
  }
  OnlineLocks Get() { return {*locks_[0], *locks_[1], *locks_[2], *locks_[3], *locks_[4], *locks_[5], *locks_[6]}; }
  std::vector<std::string> Reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }

 private:
  std::array<CRITICAL_SECTION, 7> sections_{};
  std::vector<std::unique_ptr<CriticalSectionLock>> locks_;
  qui::LockOrderHandler previous_;
  std::mutex mutex_;
  std::vector<std::string> reports_;
};

class OnlineThreads : public OnlineOnMachine {
 protected:
  ProgramLocks program_locks;
};

TEST_F(OnlineThreads, TheSessionThreadAndTheMainThreadShareTheObjects) {
  records::Configuration c = RoadConfiguration();
  c.messages.push_back(MessageRecord("M_IN", 0x0300, kLocalOut, false));
  records::renumber_keys(c);
  Connect(c);
  TimingTable timing;
  timing.Fill();
  FakeClock clock;
  const OnlineLocks locks = program_locks.Get();

  OnlineVariable produced(*frame, locks), consumed(*frame, locks);
  ASSERT_TRUE(produced.Init(config.variables[0], 0, config.local_station));
  ASSERT_TRUE(consumed.Init(config.variables[1], 1, config.local_station));
  OnlineMessage sent(*frame, locks), received(*frame, locks);
  ASSERT_TRUE(sent.Init(true, config.messages[0], 0, config.local_station));
  ASSERT_TRUE(received.Init(true, config.messages[1], 1, config.local_station));
  BaControl ba(*frame, locks, config.param, timing, true, clock);
  ba.Start();

  std::atomic<bool> online{true};
  std::thread session([&] {
    {
      std::lock_guard engine(locks.engine);
      INIT_STORAGE();
    }
    for (int pass = 0; online; ++pass) {
      {
        std::lock_guard engine(locks.engine);
        ba.Report();
        ba.PushStateToDialog();
      }
      ba.UpdateTreeText();
      {
        std::lock_guard engine(locks.engine);
        consumed.Read();
        consumed.PublishToDialog();
      }
      consumed.UpdateTreeText();
      MES_PILE entry;
      entry.length = 1;
      entry.data = {static_cast<std::uint8_t>(pass)};
      if (!received.Push(std::move(entry))) received.NoteLostReception();
      std::this_thread::yield();
    }
    // The session thread stops the arbitrator at Disconnect.
    ba.Stop();
  });

  for (int round = 0; round < 50; ++round) {
    segment().run(kMs);
    consumed.OpenDialog();
    ba.OpenDialog();
    received.OpenDialog();
    consumed.SetFormat(round % 2 ? "%u" : "%2c");
    consumed.Reformat();
    EXPECT_EQ(produced.Write("%2h", "1 2"), kCheckOk);
    EXPECT_EQ(sent.Send("%h", "7"), kCheckOk);
    received.ShowEntry(1);
    received.DeleteEntry(1);
    ba.Continue(1);
    if (round % 3 == 0) {
      consumed.CloseDialog(true);
      ba.CloseDialog(true);
      received.CloseDialog(true);
    }
  }
  online = false;
  session.join();
  EXPECT_EQ(BaState(), kBaStopped);
  EXPECT_LE(received.StackSize(), OnlineMessage::kStackCapacity);
  EXPECT_TRUE(program_locks.Reports().empty()) << program_locks.Reports().front();
}

}  // namespace
}  // namespace plandrel::testing
