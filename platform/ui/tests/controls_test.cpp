// The tree control and rich text, kept apart from any widget.
#include <gtest/gtest.h>

#include "ui/afxcmn.h"

namespace {

TEST(Tree, InsertWalkAndDelete) {
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 400), nullptr, 1000));
    HTREEITEM root = tree.InsertItem("Network", 0, 1);
    HTREEITEM ba = tree.InsertItem("Local bus arbitrator", 2, 3, root);
    HTREEITEM s2 = tree.InsertItem("Station 2", 4, 5, root);
    HTREEITEM s1 = tree.InsertItem("Station 1", 4, 5, root, ba);  // after the arbitrator
    HTREEITEM s0 = tree.InsertItem("Station 0", 4, 5, root, TVI_FIRST);
    tree.SetItemData(s1, 101);
    std::vector<std::string> order;
    for (HTREEITEM i = tree.GetChildItem(root); i; i = tree.GetNextSiblingItem(i)) order.push_back(tree.GetItemText(i));
    EXPECT_EQ(order, (std::vector<std::string>{"Station 0", "Local bus arbitrator", "Station 1", "Station 2"}));
    EXPECT_EQ(tree.GetParentItem(s1), root);
    EXPECT_EQ(tree.GetItemData(s1), 101u);
    EXPECT_EQ(tree.GetPrevSiblingItem(s0), nullptr);
    EXPECT_EQ(tree.GetNextItem(s2, TVGN_PREVIOUS), s1);
    int image = 0, selected = 0;
    ASSERT_TRUE(tree.GetItemImage(ba, image, selected));
    EXPECT_EQ(image, 2);
    EXPECT_EQ(selected, 3);

    HTREEITEM var = tree.InsertItem("V1", 8, 9, s1);
    EXPECT_TRUE(tree.SelectItem(var));
    EXPECT_TRUE(tree.DeleteItem(s1));
    // Deleted handles name nothing.
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_EQ(tree.GetItemText(var), "");
    EXPECT_FALSE(tree.SetItemText(s1, "x"));
    EXPECT_EQ(tree.GetItemData(s1), 0u);
    EXPECT_EQ(tree.InsertItem("orphan", 0, 0, s1), nullptr);
    EXPECT_EQ(tree.InsertItem("after a stranger", 0, 0, root, var), nullptr);
    EXPECT_EQ(tree.GetCount(), 4u);
    EXPECT_TRUE(tree.DeleteAllItems());
    EXPECT_EQ(tree.GetRootItem(), nullptr);
}

// The tree's notifications reach handlers mapped with their full (negative) codes.
TEST(Tree, NotificationsReachTheirMappedHandlers) {
    CWnd parent;
    ASSERT_TRUE(parent.Create(nullptr, "", 0, CRect(0, 0, 200, 400), nullptr, 0));
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_CHILD, CRect(0, 0, 200, 400), &parent, 1000));
    std::vector<UINT> seen;
    for (UINT code : {NM_CLICK, NM_DBLCLK, NM_RCLICK, TVN_SELCHANGED}) parent.MapNotify(1000, code, [&seen, code] { seen.push_back(code); });
    const HTREEITEM a = tree.InsertItem("A", 0, 0), b = tree.InsertItem("B", 0, 0);
    tree.ClickItem(a, NM_DBLCLK);
    tree.ClickItem(b, NM_RCLICK);
    tree.ClickItem(b, NM_CLICK);
    EXPECT_EQ(seen, (std::vector<UINT>{TVN_SELCHANGED, NM_DBLCLK, TVN_SELCHANGED, NM_RCLICK, NM_CLICK}));
    tree.DestroyWindow();
    parent.DestroyWindow();
}

TEST(Tree, HitTestFindsTheParts) {
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_CHILD, CRect(0, 0, 200, 400), nullptr, 1000));
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR4, 0, 1));
    tree.SetImageList(&images, TVSIL_NORMAL);
    HTREEITEM root = tree.InsertItem("Network", 0, 0);
    HTREEITEM child = tree.InsertItem("Station", 0, 0, root);
    tree.Expand(root, TVE_EXPAND);
    RECT label{};
    ASSERT_TRUE(tree.GetItemRect(child, &label, TRUE));
    struct Case {
        POINT point;
        HTREEITEM item;
        UINT flags;
    };
    const int midRoot = 9, midChild = label.top + 9;
    const int indent = static_cast<int>(tree.GetIndent());
    const Case cases[] = {
        {{indent / 2, midRoot}, root, TVHT_ONITEMBUTTON},  // the root has children
        {{indent + 4, midRoot}, root, TVHT_ONITEMICON},
        {{label.left + 2, midChild}, child, TVHT_ONITEMLABEL},
        {{indent + indent / 2, midChild}, child, TVHT_ONITEMINDENT},  // no children: no button
        {{label.right + 40, midChild}, child, TVHT_ONITEMRIGHT},
        {{5, 400}, nullptr, TVHT_NOWHERE},
    };
    for (const Case& c : cases) {
        UINT flags = 0;
        EXPECT_EQ(tree.HitTest(c.point, &flags), c.item) << c.point.x << "," << c.point.y;
        EXPECT_EQ(flags, c.flags) << c.point.x << "," << c.point.y;
    }
    // Collapsed: the child is not hit any more.
    tree.Expand(root, TVE_COLLAPSE);
    EXPECT_EQ(tree.HitTest(POINT{label.left + 2, midChild}, nullptr), nullptr);
    // The icon-size swap moves the label.
    CImageList large;
    ASSERT_TRUE(large.Create(32, 32, ILC_COLOR4, 0, 1));
    tree.SetImageList(&large, TVSIL_NORMAL);
    RECT wide{};
    ASSERT_TRUE(tree.GetItemRect(root, &wide, TRUE));
    EXPECT_EQ(wide.left, indent + 32 + 2);
}

TEST(RichText, FindReplaceAndBoldRuns) {
    CRichEditCtrl edit;
    ASSERT_TRUE(edit.Create(WS_CHILD, CRect(0, 0, 100, 100), nullptr, 1));
    edit.SetWindowText("");
    edit.SetSel(0, -1);
    edit.ReplaceSel("ID_DAT(1A) ID_DATA ID_DAT");
    struct Case {
        DWORD flags;
        LONG from;
        LONG found;
    };
    const Case cases[] = {
        {FR_DOWN, 0, 0},
        {FR_DOWN | FR_WHOLEWORD, 1, 19},   // "ID_DATA" is not the whole word
        {FR_DOWN, 1, 11},                  // but a plain find stops there
        {FR_DOWN | FR_MATCHCASE, 22, -1},
    };
    for (const Case& c : cases) {
        FINDTEXTEX find{{c.from, -1}, "ID_DAT", {0, 0}};
        EXPECT_EQ(edit.FindText(c.flags, &find), c.found) << c.flags << " from " << c.from;
        if (c.found >= 0) {
            EXPECT_EQ(find.chrgText.cpMax, c.found + 6);
        }
    }
    FINDTEXTEX lower{{0, -1}, "id_dat(", {0, 0}};
    EXPECT_EQ(edit.FindText(FR_DOWN | FR_MATCHCASE, &lower), -1);
    EXPECT_EQ(edit.FindText(FR_DOWN, &lower), 0);

    // Bold the first word, replace a range, and the runs follow.
    edit.SetSel(0, 6);
    CHARFORMAT bold;
    bold.dwMask = CFM_BOLD;
    bold.dwEffects = CFE_BOLD;
    edit.SetSelectionCharFormat(bold);
    edit.SetSel(7, 9);
    edit.ReplaceSel("FF");
    EXPECT_EQ(edit.GetWindowText(), "ID_DAT(FF) ID_DATA ID_DAT");
    const auto runs = edit.boldRuns();
    ASSERT_GE(runs.size(), 2u);
    EXPECT_TRUE(runs[0].bold);
    EXPECT_EQ(runs[0].end, 6);
    EXPECT_FALSE(edit.IsBold(7));
    edit.SetSel(0, 6);
    CHARFORMAT read;
    edit.GetSelectionCharFormat(read);
    EXPECT_EQ(read.dwEffects & CFE_BOLD, CFE_BOLD);
    edit.SetSel(4, 9);
    edit.GetSelectionCharFormat(read);
    EXPECT_EQ(read.dwMask & CFM_BOLD, 0u);  // mixed
    EXPECT_EQ(edit.GetLineCount(), 1);
    // A find past the end or with no text gives -1.
    FINDTEXTEX none{{500, -1}, "ID", {0, 0}};
    EXPECT_EQ(edit.FindText(FR_DOWN, &none), -1);
    FINDTEXTEX empty{{0, -1}, "", {0, 0}};
    EXPECT_EQ(edit.FindText(FR_DOWN, &empty), -1);
}

TEST(Controls, ListAndComboEdges) {
    CListBox list;
    EXPECT_EQ(list.GetCurSel(), LB_ERR);
    EXPECT_EQ(list.DeleteString(3), LB_ERR);
    EXPECT_EQ(list.GetText(0), "");
    EXPECT_EQ(list.InsertString(5, "x"), LB_ERR);
    list.sorted_ = true;
    for (const char* s : {"b", "C", "a"}) list.AddString(s);
    EXPECT_EQ(list.GetText(0), "a");
    EXPECT_EQ(list.GetText(2), "C");
    EXPECT_EQ(list.FindStringExact(-1, "c"), 2);
    EXPECT_EQ(list.SetCurSel(7), LB_ERR);

    CComboBox combo;
    combo.AddString("alpha");
    combo.AddString("beta");
    EXPECT_EQ(combo.SelectString(-1, "BE"), 1);
    EXPECT_EQ(combo.GetWindowText(), "beta");
    EXPECT_EQ(combo.SetCurSel(9), CB_ERR);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(combo.GetItemData(9), static_cast<DWORD_PTR>(CB_ERR));

    CProgressCtrl progress;
    progress.SetRange32(0, 10);
    EXPECT_EQ(progress.SetPos(20), 0);
    EXPECT_EQ(progress.GetPos(), 10);
}

}  // namespace
