// The board selection dialog over the simulated machine's boards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "dialog_fixture.h"
#include "base/machine_root.h"
#include "kernel/pnp.h"
#include "online/attach_to_card.h"
#include "online/online_resources.h"
#include "testing/unprivileged.h"
#include "win32/windows.h"

namespace plandrel::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

HANDLE holdPciBoard(int number) {
    const std::string name = "\\\\.\\AMBRIX" + std::to_string(number);
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                       nullptr);
}

std::vector<std::string> entries(CAttachToCard& d) {
    auto& list = d.Item<CComboBox>(IDC_DEVICE_LIST);
    std::vector<std::string> texts;
    for (int i = 0; i < list.GetCount(); ++i) texts.push_back(list.GetLBText(i));
    return texts;
}

class AttachToCard : public DialogOnMachine {
protected:
    SelectedDevice selected{0, 0};
    CAttachToCard dialog{selected};
    int userRan = 0;
};

TEST_F(AttachToCard, SingleFreeBoardIsTakenBeforeTheDialogIsSeen) {
    boot(machineOf({pc104Board(sim::kPc104SingleMediumWord)}));
    EXPECT_EQ(run<CAttachToCard>(dialog, [this](CAttachToCard&) { ++userRan; }), IDOK);
    EXPECT_EQ(userRan, 0);
    EXPECT_EQ(selected, (SelectedDevice{1, kBoardTypePc104}));
    EXPECT_TRUE(texts().empty());
}

TEST_F(AttachToCard, NoBoardEndsTheDialogWithThree) {
    boot(machineOf({}));
    EXPECT_EQ(run<CAttachToCard>(dialog, [this](CAttachToCard&) { ++userRan; }), kNoBoardResult);
    EXPECT_EQ(userRan, 0);
    EXPECT_THAT(texts(), ElementsAre(kNoDeviceText));
    EXPECT_EQ(prompts.Boxes()[0].type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(selected.board_number, 0);
}

TEST_F(AttachToCard, SingleUsedBoardIsNotListedAndOkRefuses) {
    boot(machineOf({pciBoard()}));
    const HANDLE holder = holdPciBoard(1);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const INT_PTR result = run<CAttachToCard>(dialog, [this](CAttachToCard& d) {
        ++userRan;
        EXPECT_TRUE(shown(d, IDC_NO_CARD));
        EXPECT_TRUE(entries(d).empty());
        EXPECT_FALSE(shown(d, IDC_LEDS_LABEL) || shown(d, IDC_RGB_LABEL) || shown(d, IDC_COLOUR_LIST));
        d.ClickDlgItem(IDOK);
        EXPECT_FALSE(d.IsEnded());
        d.ClickDlgItem(IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(userRan, 1);
    EXPECT_THAT(texts(), ElementsAre(kSelectUnusedText));
    EXPECT_EQ(selected.board_number, 0);
    CloseHandle(holder);
}

TEST_F(AttachToCard, UsedBoardIsListedWithItsTextAndRefused) {
    boot(machineOf({pciBoard(), pc104Board(sim::kPc104DualMediumWord, 0x280, 0x4242)}));
    const HANDLE holder = holdPciBoard(1);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const INT_PTR result = run<CAttachToCard>(dialog, [](CAttachToCard& d) {
        EXPECT_THAT(entries(d), ElementsAre("PCI #1", "PC104 #1"));
        EXPECT_FALSE(shown(d, IDC_NO_CARD));
        // The free board is highlighted, with its characteristics and its LEDs.
        EXPECT_EQ(d.Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel(), 1);
        EXPECT_EQ(d.GetDlgItemText(IDC_INDEX), "1");
        EXPECT_EQ(d.GetDlgItemText(IDC_VERSION), "v 5.3");
        EXPECT_EQ(d.GetDlgItemText(IDC_SPEED), "1 Mbps");
        EXPECT_EQ(d.GetDlgItemText(IDC_SERIAL), "0x4242");
        EXPECT_EQ(d.GetDlgItemText(IDC_SLOT_LABEL), "Address:");
        EXPECT_EQ(d.GetDlgItemText(IDC_SLOT), "0x280");
        EXPECT_TRUE(shown(d, IDC_LEDS_LABEL));
        ASSERT_NE(d.LedPanel(), nullptr);
        EXPECT_TRUE(d.LedPanel()->IsWindowVisible());
        EXPECT_FALSE(shown(d, IDC_CARD_IN_USE));

        d.SelectDlgItem(IDC_DEVICE_LIST, 0);
        EXPECT_TRUE(shown(d, IDC_CARD_IN_USE));
        EXPECT_EQ(d.GetDlgItemText(IDC_CARD_IN_USE), kCardInUseText);
        for (int id : {IDC_INDEX, IDC_VERSION, IDC_SPEED, IDC_SERIAL, IDC_SLOT, IDC_SLOT_LABEL})
            EXPECT_FALSE(shown(d, id)) << id;
        EXPECT_FALSE(shown(d, IDC_LEDS_LABEL));
        EXPECT_FALSE(d.LedPanel()->IsWindowVisible());
        d.ClickDlgItem(IDOK);
        EXPECT_FALSE(d.IsEnded());

        d.SelectDlgItem(IDC_DEVICE_LIST, 1);
        EXPECT_FALSE(shown(d, IDC_CARD_IN_USE));
        EXPECT_TRUE(shown(d, IDC_VERSION));
        d.ClickDlgItem(IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_THAT(texts(), ElementsAre(kSelectUnusedText));
    EXPECT_EQ(selected, (SelectedDevice{1, kBoardTypePc104}));
    CloseHandle(holder);
}

// Another designer holds PCI board 1's working files: the board is used; OK holds the chosen
// board's, and a board whose files are taken before OK is refused as a used one.
TEST_F(AttachToCard, BoardsWhoseWorkingFilesAnotherDesignerHoldsAreUsed) {
    boot(machineOf({pciBoard(), pc104Board()}));
    const std::filesystem::path folder = qbase::machineRoot() / "work";
    WorkingFilesHold other, mine;
    ASSERT_TRUE(other.Take(folder, kBoardTypePci, 1));
    dialog.HoldWorkingFiles(folder, mine);
    EXPECT_EQ(run<CAttachToCard>(dialog, [](CAttachToCard& d) {
                  EXPECT_THAT(entries(d), ElementsAre("PCI #1", "PC104 #1"));
                  EXPECT_EQ(d.Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel(), 1);
                  d.SelectDlgItem(IDC_DEVICE_LIST, 0);
                  EXPECT_EQ(d.GetDlgItemText(IDC_CARD_IN_USE), kCardInUseText);
                  d.ClickDlgItem(IDOK);
                  EXPECT_FALSE(d.IsEnded());
                  d.SelectDlgItem(IDC_DEVICE_LIST, 1);
                  d.ClickDlgItem(IDOK);
              }),
              IDOK);
    EXPECT_EQ(selected, (SelectedDevice{1, kBoardTypePc104}));
    EXPECT_TRUE(mine.Held());
    EXPECT_FALSE(WorkingFilesHold().Take(folder, kBoardTypePc104, 1));

    // A third designer, while PC104 board 1's files are taken between the listing and OK.
    SelectedDevice third{0, 0};
    CAttachToCard late{third};
    WorkingFilesHold lateHold;
    late.HoldWorkingFiles(folder, lateHold);
    prompts.Clear();
    mine = WorkingFilesHold();
    EXPECT_EQ(run<CAttachToCard>(late, [&](CAttachToCard& d) {
                  EXPECT_EQ(d.Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel(), 1);
                  ASSERT_TRUE(mine.Take(folder, kBoardTypePc104, 1));
                  d.ClickDlgItem(IDOK);
                  EXPECT_FALSE(d.IsEnded());
                  EXPECT_TRUE(shown(d, IDC_NO_CARD));
                  EXPECT_TRUE(entries(d).empty());
                  d.ClickDlgItem(IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_THAT(texts(), ElementsAre(kSelectUnusedText));
    EXPECT_FALSE(lateHold.Held());
}

// A working folder where the lock file cannot be made (read-only to the designer's user) holds
// nothing: the board stays this designer's, and a one-board machine starts without a word.
TEST_F(AttachToCard, AWorkingFolderThatCannotTakeTheLockFileLeavesTheBoardToThisDesigner) {
    if (const std::string why = qtesting::noUnprivilegedUser(); !why.empty()) GTEST_SKIP() << why;
    const qtesting::UnprivilegedFolder folder;
    const std::filesystem::path work = folder.path() / "work";
    std::filesystem::create_directory(work);
    folder.handOver(work, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_TRUE(qtesting::runUnprivileged([&] {
        qbase::setMachineRoot(folder.path() / "machine");
        if (!sim::bootMachine(machineOf({pc104Board()})).problems().empty()) return false;
        SelectedDevice chosen{0, 0};
        CAttachToCard single{chosen};
        WorkingFilesHold hold;
        single.HoldWorkingFiles(work, hold);
        bool seen = false;
        const INT_PTR result = run<CAttachToCard>(single, [&](CAttachToCard& d) {
            seen = true;
            d.ClickDlgItem(IDCANCEL);
        });
        for (const std::string& text : texts()) std::fprintf(stderr, "shown: %s\n", text.c_str());
        return result == IDOK && !seen && texts().empty() && chosen == SelectedDevice{1, kBoardTypePc104} &&
               !hold.Held();
    }));
    EXPECT_TRUE(std::filesystem::is_empty(work));
}

TEST_F(AttachToCard, PciBoardShowsItsSlotAndNoLedControls) {
    boot(machineOf({pciBoard(sim::kPciWord8BitEeprom, 0x1C), pc104Board()}, "2.4"));
    run<CAttachToCard>(dialog, [](CAttachToCard& d) {
        EXPECT_EQ(d.Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel(), 0);
        EXPECT_EQ(d.GetDlgItemText(IDC_SLOT_LABEL), "Slot:");
        EXPECT_EQ(d.GetDlgItemText(IDC_SLOT), "1C");
        EXPECT_TRUE(shown(d, IDC_SLOT));
        EXPECT_FALSE(shown(d, IDC_LEDS_LABEL) || shown(d, IDC_RGB_LABEL) || shown(d, IDC_COLOUR_LIST));
        EXPECT_EQ(d.LedPanel(), nullptr);
        d.PressEscape();
    });
    EXPECT_EQ(dialog.Result(), IDCANCEL);
    EXPECT_EQ(selected.board_number, 0);
}

TEST_F(AttachToCard, LampClickSwitchesTheBoardsLed) {
    boot(machineOf({pciBoard(), pc104Board()}));
    ASSERT_EQ(SetLedState(kBoardTypePc104, 1, 2, 1), 0u);  // LED 2 lit before the dialog
    run<CAttachToCard>(dialog, [this](CAttachToCard& d) {
        d.SelectDlgItem(IDC_DEVICE_LIST, 1);
        CControl3Leds* panel = d.LedPanel();
        ASSERT_NE(panel, nullptr);
        EXPECT_FALSE(panel->IsLedOn(0));
        EXPECT_FALSE(panel->IsLedOn(1));
        EXPECT_TRUE(panel->IsLedOn(2));
        // Each lamp is round: only its disc is drawn and takes the mouse.
        for (int led = 0; led < 3; ++led) {
            CRect square;
            panel->Lamp(led).GetClientRect(&square);
            const CRgn& region = panel->Lamp(led).windowRegion();
            EXPECT_EQ(region.shape, CRgn::Shape::Ellipse) << led;
            EXPECT_EQ(region.bounds.left, 0) << led;
            EXPECT_EQ(region.bounds.top, 0) << led;
            EXPECT_EQ(region.bounds.right, square.Width()) << led;
            EXPECT_EQ(region.bounds.bottom, square.Height()) << led;
            EXPECT_EQ(square.Width(), square.Height()) << led;
        }

        panel->ClickDlgItem(IDC_LED_2);  // the lamp "2": LED 1
        EXPECT_TRUE(panel->IsLedOn(1));
        EXPECT_EQ(machine().pc104Board(0).leds(), 0b110);
        panel->ClickDlgItem(IDC_LED_3);
        EXPECT_FALSE(panel->IsLedOn(2));
        EXPECT_EQ(machine().pc104Board(0).leds(), 0b010);
        panel->ClickDlgItem(IDC_LED_2);
        EXPECT_EQ(machine().pc104Board(0).leds(), 0b000);
        EXPECT_TRUE(texts().empty());
        // Escape pressed on a lamp is the dialog's.
        panel->PressEscape();
        EXPECT_TRUE(d.IsEnded());
    });
    EXPECT_EQ(dialog.Result(), IDCANCEL);
    EXPECT_EQ(selected.board_number, 0);
}

TEST_F(AttachToCard, LampClickOnABoardThatWentAwayIsReportedAndUndone) {
    boot(machineOf({pciBoard(), pc104Board()}));
    run<CAttachToCard>(dialog, [this](CAttachToCard& d) {
        d.SelectDlgItem(IDC_DEVICE_LIST, 1);
        ASSERT_NE(d.LedPanel(), nullptr);
        ASSERT_EQ(qk::pnp::surpriseRemove(machine().enumerations()[1].node), 0);
        d.LedPanel()->ClickDlgItem(IDC_LED_PANEL);
        ASSERT_EQ(texts().size(), 1u);
        EXPECT_THAT(texts()[0], HasSubstr(kLedSwitchFailed));
        EXPECT_GT(texts()[0].size(), std::string(kLedSwitchFailed).size());  // with the error's text
        EXPECT_FALSE(d.LedPanel()->IsLedOn(0));
        // The dialog stays usable: the other board can still be chosen.
        d.SelectDlgItem(IDC_DEVICE_LIST, 0);
        d.ClickDlgItem(IDOK);
    });
    EXPECT_EQ(dialog.Result(), IDOK);
    EXPECT_EQ(selected, (SelectedDevice{1, kBoardTypePci}));
}

TEST_F(AttachToCard, BoardTakenBetweenListingAndOkIsRefusedAndShownInUse) {
    boot(machineOf({pciBoard(), pc104Board()}));
    HANDLE holder = INVALID_HANDLE_VALUE;
    run<CAttachToCard>(dialog, [&](CAttachToCard& d) {
        EXPECT_EQ(d.Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel(), 0);
        holder = holdPciBoard(1);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        d.ClickDlgItem(IDOK);
        EXPECT_FALSE(d.IsEnded());
        EXPECT_THAT(texts(), ElementsAre(kSelectUnusedText));
        EXPECT_THAT(entries(d), ElementsAre("PCI #1", "PC104 #1"));
        EXPECT_EQ(d.Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel(), 0);
        EXPECT_TRUE(shown(d, IDC_CARD_IN_USE));
        EXPECT_EQ(d.GetDlgItemText(IDC_CARD_IN_USE), kCardInUseText);
        d.SelectDlgItem(IDC_DEVICE_LIST, 1);
        d.ClickDlgItem(IDOK);
    });
    EXPECT_EQ(dialog.Result(), IDOK);
    EXPECT_EQ(selected, (SelectedDevice{1, kBoardTypePc104}));
    CloseHandle(holder);
}

TEST_F(AttachToCard, BoardGoneBetweenListingAndOkIsRefusedAndDropped) {
    boot(machineOf({pciBoard(), pc104Board()}));
    run<CAttachToCard>(dialog, [&](CAttachToCard& d) {
        d.SelectDlgItem(IDC_DEVICE_LIST, 1);
        ASSERT_EQ(qk::pnp::surpriseRemove(machine().enumerations()[1].node), 0);
        d.ClickDlgItem(IDOK);
        EXPECT_FALSE(d.IsEnded());
        EXPECT_THAT(texts(), ElementsAre(kSelectUnusedText));
        EXPECT_THAT(entries(d), ElementsAre("PCI #1"));
        EXPECT_EQ(d.Item<CComboBox>(IDC_DEVICE_LIST).GetCurSel(), 0);
        d.ClickDlgItem(IDOK);
    });
    EXPECT_EQ(dialog.Result(), IDOK);
    EXPECT_EQ(selected, (SelectedDevice{1, kBoardTypePci}));
}

TEST_F(AttachToCard, ListedBoardThatDoesNotAnswerIsNotFree) {
    boot(machineOf({pciBoard(), pc104Board()}));
    run<CAttachToCard>(dialog, [&](CAttachToCard& d) {
        ASSERT_EQ(qk::pnp::surpriseRemove(machine().enumerations()[1].node), 0);
        d.SelectDlgItem(IDC_DEVICE_LIST, 1);
        EXPECT_TRUE(shown(d, IDC_CARD_IN_USE));
        EXPECT_EQ(d.GetDlgItemText(IDC_CARD_IN_USE), kCardNotFreeText);
        EXPECT_FALSE(shown(d, IDC_VERSION));
        EXPECT_FALSE(shown(d, IDC_LEDS_LABEL));
        d.ClickDlgItem(IDOK);
        EXPECT_FALSE(d.IsEnded());
        EXPECT_THAT(texts(), ElementsAre(kSelectUnusedText));
        d.PressEscape();
    });
    EXPECT_EQ(dialog.Result(), IDCANCEL);
    EXPECT_EQ(selected.board_number, 0);
}

}  // namespace
}  // namespace plandrel::testing
