// Frames without a display: menus by position, commands and their update handlers, the toolbar and
// status bar, child frames, the application's profile and recent files, the power broadcast.
#include <gtest/gtest.h>

#include "ui/afxwin.h"
#include "ui/testing.h"

namespace {

constexpr UINT kFrame = 128, kOpen = 32772, kSave = 57603, kConnect = 32783, kVariable = 33000;

void registerResources() {
    qui::RegisterMenu(kFrame, {
        {"&File", 0, {{"&Open...", kOpen}, {"&Save", kSave}, {}, {"Recent File", ID_FILE_MRU_FILE1}, {}, {"E&xit", ID_APP_EXIT}}},
        {"&View", 0, {{"&Toolbar", ID_VIEW_TOOLBAR}, {"&Status Bar", ID_VIEW_STATUS_BAR}}},
        {"&Tools", 0, {{"&Connect", kConnect}}},
    });
    qui::RegisterToolBar(kFrame, {kOpen, kSave, ID_SEPARATOR, kConnect});
    qui::RegisterStrings({{kFrame, "Plandrel\n\nPlandrel"}, {kOpen, "Open a configuration\nOpen"}, {1000, "  CH1"}});
}

class MainFrame : public CMDIFrameWnd {
public:
    MainFrame() {
        MapCommand(kOpen, [this] { ++opens; });
        MapUpdateCommand(kSave, [this](CCmdUI* ui) { ui->Enable(modified); });
        MapUpdateCommand(kConnect, [this](CCmdUI* ui) {
            ui->Enable(!online);
            ui->SetCheck(online);
        });
        MapCommandRange(kVariable, kVariable + 4095, [this](UINT id) { lastVariable = static_cast<int>(id - kVariable); });
        MapMessage(WM_POWERBROADCAST, [this](WPARAM event, LPARAM) {
            powerEvents.push_back(event);
            return LRESULT{TRUE};
        });
    }
    int OnCreate(LPCREATESTRUCT cs) override {
        if (CMDIFrameWnd::OnCreate(cs) == -1) return -1;
        toolBar.CreateEx(this);
        toolBar.LoadToolBar(kFrame);
        status.Create(this);
        const UINT panes[] = {ID_SEPARATOR, 1000, 1001, ID_INDICATOR_CAPS};
        status.SetIndicators(panes, 4);
        status.SetPaneInfo(1, 1000, SBPS_NOBORDERS, 30);
        return 0;
    }
    CToolBar toolBar;
    CStatusBar status;
    bool modified = false, online = false;
    int opens = 0, lastVariable = -1;
    std::vector<WPARAM> powerEvents;
};

class App : public CWinApp {
public:
    App() : CWinApp("Plandrel") {}
    BOOL OpenDocumentFile(LPCSTR path) override {
        opened.push_back(path);
        return std::string(path).find("missing") == std::string::npos;
    }
    std::vector<std::string> opened;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override { registerResources(); }
    void TearDown() override { qui::ClearResources(); }
    App app;
};

TEST_F(FrameTest, MenusAreAddressedByPositionAndUpdatedWhenTheyOpen) {
    MainFrame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    EXPECT_EQ(frame.GetTitle(), "Plandrel");
    CMenu* bar = frame.GetMenu();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->GetMenuItemCount(), 3u);
    CMenu* file = bar->GetSubMenu(0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetMenuItemID(1), kSave);
    EXPECT_EQ(file->GetMenuItemID(2), 0u);  // separator

    frame.UpdateMenuUI(file);
    EXPECT_TRUE(file->GetMenuState(kSave, MF_BYCOMMAND) & MF_GRAYED);
    frame.modified = true;
    frame.UpdateMenuUI(file);
    EXPECT_FALSE(file->GetMenuState(1, MF_BYPOSITION) & MF_GRAYED);

    // A popup inserted at a position, its entries, and its removal.
    CMenu* tools = bar->GetSubMenu(2);
    CMenu variables;
    ASSERT_TRUE(variables.CreatePopupMenu());
    ASSERT_TRUE(tools->InsertMenu(1, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(variables.m_hMenu), "Variables"));
    for (UINT i = 0; i < 3; ++i) variables.AppendMenu(MF_STRING, kVariable + i, ("var" + std::to_string(i) + "...").c_str());
    EXPECT_EQ(tools->GetSubMenu(1)->GetMenuItemCount(), 3u);
    EXPECT_EQ(tools->EnableMenuItem(1, MF_BYPOSITION | MF_GRAYED), 0u);
    std::string text;
    tools->GetMenuString(1, text, MF_BYPOSITION);
    EXPECT_EQ(text, "Variables");
    EXPECT_TRUE(frame.RunCommand(kVariable + 2));
    EXPECT_EQ(frame.lastVariable, 2);
    EXPECT_TRUE(tools->DeleteMenu(1, MF_BYPOSITION));
    EXPECT_EQ(tools->GetMenuItemCount(), 1u);
    EXPECT_FALSE(variables.DestroyMenu());  // DeleteMenu destroyed the popup already

    // A context menu: the frame's update handlers run, then the chosen command reaches the frame.
    qui::testing::ScriptedPrompts prompts;
    CMenu context;
    ASSERT_TRUE(context.CreatePopupMenu());
    context.AppendMenu(MF_STRING, kSave, "Save");
    context.AppendMenu(MF_STRING, kVariable + 7, "var7");
    frame.modified = false;
    prompts.MenuAnswer(kVariable + 7);
    EXPECT_TRUE(context.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, 10, 10, &frame));
    EXPECT_TRUE(context.GetMenuState(0, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_EQ(frame.lastVariable, 7);
    prompts.MenuAnswer(kSave);
    EXPECT_EQ(context.TrackPopupMenu(TPM_RETURNCMD, 0, 0, &frame), static_cast<BOOL>(kSave));
    EXPECT_EQ(tools->GetSubMenu(7), nullptr);
    EXPECT_EQ(tools->EnableMenuItem(7, MF_BYPOSITION), static_cast<UINT>(-1));
    frame.DestroyWindow();
}

TEST_F(FrameTest, CommandsToolbarAndStatusBar) {
    MainFrame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    frame.SendMessage(WM_COMMAND, MAKEWPARAM(kOpen, 0), 0);
    EXPECT_EQ(frame.opens, 1);
    EXPECT_FALSE(frame.RunCommand(4711));  // no handler anywhere

    frame.UpdateCommandUI();  // the idle update
    EXPECT_TRUE(frame.toolBar.IsButtonEnabled(kOpen));
    EXPECT_FALSE(frame.toolBar.IsButtonEnabled(kSave));
    EXPECT_FALSE(frame.toolBar.IsButtonChecked(kConnect));
    frame.online = true;
    frame.UpdateCommandUI();
    EXPECT_FALSE(frame.toolBar.IsButtonEnabled(kConnect));
    EXPECT_TRUE(frame.toolBar.IsButtonChecked(kConnect));

    ASSERT_EQ(frame.status.GetCount(), 4);
    EXPECT_EQ(frame.status.GetPaneText(0), "Ready");
    EXPECT_EQ(frame.status.GetPaneText(1), "  CH1");
    EXPECT_EQ(frame.status.GetPaneText(3), "CAP");
    UINT id = 0, style = 0;
    int width = 0;
    frame.status.GetPaneInfo(1, id, style, width);
    EXPECT_EQ(style, SBPS_NOBORDERS);
    EXPECT_EQ(width, 30);
    frame.SetMessageText(kOpen);
    EXPECT_EQ(frame.status.GetPaneText(0), "Open a configuration");
    const HICON icon = reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x10000 | 236));
    EXPECT_TRUE(frame.status.GetStatusBarCtrl().SetIcon(2, icon));
    EXPECT_EQ(frame.status.GetStatusBarCtrl().GetIcon(2), icon);
    EXPECT_FALSE(frame.status.GetStatusBarCtrl().SetIcon(9, icon));
    EXPECT_FALSE(frame.status.SetPaneText(-1, "x"));

    // The frame's default View commands show and hide the bars.
    EXPECT_FALSE(frame.status.IsWindowVisible() && false);
    const bool shown = frame.status.IsWindowVisible();
    frame.RunCommand(ID_VIEW_STATUS_BAR);
    EXPECT_NE(frame.status.IsWindowVisible() != FALSE, shown);
    frame.DestroyWindow();
}

TEST_F(FrameTest, ChildFramesActivateAndDestroy) {
    MainFrame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    struct Child : CMDIChildWnd {
        std::vector<BOOL> activations;
        void OnMDIActivate(BOOL activate, CWnd*, CWnd*) override { activations.push_back(activate); }
    };
    Child tree, dialog;
    ASSERT_TRUE(tree.Create(nullptr, "Tree", WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 200), &frame));
    ASSERT_TRUE(dialog.Create(nullptr, "Variable", WS_CHILD | WS_VISIBLE, CRect(10, 10, 100, 100), &frame));
    EXPECT_EQ(frame.MDIGetActive(), &dialog);
    EXPECT_EQ(tree.activations, (std::vector<BOOL>{TRUE, FALSE}));
    EXPECT_TRUE(tree.SetWindowPos(&CWnd::wndBottom, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
    EXPECT_EQ(frame.MDIGetActive(), &dialog);  // lowering does not activate
    dialog.MDIDestroy();
    EXPECT_EQ(frame.MDIGetActive(), nullptr);
    EXPECT_EQ(frame.MDIChildren().size(), 1u);
    frame.DestroyWindow();
}

TEST_F(FrameTest, ObjectsDestroyedWhileTheirWindowsLive) {
    // A frame with bars and child frames, deleted without DestroyWindow; a child outliving its frame.
    auto child = std::make_unique<CMDIChildWnd>();
    {
        auto frame = std::make_unique<MainFrame>();
        ASSERT_TRUE(frame->LoadFrame(kFrame));
        ASSERT_TRUE(child->Create(nullptr, "Tree", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), frame.get()));
        const HWND bar = frame->status.m_hWnd;
        frame->DestroyWindow();
        EXPECT_FALSE(IsWindow(bar));
        EXPECT_FALSE(IsWindow(child->m_hWnd));
    }
    EXPECT_EQ(child->GetMDIFrame(), nullptr);
    auto alive = std::make_unique<MainFrame>();
    ASSERT_TRUE(alive->LoadFrame(kFrame));
    alive.reset();
}

// Flags the class library knows are flags; any other argument starting with "/" is a file, whether
// it exists or not. Only /Embedding and /Automation clear the splash.
TEST_F(FrameTest, TheCommandLineTellsFlagsFromAbsolutePaths) {
    const struct {
        std::vector<std::string> arguments;
        std::string file;
        bool splash;
    } cases[] = {
        {{}, "", true},
        {{"/home/u/net.cnf"}, "/home/u/net.cnf", true},
        {{"/net.cnf"}, "/net.cnf", true},           // at the root, missing
        {{"/nologo"}, "/nologo", true},             // no flag of the class library
        {{"/Embedding"}, "", false},
        {{"/automation", "/w/a.cnf"}, "/w/a.cnf", false},
        {{"-Embedding", "net.cnf"}, "net.cnf", false},
        {{"/Regserver"}, "", true},
        {{"/dde"}, "", true},
        {{"--verbose", "/w/a.cnf", "/w/b.cnf"}, "/w/a.cnf", true},  // the first file counts
    };
    for (const auto& c : cases) {
        app.arguments = c.arguments;
        CCommandLineInfo info;
        app.ParseCommandLine(info);
        const std::string shown = c.arguments.empty() ? "(none)" : c.arguments.front();
        EXPECT_EQ(info.m_strFileName, c.file) << shown;
        EXPECT_EQ(info.m_nShellCommand, c.file.empty() ? CCommandLineInfo::FileNew : CCommandLineInfo::FileOpen) << shown;
        EXPECT_EQ(info.m_bShowSplash != FALSE, c.splash) << shown;
    }
}

TEST_F(FrameTest, ProfileAndRecentFiles) {
    app.SetRegistryKey("Talvenor");
    EXPECT_EQ(app.GetProfileInt("GUI", "IconSize", 0), 0u);
    EXPECT_TRUE(app.WriteProfileInt("GUI", "IconSize", 1));
    EXPECT_EQ(app.GetProfileInt("GUI", "IconSize", 0), 1u);
    EXPECT_EQ(app.GetProfileString("Settings", "Last", "none"), "none");
    EXPECT_TRUE(app.WriteProfileString("Settings", "Last", "a.cnf"));
    EXPECT_EQ(app.GetProfileString("Settings", "Last"), "a.cnf");

    app.LoadStdProfileSettings(4);
    for (const char* path : {"/w/a.cnf", "/w/b.cnf", "/w/c.cnf", "/w/d.cnf", "/w/e.cnf", "/w/b.cnf"}) app.AddToRecentFileList(path);
    EXPECT_EQ(app.RecentFiles(), (std::vector<std::string>{"/w/b.cnf", "/w/e.cnf", "/w/d.cnf", "/w/c.cnf"}));
    // The list is kept in the profile: a later run reads it back.
    App next;
    next.SetRegistryKey("Talvenor");
    next.LoadStdProfileSettings(4);
    EXPECT_EQ(next.RecentFiles(), app.RecentFiles());

    MainFrame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    CMenu* file = frame.GetMenu()->GetSubMenu(0);
    next.m_pMainWnd = &frame;
    frame.UpdateMenuUI(file);
    std::string text;
    file->GetMenuString(3, text, MF_BYPOSITION);
    EXPECT_EQ(text, "&1 /w/b.cnf");
    EXPECT_EQ(file->GetMenuItemID(6), ID_FILE_MRU_FILE1 + 3);
    EXPECT_EQ(file->GetMenuItemCount(), 9u);
    frame.UpdateMenuUI(file);  // again: nothing doubles
    EXPECT_EQ(file->GetMenuItemCount(), 9u);
    EXPECT_TRUE(next.OnCmdMsg(ID_FILE_MRU_FILE1 + 1, nullptr));
    EXPECT_EQ(next.opened, (std::vector<std::string>{"/w/e.cnf"}));
    frame.DestroyWindow();
}

TEST_F(FrameTest, ThePowerBroadcastReachesTheMainWindow) {
    MainFrame frame;
    ASSERT_TRUE(frame.LoadFrame(kFrame));
    qui::RaisePowerBroadcast(PBT_APMSUSPEND);  // no main window yet: nothing
    EXPECT_TRUE(frame.powerEvents.empty());
    app.m_pMainWnd = &frame;
    qui::RaisePowerBroadcast(PBT_APMSUSPEND);
    qui::RaisePowerBroadcast(PBT_APMRESUMEAUTOMATIC);
    EXPECT_EQ(frame.powerEvents, (std::vector<WPARAM>{PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC}));
    app.m_pMainWnd = nullptr;
    frame.DestroyWindow();
}

}  // namespace
