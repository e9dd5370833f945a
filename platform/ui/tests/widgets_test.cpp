// Real widgets on Qt's offscreen platform: validation on focus loss before OK with the keyboard and
// the mouse, the message hook, timers and pop-ups, frames with menus, bars and child frames, modeless
// and owner-drawn dialogs, a rich edit that takes only what changed, and the "C" numeric locale.
#include <gtest/gtest.h>

#include <QAccessible>

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <atomic>
#include <clocale>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "widgets_fixture.h"

using namespace widgets_test;

namespace {

TEST_F(Widgets, EnterValidatesTheTypedValueBeforeOk) {
    qui::testing::ScriptedPrompts prompts;
    ValueDlg dlg;
    later([&] {
        QWidget* edit = dlg.widgetOf(kValue);
        edit->window()->activateWindow();
        edit->setFocus();
        QTest::keyClicks(edit, "50");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.stored, 10);
    EXPECT_EQ(dlg.validations, 1);
    // The hook saw each key once, Enter too, which the edit leaves to its dialog.
    EXPECT_EQ(std::count(app.seen.begin(), app.seen.end(), static_cast<UINT>(WM_KEYDOWN)), 3);
    ASSERT_EQ(prompts.Boxes().size(), 1u);
    EXPECT_EQ(prompts.Boxes()[0].text, "The maximum value is 10.");
}

TEST_F(Widgets, TabAndAMouseClickOnOkMoveTheFocusFirst) {
    qui::testing::ScriptedPrompts prompts;
    ValueDlg dlg;
    later([&] {
        QWidget* edit = dlg.widgetOf(kValue);
        QApplication::setActiveWindow(edit->window());
        edit->setFocus();
        QTest::keyClicks(edit, "7");
        QTest::keyClick(edit, Qt::Key_Tab);  // to the name: the value is checked (and kept)
        EXPECT_EQ(dlg.GetFocusedId(), kName);
        EXPECT_EQ(dlg.validations, 1);
        dlg.widgetOf(kValue)->setFocus();
        static_cast<QLineEdit*>(dlg.widgetOf(kValue))->setText("");
        QTest::keyClicks(dlg.widgetOf(kValue), "99");
        QTest::mouseClick(dlg.widgetOf(IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.stored, 10);
    EXPECT_EQ(dlg.validations, 2);
    EXPECT_EQ(dlg.GetDlgItemText(kName), "");
}


TEST_F(Widgets, TheHookSeesKeysFirstAndMayTakeThem) {
    qui::testing::ScriptedPrompts prompts;  // a value over 10 would ask
    ValueDlg dlg;
    later([&] {
        QWidget* edit = dlg.widgetOf(kValue);
        app.eatKeys = true;
        QTest::keyClicks(edit, "12");
        app.eatKeys = false;
        QTest::keyClicks(edit, "3");
        dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.GetDlgItemText(kValue), "3");
    // Once per key, although the edit leaves none of them to its dialog here.
    EXPECT_EQ(std::count(app.seen.begin(), app.seen.end(), static_cast<UINT>(WM_KEYDOWN)), 3);
}

TEST_F(Widgets, TimersAndPopups) {
    struct Splash : CWnd {
        int ticks = 0;
        void OnTimer(UINT_PTR id) override {
            if (id == 1 && ++ticks == 3) {
                KillTimer(1);
                DestroyWindow();
                QCoreApplication::exit(0);
            }
        }
    } splash;
    ASSERT_TRUE(splash.CreateEx(0, nullptr, nullptr, WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0, 40, 30, nullptr, 0));
    ASSERT_NE(splash.widget(), nullptr);
    EXPECT_TRUE(splash.widget()->isVisible());
    splash.SetTimer(1, 5, nullptr);
    QCoreApplication::exec();
    EXPECT_EQ(splash.ticks, 3);
    EXPECT_EQ(splash.m_hWnd, nullptr);
}

TEST_F(Widgets, NumbersUseTheCLocale) {
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(QLocale().toString(0.5), "0.5");
    EXPECT_EQ(qui::FormatString("%g", 0.5), "0.5");
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
    EXPECT_STREQ(buffer, "2.5");
}

}  // namespace

namespace {

constexpr UINT kFrame = 128, kSave = 57603, kConnect = 32783;

class Frame : public CMDIFrameWnd {
public:
    Frame() {
        MapUpdateCommand(kSave, [this](CCmdUI* ui) { ui->Enable(modified); });
        MapCommand(kConnect, [this] { ++connects; });
    }
    int OnCreate(LPCREATESTRUCT cs) override {
        CMDIFrameWnd::OnCreate(cs);
        toolBar.CreateEx(this);
        toolBar.LoadToolBar(kFrame);
        status.Create(this);
        const UINT panes[] = {ID_SEPARATOR, 1000, 1001, ID_INDICATOR_CAPS};
        status.SetIndicators(panes, 4);
        return 0;
    }
    CToolBar toolBar;
    CStatusBar status;
    bool modified = false;
    int connects = 0;
};

TEST_F(Widgets, AFrameShowsItsMenusBarsAndATreeInAChildFrame) {
    qui::RegisterMenu(kFrame, {{"&File", 0, {{"&Save\tCtrl+S", kSave}, {}, {"E&xit", ID_APP_EXIT}}},
                               {"&Tools", 0, {{"&Connect", kConnect}}}});
    qui::RegisterToolBar(kFrame, {kSave, ID_SEPARATOR, kConnect});
    qui::RegisterStrings({{kFrame, "Plandrel"}, {kSave, "Save the configuration\nSave"}, {kConnect, "Connect\nConnect"},
                          {1000, "  CH1"}});
    Frame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.ShowWindow(SW_SHOW);
    auto* main = qobject_cast<QMainWindow*>(frame.widget());
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(main->menuBar()->actions().size(), 2);

    // Opening the File menu runs the update handlers.
    QMenu* file = main->menuBar()->actions()[0]->menu();
    ASSERT_NE(file, nullptr);
    QMetaObject::invokeMethod(file, "aboutToShow");
    EXPECT_FALSE(file->actions()[0]->isEnabled());
    frame.modified = true;
    QMetaObject::invokeMethod(file, "aboutToShow");
    EXPECT_TRUE(file->actions()[0]->isEnabled());
    // Choosing an entry posts its command to the frame.
    QMenu* tools = main->menuBar()->actions()[1]->menu();
    tools->actions()[0]->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.connects, 1);

    // The idle update reaches the toolbar's buttons.
    frame.modified = false;
    frame.UpdateCommandUI();
    auto* bar = main->findChild<QToolBar*>("toolBar");
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 3);
    EXPECT_FALSE(bar->actions()[0]->isEnabled());
    EXPECT_EQ(bar->actions()[0]->toolTip(), "Save");
    frame.status.SetPaneText(1, "  CH1");
    EXPECT_NE(main->statusBar(), nullptr);

    // A tree in a child frame, lowered without activation below a second child.
    struct TreeFrame : CMDIChildWnd {};
    TreeFrame treeFrame, other;
    ASSERT_TRUE(treeFrame.Create(nullptr, "Tree", WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &frame));
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &treeFrame, 100));
    HTREEITEM root = tree.InsertItem("Network", 0, 0);
    tree.InsertItem("Station 1", 0, 0, root);
    tree.Expand(root, TVE_EXPAND);
    ASSERT_TRUE(other.Create(nullptr, "Variable", WS_CHILD | WS_VISIBLE, CRect(40, 40, 200, 150), &frame));
    treeFrame.SetWindowPos(&CWnd::wndBottom, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    QCoreApplication::processEvents();
    auto* view = qobject_cast<QTreeWidget*>(tree.widget());
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->topLevelItemCount(), 1);
    EXPECT_EQ(view->topLevelItem(0)->child(0)->text(0), "Station 1");
    RECT r{};
    ASSERT_TRUE(tree.GetItemRect(root, &r, TRUE));
    UINT flags = 0;
    EXPECT_EQ(tree.HitTest(POINT{r.left + 2, (r.top + r.bottom) / 2}, &flags), root);
    EXPECT_TRUE(flags & TVHT_ONITEM);
    if (const char* shot = std::getenv("QUORELLE_UI_SHOT")) main->grab().save(shot);
    other.DestroyWindow();
    treeFrame.DestroyWindow();
    frame.DestroyWindow();

    // A frame object deleted while its window lives takes its widgets along.
    auto gone = std::make_unique<Frame>();
    ASSERT_TRUE(gone->LoadFrame(kFrame));
    gone->ShowWindow(SW_SHOW);
    gone.reset();
    QCoreApplication::processEvents();
}

// The widget's items, depth first, as "text@depth[*]" (* on the current item).
std::string widgetDump(QTreeWidget* view) {
    std::string out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        out += item->text(0).toStdString() + "@" + std::to_string(depth) + (item == view->currentItem() ? "*" : "") + " ";
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < view->topLevelItemCount(); ++i) walk(view->topLevelItem(i), 0);
    return out;
}

std::string controlDump(const CTreeCtrl& tree) {
    std::string out;
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
        for (; item; item = tree.GetNextSiblingItem(item)) {
            out += tree.GetItemText(item) + "@" + std::to_string(depth) + (item == tree.GetSelectedItem() ? "*" : "") + " ";
            walk(tree.GetChildItem(item), depth + 1);
        }
    };
    walk(tree.GetRootItem(), 0);
    return out;
}

TEST_F(Widgets, AcceleratorsRunEnabledCommandsAndModalWindowsGiveTheFocusBack) {
    qui::RegisterMenu(kFrame, {{"&File", 0, {{"&Save\tCtrl+S", kSave}, {"&Connect\tF5", kConnect}}}});
    qui::RegisterAccelerators(kFrame, {{FVIRTKEY | FCONTROL, 'S', kSave}, {FVIRTKEY, VK_F1 + 4, kConnect}});
    qui::RegisterStrings({{kFrame, "Plandrel"}});
    Frame frame;
    int saves = 0;
    frame.MapCommand(kSave, [&] { ++saves; });
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    ASSERT_EQ(frame.accelerators().size(), 2u);
    frame.ShowWindow(SW_SHOW);
    QWidget* main = frame.widget();
    main->activateWindow();
    QCoreApplication::processEvents();

    // Through the table, then through real key presses; a disabled command does not run.
    const struct {
        std::function<void()> press;
        bool modified;
        int saves, connects;
    } cases[] = {
        {[&] { frame.TranslateAccelerator('S', FCONTROL); }, false, 0, 0},
        {[&] { frame.TranslateAccelerator('S', FCONTROL); }, true, 1, 0},
        {[&] { frame.TranslateAccelerator('S', 0); }, true, 0, 0},
        {[&] { QTest::keyClick(main, Qt::Key_S, Qt::ControlModifier); }, false, 0, 0},
        {[&] { QTest::keyClick(main, Qt::Key_S, Qt::ControlModifier); }, true, 1, 0},
        {[&] { QTest::keyClick(main, Qt::Key_F5); }, false, 0, 1},
    };
    for (const auto& c : cases) {
        saves = frame.connects = 0;
        frame.modified = c.modified;
        c.press();
        QCoreApplication::processEvents();
        EXPECT_EQ(saves, c.saves);
        EXPECT_EQ(frame.connects, c.connects);
    }

    // A message box closed with the keyboard gives the focus back to the frame, whose keys work.
    later([] {
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
    });
    frame.MessageBox("Saved", "Plandrel", MB_OK);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), main);
    frame.modified = true;
    saves = 0;
    QTest::keyClick(main, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(saves, 1);
    frame.DestroyWindow();
}

TEST_F(Widgets, ADigitsOnlyEditTakesDigitsAlone) {
    constexpr UINT kDigitsDialog = 601;
    qui::RegisterDialog({kDigitsDialog, 100, 40, "Period", "MS Shell Dlg", 8, qui::kModalFrame,
                         {{kValue, qui::ControlKind::Edit, 10, 10, 40, 12, "", qui::kNumber},
                          {IDOK, qui::ControlKind::PushButton, 10, 24, 40, 14, "OK", qui::kDefault}}});
    CDialog dlg(kDigitsDialog);
    later([&] {
        QWidget* edit = dlg.GetDlgItem(kValue)->widget();
        edit->window()->activateWindow();
        edit->setFocus();
        QTest::keyClicks(edit, "1a2-3 4");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetDlgItemText(kValue), "1234");
}

TEST_F(Widgets, ATreeWidgetFollowsEachItemChangeAtOnce) {
    qui::RegisterStrings({{kFrame, "Plandrel"}});
    qui::RegisterBitmap(1, {"2 2 1 1", "a c #ff0000", "aa", "aa"});
    qui::RegisterBitmap(2, {"2 2 1 1", "a c #0000ff", "aa", "aa"});
    Frame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.ShowWindow(SW_SHOW);
    struct TreeFrame : CMDIChildWnd {};
    TreeFrame treeFrame;
    ASSERT_TRUE(treeFrame.Create(nullptr, "Tree", WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &frame));
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 200), &treeFrame, 100));
    CImageList images;
    images.Create(2, 2, ILC_COLOR, 0, 1);
    CBitmap red, blue;
    red.LoadBitmap(1);
    blue.LoadBitmap(2);
    images.Add(&red, static_cast<CBitmap*>(nullptr));
    images.Add(&blue, static_cast<CBitmap*>(nullptr));
    tree.SetImageList(&images, TVSIL_NORMAL);
    const HTREEITEM root = tree.InsertItem("Network", 0, 1);
    const HTREEITEM a = tree.InsertItem("A", 0, 1, root);
    QCoreApplication::processEvents();  // the first showing builds the widget whole
    auto* view = qobject_cast<QTreeWidget*>(tree.widget());
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(widgetDump(view), controlDump(tree));

    // From here on each change shows without a turn of the event loop.
    HTREEITEM b = nullptr, c = nullptr;
    const struct {
        const char* what;
        std::function<void()> change;
    } steps[] = {
        {"insert last", [&] { b = tree.InsertItem("B", 0, 1, root); }},
        {"insert first", [&] { tree.InsertItem("First", 0, 1, root, TVI_FIRST); }},
        {"insert after", [&] { c = tree.InsertItem("C", 0, 1, root, a); }},
        {"insert child", [&] { tree.InsertItem("C1", 0, 1, c); }},
        {"insert sorted", [&] { tree.InsertItem("Bb", 0, 1, root, TVI_SORT); }},
        {"rename", [&] { tree.SetItemText(a, "A renamed"); }},
        {"select", [&] { tree.SelectItem(c); }},
        {"expand",
         [&] {
             tree.Expand(c, TVE_EXPAND);
             // The child is laid out at once for the geometry that hit-testing uses.
             RECT r{};
             EXPECT_TRUE(tree.GetItemRect(tree.GetChildItem(c), &r, TRUE));
             EXPECT_EQ(tree.HitTest(POINT{r.left + 1, (r.top + r.bottom) / 2}), tree.GetChildItem(c));
         }},
        {"delete the selected subtree", [&] { tree.DeleteItem(c); }},
        {"delete a leaf", [&] { tree.DeleteItem(b); }},
        {"second root", [&] { tree.InsertItem("Other", 0, 1); }},
        {"delete all", [&] { tree.DeleteAllItems(); }},
        {"insert after clearing", [&] { tree.InsertItem("Again", 0, 1); }},
    };
    for (const auto& step : steps) {
        step.change();
        EXPECT_EQ(widgetDump(view), controlDump(tree)) << step.what;
    }

    // The selected item shows its selected image; images follow SetItemImage.
    const HTREEITEM x = tree.InsertItem("X", 0, 1);
    const HTREEITEM y = tree.InsertItem("Y", 0, 1);
    const auto colour = [&](HTREEITEM item) {
        QTreeWidgetItem* shown = nullptr;
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            if (view->topLevelItem(i)->text(0).toStdString() == tree.GetItemText(item)) shown = view->topLevelItem(i);
        }
        return shown ? shown->icon(0).pixmap(2, 2).toImage().pixelColor(0, 0).name().toStdString() : std::string();
    };
    EXPECT_EQ(colour(x), "#ff0000");
    tree.SelectItem(x);
    EXPECT_EQ(colour(x), "#0000ff");
    tree.SelectItem(y);
    EXPECT_EQ(colour(x), "#ff0000");
    EXPECT_EQ(colour(y), "#0000ff");
    tree.SetItemImage(x, 1, 1);
    EXPECT_EQ(colour(x), "#0000ff");

    // With drawing held back the widget keeps what it showed; allowed again, it shows every change
    // made meanwhile at once, expanded items and the selection included, and follows each change
    // again afterwards.
    const std::string before = widgetDump(view);
    QTreeWidgetItem* const shownBefore = view->topLevelItem(0);
    tree.SetRedraw(FALSE);
    tree.DeleteAllItems();
    const HTREEITEM top = tree.InsertItem("Top", 0, 1);
    HTREEITEM last = nullptr;
    for (int i = 0; i < 50; ++i) last = tree.InsertItem(("Item " + std::to_string(i)).c_str(), 0, 1, top);
    tree.InsertItem("Leaf", 0, 1, last);
    tree.SetItemText(top, "Top renamed");
    tree.Expand(top, TVE_EXPAND);
    tree.SelectItem(last);
    EXPECT_EQ(widgetDump(view), before);
    EXPECT_EQ(view->topLevelItem(0), shownBefore);
    tree.SetRedraw(TRUE);
    EXPECT_EQ(widgetDump(view), controlDump(tree));
    ASSERT_EQ(view->topLevelItemCount(), 1);
    EXPECT_TRUE(view->topLevelItem(0)->isExpanded());
    EXPECT_FALSE(view->topLevelItem(0)->child(49)->isExpanded());
    tree.SetItemText(last, "Renamed after");
    EXPECT_EQ(widgetDump(view), controlDump(tree));

    // A new image list rebuilds the widget once, in the event loop.
    tree.SetImageList(&images, TVSIL_NORMAL);
    QCoreApplication::processEvents();
    EXPECT_EQ(widgetDump(view), controlDump(tree));
    treeFrame.DestroyWindow();
    frame.DestroyWindow();
}

}  // namespace

namespace {

constexpr UINT kPanel = 700, kLamp = 1021, kClose = 1030;

// A modeless, resizable dialog with an owner-drawn round lamp; it deletes itself when closed.
class Panel : public CDialog {
public:
    explicit Panel(int* alive) : CDialog(kPanel), alive_(alive) {
        ++*alive_;
        MapNotify(kClose, BN_CLICKED, [this] { DestroyWindow(); });
        MapMessage(WM_SIZE, [this](WPARAM, LPARAM l) {
            sizes.emplace_back(LOWORD(l), HIWORD(l));
            return LRESULT{0};
        });
        MapMessage(WM_LBUTTONDBLCLK, [this](WPARAM, LPARAM) {
            ++doubleClicks;
            return LRESULT{0};
        });
    }
    ~Panel() override { --*alive_; }
    void PostNcDestroy() override { delete this; }
    struct Lamp : CButton {
        int draws = 0;
        std::vector<UINT> states;
        void PreSubclassWindow() override { SetButtonStyle(BS_OWNERDRAW); }
        void DrawItem(LPDRAWITEMSTRUCT item) override {
            ++draws;
            item->pDC->FillSolidRect(&item->rcItem, GetSysColor(COLOR_BTNFACE));
            // Blue inside the inscribed circle alone.
            CRgn disc;
            disc.CreateEllipticRgn(item->rcItem.left, item->rcItem.top, item->rcItem.right, item->rcItem.bottom);
            item->pDC->SelectClipRgn(&disc);
            item->pDC->FillSolidRect(&item->rcItem, RGB(0, 0, 255));
            item->pDC->SelectClipRgn(nullptr);
            item->pDC->SetPixel(5, 5, RGB(255, 0, 0));
        }
    } lamp;
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        lamp.SubclassDlgItem(kLamp, this);
        CRgn circle;
        circle.CreateEllipticRgn(0, 0, 20, 20);
        lamp.SetWindowRgn(&circle, TRUE);
        bold.CreateFont(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
        GetDlgItem(kClose)->SetFont(&bold);
        return TRUE;
    }
    CFont bold;
    std::vector<std::pair<int, int>> sizes;
    int doubleClicks = 0;

private:
    int* alive_;
};

TEST_F(Widgets, AModelessDialogShowsOnRequestDrawsItsOwnButtonsAndMayDeleteItself) {
    qui::RegisterDialog({kPanel, 120, 60, "Data Conversion", "MS Shell Dlg", 8, qui::kResizable | qui::kSystemMenu,
                         {{kLamp, qui::ControlKind::OwnerDrawButton, 10, 10, 14, 14, "1"},
                          {kClose, qui::ControlKind::PushButton, 60, 40, 50, 14, "Close"}},
                         200, 200});
    int alive = 0;
    auto* panel = new Panel(&alive);
    ASSERT_TRUE(panel->Create(kPanel, nullptr));
    QWidget* w = panel->widget();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->isVisible());
    panel->ShowWindow(SW_SHOW);
    EXPECT_TRUE(w->isVisible());
    EXPECT_GE(w->minimumWidth(), 200);
    w->resize(300, 260);
    QCoreApplication::processEvents();
    ASSERT_FALSE(panel->sizes.empty());
    EXPECT_EQ(panel->sizes.back(), std::make_pair(300, 260));
    QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(250, 10));
    EXPECT_EQ(panel->doubleClicks, 1);

    QWidget* lamp = panel->lamp.widget();
    ASSERT_NE(lamp, nullptr);
    const QImage image = lamp->grab().toImage();
    EXPECT_GE(panel->lamp.draws, 1);
    EXPECT_EQ(image.pixelColor(5, 5), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(0, 0, 255));
    EXPECT_NE(image.pixelColor(0, 0), QColor(0, 0, 255));  // outside the clip
    EXPECT_FALSE(lamp->mask().isEmpty());
    EXPECT_TRUE(panel->GetDlgItem(kClose)->widget()->font().bold());

    // The close button destroys the dialog from inside its own click; the object deletes itself.
    QTest::mouseClick(panel->GetDlgItem(kClose)->widget(), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(alive, 0);
}

// A rich edit whose stretches the program replaces (as the variables display does with its values)
// keeps the user's scroll position and selection; the widget takes only those stretches, in UTF-8
// text whose characters and bytes differ; a text set whole is taken whole.
TEST_F(Widgets, ARichEditTakesOnlyWhatChangedAndKeepsTheScrollAndTheSelection) {
    constexpr UINT kNotes = 603;
    constexpr int kText = 400;
    qui::RegisterDialog({kNotes, 200, 120, "Notes", "MS Shell Dlg", 8, qui::kResizable | qui::kSystemMenu,
                         {{kText, qui::ControlKind::RichEdit, 5, 5, 190, 110, "", 0}}, 200, 200});
    CDialog dialog(kNotes);
    ASSERT_TRUE(dialog.Create(kNotes, nullptr));
    dialog.ShowWindow(SW_SHOW);
    CRichEditCtrl& edit = dialog.Item<CRichEditCtrl>(kText);
    edit.SetReadOnly(TRUE);
    std::string text;
    for (int i = 0; i < 300; ++i) text += " T" + std::to_string(i) + " = " + std::to_string(i * 7) + " \xC2\xB0" "C\n";
    edit.SetSel(0, -1);
    edit.ReplaceSel(text.c_str());
    CHARFORMAT bold;
    bold.dwMask = CFM_BOLD;
    bold.dwEffects = CFE_BOLD;
    edit.SetSel(1, 3);  // "T0"
    edit.SetSelectionCharFormat(bold);
    QCoreApplication::processEvents();
    auto* widget = qobject_cast<QTextEdit*>(edit.widget());
    ASSERT_NE(widget, nullptr);
    ASSERT_EQ(widget->toPlainText().toStdString(), edit.GetWindowText());

    // The user scrolls to the middle and selects "T150" there.
    const std::string word = " T150 ";
    const auto at = static_cast<LONG>(edit.GetWindowText().find(word) + 1);
    const QString shown = widget->toPlainText();
    const int unit = static_cast<int>(shown.indexOf(QStringLiteral(" T150 ")) + 1);
    QTextCursor cursor = widget->textCursor();
    cursor.setPosition(unit);
    cursor.setPosition(unit + 4, QTextCursor::KeepAnchor);
    widget->setTextCursor(cursor);
    widget->verticalScrollBar()->setValue(widget->verticalScrollBar()->maximum() / 2);
    const int top = widget->verticalScrollBar()->value();
    ASSERT_GT(top, 0);
    LONG start = 0, end = 0;
    edit.GetSel(start, end);
    EXPECT_EQ(start, at);
    EXPECT_EQ(end, at + 4);
    EXPECT_EQ(edit.GetSelText(), "T150");

    // Values before and after the selection change, some to longer or shorter texts, one with a
    // character of two bytes; the program puts the user's selection back where the text moved it.
    // A mark on lines that no change touches: a text taken whole would make new lines without it.
    for (int line : {0, 200, 290}) widget->document()->findBlockByNumber(line).setUserState(line + 1);
    LONG shift = 0;
    for (int line : {3, 100, 149, 151, 299}) {
        const std::string old = " = " + std::to_string(line * 7) + " ";
        const auto position = static_cast<LONG>(edit.GetWindowText().find(" T" + std::to_string(line) + old) +
                                                3 + std::to_string(line).size() + 3);
        const std::string value = line == 100 ? "\xC2\xB1" "1" : std::to_string(line * 70001);
        edit.SetSel(position, position + static_cast<LONG>(std::to_string(line * 7).size()));
        edit.ReplaceSel(value.c_str());
        if (line < 150) shift += static_cast<LONG>(value.size() - std::to_string(line * 7).size());
    }
    edit.SetSel(at + shift, at + shift + 4);
    QCoreApplication::processEvents();

    EXPECT_EQ(widget->toPlainText().toStdString(), edit.GetWindowText());
    EXPECT_EQ(widget->verticalScrollBar()->value(), top);
    EXPECT_EQ(widget->textCursor().selectedText().toStdString(), "T150");
    for (int line : {0, 200, 290}) EXPECT_EQ(widget->document()->findBlockByNumber(line).userState(), line + 1);
    QTextCursor first(widget->document());
    first.setPosition(2);
    EXPECT_GE(first.charFormat().fontWeight(), QFont::Bold);  // "T0" stays bold

    // A text set as a whole reaches the widget whole.
    edit.SetWindowText("new\ntext");
    edit.SetSel(0, 0);
    edit.ReplaceSel(" ");
    QCoreApplication::processEvents();
    EXPECT_EQ(widget->toPlainText().toStdString(), " new\ntext");
    dialog.DestroyWindow();
}

TEST_F(Widgets, TheMdiClientRectangleFollowsTheFrame) {
    qui::RegisterMenu(kFrame, {{"&File", 0, {{"E&xit", ID_APP_EXIT}}}});
    CMDIFrameWnd frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.ShowWindow(SW_SHOW);
    frame.widget()->resize(640, 480);
    QCoreApplication::processEvents();
    RECT client{};
    ASSERT_TRUE(GetClientRect(frame.m_hWndMDIClient, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_GT(client.right, 600);
    EXPECT_LT(client.bottom, 480);  // below the menu bar
    EXPECT_GT(client.bottom, 300);
    frame.DestroyWindow();
    EXPECT_FALSE(GetClientRect(reinterpret_cast<HWND>(0x99), &client));
}

// A child frame with a caption gets the title bar buttons and the border its style asks for, and
// Ctrl+F4 closes it as its close box does; a multi-line edit keeps the line it shows at the top
// when its text changes.
TEST_F(Widgets, AChildFrameFollowsItsStyleAndAnEditKeepsItsTopLine) {
    qui::RegisterMenu(kFrame, {{"&File", 0, {{"E&xit", ID_APP_EXIT}}}});
    CMDIFrameWnd frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.ShowWindow(SW_SHOW);
    struct Child : CMDIChildWnd {
        int closes = 0;
        void OnClose() override {
            ++closes;
            CMDIChildWnd::OnClose();
        }
    };
    constexpr DWORD kFixed = WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    Child fixed, sizable;
    ASSERT_TRUE(fixed.Create(nullptr, "Fixed", kFixed, CRect(0, 0, 200, 100), &frame));
    ASSERT_TRUE(sizable.Create(nullptr, "Sizable", kFixed | WS_THICKFRAME | WS_MAXIMIZEBOX, CRect(20, 20, 220, 120), &frame));
    auto* fixedWidget = qobject_cast<QMdiSubWindow*>(fixed.widget());
    auto* sizableWidget = qobject_cast<QMdiSubWindow*>(sizable.widget());
    ASSERT_TRUE(fixedWidget && sizableWidget);
    EXPECT_TRUE(fixedWidget->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(fixedWidget->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(fixedWidget->windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    EXPECT_TRUE(sizableWidget->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(sizableWidget->windowFlags() & Qt::MSWindowsFixedSizeDialogHint);

    // The frame around a client rectangle: the border on each side and the title bar above.
    CRect outer(0, 0, 100, 50);
    ASSERT_TRUE(AdjustWindowRect(&outer, kFixed, FALSE));
    EXPECT_LT(outer.left, 0);
    EXPECT_EQ(outer.right - 100, -outer.left);
    EXPECT_LT(outer.top, outer.left);

    auto* close = fixedWidget->findChild<QShortcut*>();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->key(), QKeySequence(Qt::CTRL | Qt::Key_F4));
    emit close->activated();
    QCoreApplication::processEvents();
    EXPECT_EQ(fixed.closes, 1);
    EXPECT_EQ(fixed.m_hWnd, nullptr);

    qui::RegisterDialog({kPanel, 120, 60, "Notes", "MS Shell Dlg", 8, qui::kModalFrame,
                         {{kValue, qui::ControlKind::Edit, 5, 5, 100, 30, "", qui::kMultiLine | qui::kVerticalScroll}}});
    CDialog notes(kPanel);
    ASSERT_TRUE(notes.Create(kPanel, nullptr));
    notes.ShowWindow(SW_SHOW);
    const auto lines = [](char letter) {
        std::string text;
        for (int i = 0; i < 40; ++i) text += std::string(1, letter) + std::to_string(i) + "\n";
        return text;
    };
    notes.SetDlgItemText(kValue, lines('a').c_str());
    auto* edit = qobject_cast<QPlainTextEdit*>(notes.GetDlgItem(kValue)->widget());
    ASSERT_NE(edit, nullptr);
    QCoreApplication::processEvents();
    edit->verticalScrollBar()->setValue(12);
    notes.SetDlgItemText(kValue, lines('b').c_str());
    QCoreApplication::processEvents();
    EXPECT_EQ(edit->verticalScrollBar()->value(), 12);
    notes.DestroyWindow();
    sizable.DestroyWindow();
    frame.DestroyWindow();
}

// ShowWindow's commands do what they say to a child frame's widget: a frame the user minimised is
// restored by SW_RESTORE, and each change of state reaches the frame as WM_SIZE.
TEST_F(Widgets, ShowWindowMinimisesMaximisesAndRestoresAChildFrame) {
    qui::RegisterMenu(kFrame, {{"&File", 0, {{"E&xit", ID_APP_EXIT}}}});
    CMDIFrameWnd frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.ShowWindow(SW_SHOW);
    struct Child : CMDIChildWnd {
        Child() {
            MapMessage(WM_SIZE, [this](WPARAM type, LPARAM) -> LRESULT {
                sizes.push_back(type);
                return 0;
            });
        }
        std::vector<WPARAM> sizes;
    };
    Child child;
    ASSERT_TRUE(child.Create(nullptr, "Temperature, consumed.", WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                             CRect(10, 10, 210, 110), &frame));
    auto* sub = qobject_cast<QMdiSubWindow*>(child.widget());
    ASSERT_NE(sub, nullptr);
    const QRect normal = sub->geometry();
    const auto lastSize = [&child] { return child.sizes.empty() ? WPARAM(99) : child.sizes.back(); };

    sub->showMinimized();  // the user's minimise box
    EXPECT_TRUE(child.IsIconic());
    EXPECT_EQ(lastSize(), WPARAM(SIZE_MINIMIZED));
    child.ShowWindow(SW_SHOW);  // showing keeps the state
    EXPECT_TRUE(sub->isMinimized());
    child.ShowWindow(SW_RESTORE);
    EXPECT_FALSE(sub->isMinimized());
    EXPECT_FALSE(child.IsIconic());
    EXPECT_EQ(sub->geometry(), normal);
    EXPECT_EQ(lastSize(), WPARAM(SIZE_RESTORED));

    child.ShowWindow(SW_MINIMIZE);
    EXPECT_TRUE(sub->isMinimized());
    EXPECT_TRUE(child.IsIconic());
    child.ShowWindow(SW_SHOWMAXIMIZED);
    EXPECT_TRUE(sub->isMaximized());
    EXPECT_FALSE(child.IsIconic());
    EXPECT_EQ(lastSize(), WPARAM(SIZE_MAXIMIZED));
    child.ShowWindow(SW_SHOWNORMAL);
    EXPECT_FALSE(sub->isMaximized());
    EXPECT_EQ(sub->geometry(), normal);

    child.ShowWindow(SW_HIDE);
    EXPECT_FALSE(sub->isVisible());
    child.ShowWindow(SW_SHOW);
    EXPECT_TRUE(sub->isVisible());
    child.DestroyWindow();
    frame.DestroyWindow();
}

// Radio buttons, and check boxes used as an exclusive pair, are radio buttons to assistive
// technology; the program still sets every check: it may clear both of a group, a click on a checked
// radio leaves it checked, a paired box toggles, and a group does not reach into the next one.
TEST_F(Widgets, ExclusiveGroupsAreRadioButtonsThatTheProgramChecks) {
    constexpr UINT kGroups = 602;
    constexpr int kOn = 1101, kOff = 1102, kTrue = 1103, kFalse = 1104, kYes = 1105, kNo = 1106, kPlain = 1107;
    qui::RegisterDialog({kGroups, 160, 80, "Groups", "MS Shell Dlg", 8, qui::kModalFrame,
                         {{kOn, qui::ControlKind::RadioButton, 5, 5, 40, 10, "On", qui::kGroup},
                          {kOff, qui::ControlKind::RadioButton, 5, 17, 40, 10, "Off"},
                          {kTrue, qui::ControlKind::RadioButton, 50, 5, 40, 10, "True", qui::kGroup},
                          {kFalse, qui::ControlKind::RadioButton, 50, 17, 40, 10, "False"},
                          {kYes, qui::ControlKind::CheckBox, 95, 5, 40, 10, "Yes", qui::kPairedBox | qui::kGroup},
                          {kNo, qui::ControlKind::CheckBox, 95, 17, 40, 10, "No", qui::kPairedBox},
                          {kPlain, qui::ControlKind::CheckBox, 5, 40, 60, 10, "Plain", qui::kGroup}}});
    CDialog dialog(kGroups);
    ASSERT_TRUE(dialog.Create(kGroups, nullptr));
    dialog.ShowWindow(SW_SHOW);
    const auto widget = [&dialog](int id) { return qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id)->widget()); };
    const auto role = [&widget](int id) { return QAccessible::queryAccessibleInterface(widget(id))->role(); };
    for (int id : {kOn, kOff, kTrue, kFalse, kYes, kNo}) EXPECT_EQ(role(id), QAccessible::RadioButton) << id;
    EXPECT_EQ(role(kPlain), QAccessible::CheckBox);

    dialog.CheckRadioButton(kOn, kOff, kOn);
    dialog.CheckRadioButton(kTrue, kFalse, kFalse);
    EXPECT_TRUE(widget(kOn)->isChecked());  // another group's check leaves this one
    dialog.CheckDlgButton(kOn, BST_UNCHECKED);
    EXPECT_FALSE(widget(kOn)->isChecked());
    EXPECT_FALSE(widget(kOff)->isChecked());
    dialog.CheckDlgButton(kOff, BST_CHECKED);
    widget(kOff)->click();
    EXPECT_TRUE(widget(kOff)->isChecked());
    EXPECT_EQ(dialog.IsDlgButtonChecked(kOff), UINT(BST_CHECKED));
    EXPECT_TRUE(widget(kFalse)->isChecked());

    dialog.CheckDlgButton(kYes, BST_CHECKED);
    widget(kYes)->click();  // a paired box toggles as a check box does
    EXPECT_EQ(dialog.IsDlgButtonChecked(kYes), UINT(BST_UNCHECKED));
    EXPECT_FALSE(widget(kYes)->isChecked());
    widget(kNo)->click();
    EXPECT_TRUE(widget(kNo)->isChecked());
    EXPECT_TRUE(widget(kOff)->isChecked());
    dialog.DestroyWindow();
}

// No text is cut or set apart: a list box shows whole lines (the last scroll into view), and a
// message box without an icon writes its text from its left margin, not beside an empty place.
TEST_F(Widgets, ListLinesAndMessageTextsAreWhole) {
    constexpr UINT kCommands = 603;
    constexpr int kList = 1111;
    qui::RegisterDialog({kCommands, 220, 90, "Commands", "MS Shell Dlg", 8, qui::kModalFrame,
                         {{kList, qui::ControlKind::ListBox, 14, 11, 192, 62, "", qui::kVerticalScroll}}});
    CDialog dialog(kCommands);
    ASSERT_TRUE(dialog.Create(kCommands, nullptr));
    dialog.ShowWindow(SW_SHOW);
    auto* box = dynamic_cast<CListBox*>(dialog.GetDlgItem(kList));
    ASSERT_NE(box, nullptr);
    for (int i = 0; i < 8; ++i) box->AddString(("Command " + std::to_string(i)).c_str());
    auto* list = qobject_cast<QListWidget*>(box->widget());
    ASSERT_NE(list, nullptr);
    const int inside = list->height() - 2 * list->frameWidth();
    EXPECT_GT(inside, 0);
    EXPECT_EQ(inside % list->sizeHintForRow(0), 0) << inside << " " << list->sizeHintForRow(0);
    dialog.DestroyWindow();

    int textLeft = -1, margin = -1;
    later([&] {
        auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!message) return;
        for (QLabel* label : message->findChildren<QLabel*>())
            if (label->text().startsWith("Variable access key error :")) textLeft = label->x();
        margin = message->layout()->contentsMargins().left();
        QTest::keyClick(message, Qt::Key_Return);
    });
    CWnd owner;
    EXPECT_EQ(owner.MessageBox("Variable access key error :\n\tAbort session.", "Plandrel", MB_OK), IDOK);
    EXPECT_GE(textLeft, margin);
    EXPECT_LE(textLeft, 2 * margin);
}

// Menus made again (the menu bar drawn again, a popup opened again) leave no menu widgets behind.
TEST_F(Widgets, MenusMadeAgainKeepNoOldMenus) {
    qui::RegisterMenu(kFrame, {{"&File", 0, {{"E&xit", ID_APP_EXIT}}},
                               {"&Tools", 0, {{"&Connect", kConnect}, {"&More", 0, {{"&Save", kSave}}}}}});
    Frame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.ShowWindow(SW_SHOW);
    QMenuBar* bar = qobject_cast<QMainWindow*>(frame.widget())->menuBar();
    const auto menus = [bar] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return bar->findChildren<QMenu*>().size();
    };
    const auto before = menus();
    EXPECT_EQ(before, 3);  // File, Tools and its More
    for (int i = 0; i < 5; ++i) {
        frame.DrawMenuBar();
        QMetaObject::invokeMethod(bar->actions()[1]->menu(), "aboutToShow");
    }
    EXPECT_EQ(menus(), before);
    frame.DestroyWindow();
}

}  // namespace
