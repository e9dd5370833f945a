// Connect and Disconnect again and again, with dialogs open: each session leaves nothing behind it
// (run under the address sanitizer, its leak check at the end sees what a session kept; the
// resident size with the widgets is plandrel_online_dialogs_bench's).
#include <gtest/gtest.h>

#include "session_fixture.h"

namespace plandrel {
namespace {

using namespace testing;

TEST_F(SessionTest, FiftyConnectDisconnectCyclesLeaveTheDesignerAsBefore) {
  Start(examples::first_network());
  const std::size_t fip_entries = FipPopup()->GetMenuItemCount();
  const std::size_t children = frame().MDIChildren().size();
  for (int cycle = 1; cycle <= 50; ++cycle) {
    ASSERT_TRUE(Connect()) << cycle;
    session()->OpenVariableDialog(kTemperature);
    session()->OpenMessageDialog(kCommand);
    session()->OpenMediumDialog();
    // One closed by the user, its close still to be served when the session ends.
    frame().MDIChildren().back()->SendMessage(WM_CLOSE);
    ASSERT_TRUE(PumpUntil([&] { return session()->PassTimes().passes >= 2; })) << cycle;
    ASSERT_TRUE(EndBy([this] { frame().RunCommand(kCmdDisconnect); })) << cycle;
    ASSERT_EQ(frame().MDIChildren().size(), children) << cycle;
    ASSERT_EQ(FipPopup()->GetMenuItemCount(), fip_entries) << cycle;
    ASSERT_EQ(VariableText(kTemperature), "Temperature") << cycle;
  }
  EXPECT_TRUE(prompts_.Boxes().empty()) << prompts_.Boxes().front().text;
}

}  // namespace
}  // namespace plandrel
