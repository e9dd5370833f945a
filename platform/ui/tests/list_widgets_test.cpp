// List and combo boxes on real widgets (Qt's offscreen platform): the widget shows every change of
// the lines and the selection as the state holds it, and the user's selection comes back into the
// state.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <functional>
#include <string>
#include <vector>

#include "widgets_fixture.h"

using namespace widgets_test;

namespace {

constexpr UINT kLists = 710;
constexpr int kMultiple = 1101, kSingle = 1102, kSorted = 1103, kFixedCombo = 1104, kEditableCombo = 1105;

void pump() { QCoreApplication::processEvents(); }

class ListsDlg : public CDialog {
public:
    ListsDlg() : CDialog(kLists) {
        for (int id : {kMultiple, kSingle, kSorted}) MapNotify(id, LBN_SELCHANGE, [this, id] { selChanges.push_back(id); });
        MapNotify(kFixedCombo, CBN_SELCHANGE, [this] { selChanges.push_back(kFixedCombo); });
    }
    std::vector<int> selChanges;
};

// What a list box's widget shows, and what the state says it should: one text per line, "*" for a
// selected line, ">" for the caret line.
std::string widgetLines(QListWidget* l) {
    std::string out;
    for (int i = 0; i < l->count(); ++i) {
        out += l->item(i)->isSelected() ? "*" : " ";
        out += i == l->currentRow() ? ">" : " ";
        out += l->item(i)->text().toStdString() + "\n";
    }
    return out;
}
std::string stateLines(CListBox& list, QListWidget* l) {
    std::string out;
    for (int i = 0; i < list.GetCount(); ++i) {
        out += list.GetSel(i) > 0 ? "*" : " ";
        // The caret the widget shows when the list has none is the view's own.
        const int caret = list.current_ >= 0 ? list.current_ : l->currentRow();
        out += i == caret ? ">" : " ";
        out += list.GetText(i) + "\n";
    }
    return out;
}

// The dialog of the lists, made and shown for one test (in the Widgets suite, whose one Qt
// application the suite shares).
struct ShownLists {
    ShownLists() {
        using qui::ControlKind;
        qui::RegisterDialog({kLists, 330, 120, "Lists", "MS Shell Dlg", 8, qui::kModalFrame | qui::kSystemMenu,
                             {{kMultiple, ControlKind::ListBox, 7, 7, 60, 80, "", qui::kMultipleSelection},
                              {kSingle, ControlKind::ListBox, 72, 7, 60, 80, ""},
                              {kSorted, ControlKind::ListBox, 137, 7, 60, 80, "", qui::kSort | qui::kMultipleSelection},
                              {kFixedCombo, ControlKind::ComboBox, 202, 7, 60, 80, "", qui::kDropDownList},
                              {kEditableCombo, ControlKind::ComboBox, 267, 7, 60, 80, ""},
                              {IDOK, ControlKind::PushButton, 7, 100, 50, 14, "OK", qui::kDefault}}});
        dialog.Create(kLists, nullptr);
        dialog.ShowWindow(SW_SHOW);
        pump();
    }
    ~ShownLists() {
        dialog.DestroyWindow();
        pump();
    }
    QListWidget* listWidget(int id) { return qobject_cast<QListWidget*>(dialog.GetDlgItem(id)->widget()); }
    QComboBox* comboWidget(int id) { return qobject_cast<QComboBox*>(dialog.GetDlgItem(id)->widget()); }
    ListsDlg dialog;
};

TEST_F(Widgets, EachListShowsEveryChangeOfItsLinesAndSelection) {
    ShownLists shown;
    ListsDlg& dialog = shown.dialog;
    for (int id : {kMultiple, kSingle, kSorted}) {
        auto& list = dialog.Item<CListBox>(id);
        QListWidget* l = shown.listWidget(id);
        ASSERT_NE(l, nullptr);
        const struct {
            const char* what;
            std::function<void()> change;
        } steps[] = {
            {"fill", [&] { for (const char* t : {"delta", "alpha", "echo", "charlie", "bravo"}) list.AddString(t); }},
            {"insert first", [&] { list.InsertString(0, "zulu"); }},
            {"insert inside", [&] { list.InsertString(3, "mike"); }},
            {"select two", [&] { list.SetSel(1, TRUE); list.SetSel(4, TRUE); }},
            {"insert before the selection", [&] { list.InsertString(0, "oscar"); }},
            {"caret", [&] { list.SetCurSel(2); }},
            {"delete a selected line", [&] { list.DeleteString(2); }},
            {"delete the caret line", [&] { list.DeleteString(static_cast<UINT>(std::max(list.current_, 0))); }},
            {"select every line", [&] { list.SetSel(-1, TRUE); }},
            {"delete from the top", [&] { while (list.GetCount() > 3) list.DeleteString(0); }},
            {"deselect one", [&] { list.SetSel(1, FALSE); }},
            {"deselect every line", [&] { list.SetSel(-1, FALSE); }},
            {"empty", [&] { list.ResetContent(); }},
            {"fill again", [&] { for (const char* t : {"one", "two"}) list.AddString(t); list.SetCurSel(1); }},
        };
        for (const auto& step : steps) {
            step.change();
            pump();  // lines selected one at a time are shown once the step is over
            EXPECT_EQ(widgetLines(l), stateLines(list, l)) << "list " << id << ": " << step.what;
        }
    }
}

TEST_F(Widgets, TheUsersSelectionReachesTheListAndSurvivesLinesMoving) {
    ShownLists shown;
    ListsDlg& dialog = shown.dialog;
    auto& list = dialog.Item<CListBox>(kMultiple);
    QListWidget* l = shown.listWidget(kMultiple);
    for (int i = 0; i < 8; ++i) list.AddString(("line " + std::to_string(i)).c_str());
    pump();
    // Lines picked one by one, as Ctrl+click does: one selection range each.
    for (int row : {1, 3, 4, 6})
        l->selectionModel()->select(l->model()->index(row, 0), QItemSelectionModel::Select);
    l->selectionModel()->setCurrentIndex(l->model()->index(6, 0), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(list.GetSelectedIndices(), (std::vector<int>{1, 3, 4, 6}));
    EXPECT_EQ(dialog.selChanges.size(), 4u);
    // The list's own deletions then move the lines under the user's selection.
    list.DeleteString(3);
    list.DeleteString(0);
    list.InsertString(1, "new");
    pump();
    EXPECT_EQ(list.GetSelectedIndices(), (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(widgetLines(l), stateLines(list, l));
    // The program's changes send no notification.
    EXPECT_EQ(dialog.selChanges.size(), 4u);
}

TEST_F(Widgets, CombosShowTheirEntriesAndTheCurrentOneAndReportTheUsersChoice) {
    ShownLists shown;
    ListsDlg& dialog = shown.dialog;
    for (int id : {kFixedCombo, kEditableCombo}) {
        auto& combo = dialog.Item<CComboBox>(id);
        QComboBox* c = shown.comboWidget(id);
        ASSERT_NE(c, nullptr);
        const auto same = [&](const char* what) {
            ASSERT_EQ(c->count(), combo.GetCount()) << what;
            for (int i = 0; i < c->count(); ++i) EXPECT_EQ(c->itemText(i).toStdString(), combo.GetLBText(i)) << what;
            EXPECT_EQ(c->currentIndex(), combo.GetCurSel() == CB_ERR ? -1 : combo.GetCurSel()) << what;
            if (combo.IsEditable()) {
                EXPECT_EQ(c->currentText().toStdString(), combo.GetWindowText()) << what;
            }
        };
        combo.AddString("red");
        same("a first entry selects nothing");
        combo.AddString("green");
        combo.InsertString(0, "blue");
        combo.SetCurSel(2);
        same("current");
        combo.DeleteString(0);
        same("an entry before the current one");
        combo.DeleteString(1);
        same("the current entry");
        combo.SetCurSel(0);
        combo.ResetContent();
        same("emptied");
        for (const char* t : {"one", "two", "three"}) combo.AddString(t);
        same("filled again");
    }
    auto& fixed = dialog.Item<CComboBox>(kFixedCombo);
    QComboBox* c = shown.comboWidget(kFixedCombo);
    c->activated(2);  // the user's choice
    EXPECT_EQ(fixed.GetCurSel(), 2);
    EXPECT_EQ(fixed.GetWindowText(), "three");
    EXPECT_EQ(dialog.selChanges.back(), kFixedCombo);
}

}  // namespace
