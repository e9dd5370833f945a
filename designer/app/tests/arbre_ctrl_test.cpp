#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "frame_fixture.h"
#include "records/config_format.h"
#include "sample_network.h"
#include "splash_wnd.h"

namespace plandrel {
namespace {

using testing::MainFrameTest;

// Message boxes and popup menus as the user would see them.
class RecordingPrompts : public qui::UserPrompts {
 public:
  int ShowMessageBox(HWND, const std::string& text, const std::string&, UINT) override {
    boxes.push_back(text);
    return IDOK;
  }
  void Beep(UINT) override {}
  bool ChooseFile(HWND, qui::FileDialogRequest& request) override {
    request.fileName = "/data/values.csv";
    return true;
  }
  UINT TrackPopupMenu(const CMenu& menu, POINT, HWND) override {
    std::string entries;
    for (UINT i = 0; i < menu.GetMenuItemCount(); ++i) {
      std::string text;
      menu.GetMenuString(i, text, MF_BYPOSITION);
      entries += (entries.empty() ? "" : "|") + text;
    }
    menus.push_back(entries);
    return 0;
  }
  std::vector<std::string> boxes;
  std::vector<std::string> menus;
};

class TreeTest : public MainFrameTest {
 protected:
  void SetUp() override {
    MainFrameTest::SetUp();
    previous_ = qui::SetUserPrompts(&prompts_);
    document_->Records() = sample_network();
    ASSERT_EQ(frame_->Tree()->BuildTree(), 0u);
    frame_->Tree()->ExpandAll();  // the user clicks what shows
  }
  void TearDown() override {
    qui::SetUserPrompts(previous_);
    MainFrameTest::TearDown();
  }
  CArbreCtrl& tree() { return *frame_->Tree(); }
  // The item reached from the root by child positions.
  HTREEITEM at(std::initializer_list<int> path) {
    HTREEITEM item = tree().GetRootItem();
    for (int position : path) {
      item = tree().GetChildItem(item);
      for (int i = 0; i < position; ++i) item = tree().GetNextSiblingItem(item);
    }
    return item;
  }

  RecordingPrompts prompts_;
  qui::UserPrompts* previous_ = nullptr;
};

TEST_F(TreeTest, TheControlHoldsTheSampleNetworkWithCodesAndImages) {
  struct Row {
    std::initializer_list<int> path;
    const char* text;
    DWORD_PTR code;
    int image;
  };
  const Row rows[] = {
      {{}, "WorldFip network", 0, 0},        {{0}, "Local bus arbitrator", 1, 2},
      {{1}, "Controller", 100, 4},           {{1, 1}, "Controller state", 5001, 8},
      {{1, 1, 0}, "Setpoint", 35000, 12},    {{2}, "Pump station", 101, 6},
      {{3, 1, 1}, "Valve report", 35002, 14}, {{4, 2, 0}, "Setpoint", 35000, 14},
  };
  for (const Row& row : rows) {
    const HTREEITEM item = at(row.path);
    ASSERT_NE(item, nullptr) << row.text;
    EXPECT_EQ(tree().GetItemText(item), row.text);
    EXPECT_EQ(tree().GetItemData(item), row.code) << row.text;
    int image = -1, selected = -1;
    tree().GetItemImage(item, image, selected);
    EXPECT_EQ(image, row.image) << row.text;
    EXPECT_EQ(selected, row.image + 1) << row.text;
  }
  EXPECT_EQ(tree().GetCount(), 23u);
  EXPECT_EQ(tree().FindLocalItem(5001), at({1, 1}));
  EXPECT_EQ(tree().FindLocalItem(35002), at({1, 2, 0}));
  EXPECT_EQ(tree().FindLocalItem(5002 + 100), nullptr);
}

TEST_F(TreeTest, DoubleClicksOpenByItemAndRefuseOtherStationsRecords) {
  tree().ClickItem(at({2, 0}), NM_DBLCLK);  // a variable under the pump station
  tree().ClickItem(at({3, 1, 0}), NM_DBLCLK);  // a message under the valve rack
  host_.online = true;
  tree().ClickItem(at({2, 0}), NM_DBLCLK);
  EXPECT_EQ(prompts_.boxes, (std::vector<std::string>{"The variables can be accessed through the local station only.",
                                                      "The messages can be accessed through the local station only.",
                                                      "The variables can be accessed through the local station only."}));
  auto session = std::make_unique<testing::FakeSession>();
  testing::FakeSession& opened = *session;
  host_.session = std::move(session);
  for (auto path : {std::initializer_list<int>{}, {0}, {1}, {2}, {1, 2}, {1, 2, 0}}) tree().ClickItem(at(path), NM_DBLCLK);
  EXPECT_EQ(opened.opened, (std::vector<std::string>{"ba", "medium", "variable 2", "message 2"}));
}

TEST_F(TreeTest, RightClicksShowTheMenuOfTheItemAndKeepItsCode) {
  tree().OnTreeRightButtonDown(POINT{5, 5000});  // blank space below the items: no menu
  tree().OnTreeDoubleClick(POINT{5, 5000});      // nor anything opened
  tree().ClickItem(at({}), NM_RCLICK);      // the root off line: no menu
  tree().ClickItem(at({3}), NM_RCLICK);     // a station
  tree().ClickItem(at({1, 0}), NM_RCLICK);  // a variable of the local station
  tree().ClickItem(at({1, 1, 0}), NM_RCLICK);
  tree().ClickItem(at({2, 0}), NM_RCLICK);  // another station's variable: no menu
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_EQ(prompts_.menus, (std::vector<std::string>{"New...|Edit...|Delete", "New...|Edit...|Delete|Copy...",
                                                      "New...|Edit...|Delete|Copy..."}));
  EXPECT_EQ(tree().GetContextItem(), 35000u);
  host_.online = true;
  tree().ClickItem(at({}), NM_RCLICK);
  EXPECT_EQ(prompts_.menus.back(), "Configuration...");
  EXPECT_EQ(tree().GetContextItem(), 0u);
}

TEST_F(TreeTest, SessionMessagesSetTextsDeleteAndInsertItems) {
  const HTREEITEM pump = at({1, 0});
  tree().SendMessage(WM_TREE_SET_TEXT, reinterpret_cast<WPARAM>(pump), reinterpret_cast<LPARAM>("Pump speed (12)"));
  EXPECT_EQ(tree().GetItemText(pump), "Pump speed (12)");

  records::MESSAGE4 unconfigured{};
  std::memcpy(unconfigured.name.data(), "1A2to100", 8);
  unconfigured.source_identifier = 0x1A2;
  unconfigured.destination_identifier = 0x0100;
  unconfigured.remote_station = -1;
  unconfigured.key = 35003;
  tree().SendMessage(WM_TREE_INSERT_MESSAGE, reinterpret_cast<WPARAM>(&unconfigured));
  const HTREEITEM added = tree().FindLocalItem(35003);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(tree().GetItemText(added), "1A2to100");
  tree().SendMessage(WM_TREE_DELETE_ITEM, reinterpret_cast<WPARAM>(added));
  EXPECT_EQ(tree().FindLocalItem(35003), nullptr);
  // An item that is gone already: nothing happens.
  tree().SendMessage(WM_TREE_DELETE_ITEM, reinterpret_cast<WPARAM>(added));
  tree().SendMessage(WM_TREE_SET_TEXT, reinterpret_cast<WPARAM>(added), reinterpret_cast<LPARAM>("x"));
  EXPECT_EQ(tree().GetCount(), 23u);
}

TEST_F(TreeTest, OpenCsvKeepsTheChosenPath) {
  EXPECT_TRUE(frame_->CsvPath().empty());
  frame_->RunCommand(kCmdOpenCsv);
  EXPECT_EQ(frame_->CsvPath(), "/data/values.csv");
}

TEST_F(TreeTest, TheSplashShowsAGoodBitmapAndAKeyPressHidesItAndIsTaken) {
  const auto path = folder_ / "splash.dib";
  const auto write = [&](std::int32_t width, std::int32_t height) {
    std::vector<std::uint8_t> file(14 + 40 + 1024 + static_cast<std::size_t>(((width + 3) & ~3) * (height < 0 ? -height : height)));
    file[0] = 'B';
    file[1] = 'M';
    const auto put = [&](std::size_t at, std::uint32_t value) {
      for (int i = 0; i < 4; ++i) file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(10, 1078);
    put(14, 40);
    put(18, static_cast<std::uint32_t>(width));
    put(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 8;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  };
  CSplashWnd::SetBitmapPath(path);
  CSplashWnd::EnableSplash(true);

  write(801, 600);  // too wide: no window
  CSplashWnd::ShowSplash(frame_);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);

  write(320, -200);  // top-down, image size 0
  CSplashWnd::ShowSplash(frame_);
  ASSERT_NE(CSplashWnd::Current(), nullptr);
  MSG key{};
  key.message = WM_KEYUP;
  EXPECT_FALSE(CSplashWnd::SplashTakesMessage(&key));
  key.message = WM_KEYDOWN;
  EXPECT_TRUE(CSplashWnd::SplashTakesMessage(&key));
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
  EXPECT_FALSE(CSplashWnd::SplashTakesMessage(&key));  // no splash: the key goes on

  CSplashWnd::EnableSplash(false);
  CSplashWnd::ShowSplash(frame_);
  EXPECT_EQ(CSplashWnd::Current(), nullptr);
}

}  // namespace
}  // namespace plandrel
