// The on-line objects used as the session uses them: a session thread polls the variable, the
// arbitrator and pushes receptions while the main thread changes formats, opens and closes dialogs,
// writes, sends, shows and deletes entries. Run under the thread sanitizer (label concurrent).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "online/ba_control.h"
#include "online/online_message.h"
#include "online/online_variable.h"
#include "online_fixture.h"

namespace plandrel::testing {
namespace {

class OnlineThreads : public OnlineOnMachine {};

TEST_F(OnlineThreads, TheSessionThreadAndTheMainThreadShareTheObjects) {
  records::Configuration c = RoadConfiguration();
  c.messages.push_back(MessageRecord("M_IN", 0x0300, kLocalOut, false));
  records::renumber_keys(c);
  Connect(c);
  TimingTable timing;
  timing.Fill();
  FakeClock clock;

  OnlineVariable produced(*frame, locks.Get()), consumed(*frame, locks.Get());
  ASSERT_TRUE(produced.Init(config.variables[0], 0, config.local_station));
  ASSERT_TRUE(consumed.Init(config.variables[1], 1, config.local_station));
  OnlineMessage sent(*frame, locks.Get()), received(*frame, locks.Get());
  ASSERT_TRUE(sent.Init(true, config.messages[0], 0, config.local_station));
  ASSERT_TRUE(received.Init(true, config.messages[1], 1, config.local_station));
  BaControl ba(*frame, locks.Get(), config.param, timing, true, clock);
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
}

}  // namespace
}  // namespace plandrel::testing
