// The card information dialog for the board chosen at start-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "online/attach_to_card.h"
#include "online/card_info_dlg.h"
#include "online/online_resources.h"

namespace plandrel::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class CardInfoDialog : public DialogOnMachine {};

TEST_F(CardInfoDialog, Pc104BoardWithItsLeds) {
    boot(machineOf({pciBoard(), pc104Board(sim::kPc104SingleMediumWord, 0x2A0, 0x31)}));
    CQuorelleInfoDlg dialog(SelectedDevice{1, kBoardTypePc104});
    run<CQuorelleInfoDlg>(dialog, [this](CQuorelleInfoDlg& d) {
        EXPECT_EQ(d.GetDlgItemText(IDC_BOARD_NAME), "Osprix card");
        EXPECT_EQ(d.GetDlgItemText(IDC_MAKER), "Talvenor");
        EXPECT_EQ(d.GetDlgItemText(IDC_INDEX), "1");
        EXPECT_EQ(d.GetDlgItemText(IDC_VERSION), "v 5.2b");
        EXPECT_EQ(d.GetDlgItemText(IDC_SERIAL), "0x31");
        EXPECT_EQ(d.GetDlgItemText(IDC_SLOT_LABEL), "Address:");
        EXPECT_EQ(d.GetDlgItemText(IDC_SLOT), "0x2A0");
        EXPECT_TRUE(shown(d, IDC_LEDS_LABEL));
        EXPECT_FALSE(shown(d, IDC_RGB_LABEL) || shown(d, IDC_COLOUR_LIST));
        ASSERT_NE(d.LedPanel(), nullptr);
        d.LedPanel()->ClickDlgItem(IDC_LED_PANEL);
        EXPECT_EQ(machine().pc104Board(0).leds(), 0b001);
        EXPECT_TRUE(texts().empty());
        d.ClickDlgItem(IDOK);
    });
    EXPECT_EQ(dialog.Result(), IDOK);
}

TEST_F(CardInfoDialog, PciSlotFollowsTheDriverVersion) {
    for (const auto& [version, slot] : {std::pair{"2.3", "unknown"}, std::pair{"2.4", "7"}}) {
        boot(machineOf({pciBoard(sim::kPciWord8BitEeprom, 7)}, version));
        CQuorelleInfoDlg dialog(SelectedDevice{1, kBoardTypePci});
        run<CQuorelleInfoDlg>(dialog, [&](CQuorelleInfoDlg& d) {
            EXPECT_EQ(d.GetDlgItemText(IDC_BOARD_NAME), "Ambrix card");
            EXPECT_EQ(d.GetDlgItemText(IDC_SLOT_LABEL), "Slot:");
            EXPECT_EQ(d.GetDlgItemText(IDC_SLOT), slot) << version;
            EXPECT_FALSE(shown(d, IDC_LEDS_LABEL) || shown(d, IDC_RGB_LABEL) || shown(d, IDC_COLOUR_LIST));
            d.ClickDlgItem(IDOK);
        });
        sim::shutdownMachine();
    }
}

TEST_F(CardInfoDialog, UsbBoardThatCannotBeReachedShowsEmptyFieldsAndTheFailure) {
    boot(machineOf({pciBoard()}));
    CQuorelleInfoDlg dialog(SelectedDevice{1, kBoardTypeUsb});
    run<CQuorelleInfoDlg>(dialog, [this](CQuorelleInfoDlg& d) {
        EXPECT_EQ(d.GetDlgItemText(IDC_BOARD_NAME), "Ulmrix card");
        EXPECT_EQ(d.GetDlgItemText(IDC_VERSION), "");
        EXPECT_FALSE(shown(d, IDC_SLOT));
        EXPECT_TRUE(shown(d, IDC_RGB_LABEL));
        EXPECT_EQ(d.Item<CComboBox>(IDC_COLOUR_LIST).GetCount(), 8);
        EXPECT_EQ(d.Item<CComboBox>(IDC_COLOUR_LIST).GetLBText(5), "Fuschia");
        ASSERT_EQ(texts().size(), 1u);
        EXPECT_THAT(texts()[0], HasSubstr(kRgbReadFailed));
        d.SelectDlgItem(IDC_COLOUR_LIST, 5);
        ASSERT_EQ(texts().size(), 2u);
        EXPECT_THAT(texts()[1], HasSubstr(kRgbSetFailed));
        d.ClickDlgItem(IDOK);
    });
}

TEST_F(CardInfoDialog, UsbBoardShowsAndSetsItsRgbLedColour) {
    sim::UsbBoardConfig usb;
    usb.configurationWord = sim::kUsbSingleMediumWord;
    usb.serialNumber = 0x77;
    boot(machineOf({pciBoard(), usb}));
    ASSERT_EQ(SetRgbLedState(kBoardTypeUsb, 1, 3), 0u);
    CQuorelleInfoDlg dialog(SelectedDevice{1, kBoardTypeUsb});
    run<CQuorelleInfoDlg>(dialog, [this](CQuorelleInfoDlg& d) {
        EXPECT_EQ(d.GetDlgItemText(IDC_BOARD_NAME), "Ulmrix card");
        EXPECT_EQ(d.GetDlgItemText(IDC_VERSION), "v 5.2b");
        EXPECT_EQ(d.GetDlgItemText(IDC_SERIAL), "0x77");
        EXPECT_FALSE(shown(d, IDC_SLOT) || shown(d, IDC_LEDS_LABEL));
        EXPECT_TRUE(shown(d, IDC_RGB_LABEL) && shown(d, IDC_COLOUR_LIST));
        EXPECT_EQ(d.Item<CComboBox>(IDC_COLOUR_LIST).GetCurSel(), 3);  // "Blue Sky", as the board has it
        d.SelectDlgItem(IDC_COLOUR_LIST, 5);
        EXPECT_EQ(machine().usbBoard(0).rgbLed(), 5);
        EXPECT_TRUE(texts().empty());
        d.ClickDlgItem(IDOK);
    });
    EXPECT_EQ(GetBoardVariant({1, kBoardTypeUsb}), 1);
}

TEST_F(CardInfoDialog, UnknownBoardTypeHidesTheNameLines) {
    boot(machineOf({pciBoard()}));
    CQuorelleInfoDlg dialog(SelectedDevice{1, 7});
    run<CQuorelleInfoDlg>(dialog, [](CQuorelleInfoDlg& d) {
        EXPECT_FALSE(shown(d, IDC_BOARD_NAME) || shown(d, IDC_MAKER));
        EXPECT_FALSE(shown(d, IDC_LEDS_LABEL) || shown(d, IDC_RGB_LABEL) || shown(d, IDC_COLOUR_LIST));
        d.ClickDlgItem(IDOK);
    });
}

}  // namespace
}  // namespace plandrel::testing
