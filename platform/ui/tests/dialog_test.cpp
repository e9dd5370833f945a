// Dialog logic without a display: controls by identifier, the user's actions, validation on focus
// loss before OK, and the prompts that tests script.
#include <gtest/gtest.h>

#include "ui/afxdlgs.h"
#include "ui/testing.h"

namespace {

constexpr UINT kDialog = 500;
constexpr int kValue = 1001, kName = 1002, kBox = 1003, kRadioA = 1004, kRadioB = 1005, kRadioC = 1006, kList = 1007,
              kCombo = 1008, kSave = 1009;

using qui::ControlKind;

void registerDialog() {
    qui::RegisterDialog({kDialog, 200, 120, "Settings", "MS Shell Dlg", 8, qui::kModalFrame | qui::kSystemMenu,
                         {
                             {kValue, ControlKind::Edit, 10, 10, 40, 12, "", 0},
                             {kName, ControlKind::Edit, 60, 10, 60, 12, "", 0},
                             {kBox, ControlKind::CheckBox, 10, 30, 80, 10, "Enabled", 0},
                             {kRadioA, ControlKind::RadioButton, 10, 44, 40, 10, "A", qui::kGroup},
                             {kRadioB, ControlKind::RadioButton, 10, 56, 40, 10, "B", 0},
                             {kRadioC, ControlKind::RadioButton, 60, 44, 40, 10, "C", qui::kGroup},
                             {kList, ControlKind::ListBox, 110, 30, 80, 40, "", qui::kMultipleSelection},
                             {kCombo, ControlKind::ComboBox, 110, 74, 80, 40, "", qui::kDropDownList},
                             {IDOK, ControlKind::PushButton, 40, 100, 50, 14, "OK", qui::kDefault},
                             {IDCANCEL, ControlKind::PushButton, 100, 100, 50, 14, "Cancel", 0},
                             {kSave, ControlKind::PushButton, 150, 100, 40, 14, "Save", 0},
                         }});
    qui::RegisterStrings({{1, "The maximum value is %1."}, {2, "Value %s of %s"}});
}

// A value edit that is corrected to at most 10 when it loses the focus; OK moves the focus first.
class SettingsDlg : public CDialog {
public:
    SettingsDlg() : CDialog(kDialog) {
        MapNotify(kValue, EN_KILLFOCUS, [this] { ValidateValue(); });
        MapNotify(kBox, BN_CLICKED, [this] { ++boxClicks; });
        MapNotify(kSave, BN_CLICKED, [this] { ++saves; });
        MapNotify(kList, LBN_SELCHANGE, [this] { ++listChanges; });
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetDlgItemInt(kValue, 5);
        Item<CEdit>(kName).SetLimitText(8);
        for (const char* s : {"one", "two", "three"}) Item<CListBox>(kList).AddString(s);
        auto& combo = Item<CComboBox>(kCombo);
        for (int i = 0; i < 3; ++i) combo.SetItemData(combo.AddString(("entry " + std::to_string(i)).c_str()), 100 + i);
        combo.SetCurSel(0);
        return TRUE;
    }
    void OnOK() override {
        GetDlgItem(IDOK)->SetFocus();
        stored = static_cast<int>(GetDlgItemInt(kValue));
        CDialog::OnOK();
    }
    void ValidateValue() {
        ++validations;
        BOOL ok = FALSE;
        const int v = static_cast<int>(GetDlgItemInt(kValue, &ok));
        if (ok && v <= 10) return;
        SetDlgItemInt(kValue, 10);
        std::string text;
        AfxFormatString1(text, 1, "10");
        AfxMessageBox(text.c_str());
    }
    int stored = -1, validations = 0, boxClicks = 0, saves = 0, listChanges = 0;
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { registerDialog(); }
    void TearDown() override { qui::ClearResources(); }
    qui::testing::ScriptedPrompts prompts;
};

TEST_F(DialogTest, ATypedValueIsValidatedWhenOkTakesTheFocus) {
    SettingsDlg dlg;
    qui::testing::ScriptedDialogs script([](CDialog& d) {
        d.TypeDlgItemText(kValue, "50");
        d.PressEnter();  // the default button: OK
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.validations, 1);
    EXPECT_EQ(dlg.stored, 10);
    ASSERT_EQ(prompts.Boxes().size(), 1u);
    EXPECT_EQ(prompts.Boxes()[0].text, "The maximum value is 10.");
}

TEST_F(DialogTest, ADigitsOnlyEditRefusesOtherCharacters) {
    constexpr UINT kDigitsDialog = 501;
    qui::RegisterDialog({kDigitsDialog, 100, 40, "Period", "MS Shell Dlg", 8, qui::kModalFrame,
                         {{kValue, ControlKind::Edit, 10, 10, 40, 12, "", qui::kNumber},
                          {IDOK, ControlKind::PushButton, 10, 24, 40, 14, "OK", qui::kDefault}}});
    const struct {
        const char* typed;
        const char* kept;
    } cases[] = {{"250", "250"}, {"1a2-3 ", "123"}, {"-5", "5"}, {"abc", ""}};
    for (const auto& c : cases) {
        CDialog dlg(kDigitsDialog);
        qui::testing::ScriptedDialogs script([&](CDialog& d) {
            d.TypeDlgItemText(kValue, c.typed);
            d.PressEnter();
        });
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.GetDlgItemText(kValue), c.kept) << c.typed;
    }
}

TEST_F(DialogTest, FocusMovesNotifyTheControlLeft) {
    SettingsDlg dlg;
    qui::testing::ScriptedDialogs script([](CDialog& d) {
        EXPECT_EQ(d.GetFocusedId(), kValue);  // the first control that takes the focus
        d.NextDlgCtrl();
        EXPECT_EQ(d.GetFocusedId(), kName);
        d.TypeDlgItemText(kName, "much too long");
        d.PrevDlgCtrl();
        d.PressEscape();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.validations, 1);  // left once, when the focus went to the name
    EXPECT_EQ(dlg.GetDlgItemText(kName), "much too");  // the text limit holds
}

TEST_F(DialogTest, ButtonsRadiosListsAndCombos) {
    SettingsDlg dlg;
    qui::testing::ScriptedDialogs script([&](CDialog& d) {
        d.ClickDlgItem(kBox);
        d.ClickDlgItem(kBox);
        d.ClickDlgItem(kBox);
        d.ClickDlgItem(kRadioB);
        d.ClickDlgItem(kRadioA);
        d.ClickDlgItem(kRadioC);  // another group
        d.SelectDlgItem(kList, 0);
        d.SelectDlgItem(kList, 2);
        d.SelectDlgItem(kCombo, 2);
        d.GetDlgItem(kSave)->EnableWindow(FALSE);
        d.ClickDlgItem(kSave);  // disabled: nothing
        d.GetDlgItem(kSave)->EnableWindow(TRUE);
        d.ClickDlgItem(kSave);
        d.PressEscape();
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.IsDlgButtonChecked(kBox), 1u);
    EXPECT_EQ(dlg.boxClicks, 3);
    EXPECT_EQ(dlg.GetCheckedRadioButton(kRadioA, kRadioB), kRadioA);
    EXPECT_EQ(dlg.IsDlgButtonChecked(kRadioC), 1u);
    auto& list = dlg.Item<CListBox>(kList);
    EXPECT_EQ(list.GetSelectedIndices(), (std::vector<int>{0, 2}));
    EXPECT_EQ(list.GetSelCount(), 2);
    EXPECT_EQ(dlg.listChanges, 2);
    auto& combo = dlg.Item<CComboBox>(kCombo);
    EXPECT_EQ(combo.GetCurSel(), 2);
    EXPECT_EQ(combo.GetItemData(2), 102u);
    EXPECT_EQ(dlg.saves, 1);
}

TEST_F(DialogTest, AMissingControlOrResourceGivesADefinedResult) {
    SettingsDlg dlg;
    qui::testing::ScriptedDialogs script([](CDialog& d) {
        EXPECT_EQ(d.GetDlgItem(4242), nullptr);
        EXPECT_EQ(d.GetDlgItemText(4242), "");
        EXPECT_EQ(d.GetDlgItemInt(4242), 0u);
        EXPECT_EQ(d.IsDlgButtonChecked(4242), 0u);
        d.SetDlgItemText(4242, "x");
        d.CheckDlgButton(4242, 1);
        d.ClickDlgItem(4242);
        char buffer[4] = "abc";
        EXPECT_EQ(d.GetDlgItemText(4242, buffer, 4), 0);
        EXPECT_STREQ(buffer, "");
        // The typed access gives an inert control, also for a control of another kind.
        d.Item<CListBox>(4242).AddString("kept nowhere");
        EXPECT_EQ(d.Item<CListBox>(kCombo).GetCount(), 1);
        d.PressEscape();
    });
    dlg.DoModal();
    std::string text = "x";
    EXPECT_FALSE(qui::LoadResourceString(77, text));
    EXPECT_EQ(text, "");
    std::string formatted;
    AfxFormatString1(formatted, 77, "a");
    EXPECT_EQ(formatted, "");

    // A dialog whose template is missing runs with no controls.
    CDialog empty(9999);
    qui::testing::ScriptedDialogs none([](CDialog& d) { d.PressEnter(); });
    EXPECT_EQ(empty.DoModal(), IDOK);
}

TEST_F(DialogTest, StringsAndNumbers) {
    struct Case {
        const char* pattern;
        std::initializer_list<std::string> args;
        const char* expected;
    };
    const Case cases[] = {
        {"The maximum value is %1.", {"10"}, "The maximum value is 10."},
        {"%2 before %1", {"a", "b"}, "b before a"},
        {"%1%1 and %3", {"x"}, "xx and "},
        {"100% sure", {}, "100% sure"},
    };
    for (const Case& c : cases) EXPECT_EQ(qui::FormatResourceString(c.pattern, c.args), c.expected) << c.pattern;
    EXPECT_EQ(qui::FormatString(qui::LoadResourceString(2).c_str(), "3", "4"), "Value 3 of 4");
    EXPECT_EQ(qui::FormatString("%g", 0.5), "0.5");

    SettingsDlg dlg;
    qui::testing::ScriptedDialogs script([](CDialog& d) {
        struct Int {
            const char* text;
            BOOL ok;
            int value;
        };
        for (const Int& c : {Int{"12", TRUE, 12}, Int{" -7 ", TRUE, -7}, Int{"3x", FALSE, 0}, Int{"", FALSE, 0},
                             Int{"99999999999", FALSE, 0}}) {
            d.SetDlgItemText(kName, c.text);
            BOOL ok = 2;
            EXPECT_EQ(static_cast<int>(d.GetDlgItemInt(kName, &ok)), c.value) << c.text;
            EXPECT_EQ(ok, c.ok) << c.text;
        }
        d.PressEscape();
    });
    dlg.DoModal();
}

TEST_F(DialogTest, MessageBoxesAndFileDialogsAreScripted) {
    prompts.Answer(IDNO);
    EXPECT_EQ(AfxMessageBox("Save?", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(AfxMessageBox("Again?", MB_YESNOCANCEL), IDYES);  // no script: the first button
    const auto boxes = prompts.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONQUESTION);

    prompts.ChooseFileAnswer("/tmp/values");
    CFileDialog open(TRUE, "csv", nullptr, OFN_FILEMUSTEXIST, "Files Plandrel(*.csv)|*.csv||");
    ASSERT_EQ(open.DoModal(), IDOK);
    EXPECT_EQ(open.GetPathName(), "/tmp/values.csv");
    EXPECT_EQ(open.GetFileExt(), "csv");
    CFileDialog cancelled(FALSE, "cnf");
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    ASSERT_EQ(prompts.FileRequests().size(), 2u);
    EXPECT_TRUE(prompts.FileRequests()[0].open);
    EXPECT_FALSE(prompts.FileRequests()[1].open);

    const auto filters = qui::ParseFileFilter("Files Plandrel(*.csv)|*.csv|All (*.*)|*.*||");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].second, "*.csv");
    EXPECT_EQ(filters[1].first, "All (*.*)");

    MessageBeep(MB_ICONWARNING);
    EXPECT_EQ(prompts.Beeps(), 1);
}

TEST_F(DialogTest, AValidationThatKeepsTheFocusStopsTheClick) {
    // A kill-focus handler that puts the focus back (refusing the value) cancels the button press.
    class Strict : public SettingsDlg {
    public:
        Strict() {
            MapNotify(kValue, EN_KILLFOCUS, [this] {
                if (GetDlgItemText(kValue) == "bad") GetDlgItem(kValue)->SetFocus();
            });
        }
    };
    Strict dlg;
    qui::testing::ScriptedDialogs script([](CDialog& d) {
        d.TypeDlgItemText(kValue, "bad");
        d.ClickDlgItem(kSave);
        EXPECT_EQ(d.GetFocusedId(), kValue);
        d.TypeDlgItemText(kValue, "3");
        d.ClickDlgItem(kSave);
        d.PressEscape();
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.saves, 1);
}

}  // namespace
