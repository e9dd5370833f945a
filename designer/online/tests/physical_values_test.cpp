// The variables display without a display or an engine: a host that stands for the main frame and
// the session, with variables whose values the test sets. The test thread is the main thread: it
// serves the refresh thread's messages while it waits.
#include "online/physical_values.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "online/designer_messages.h"
#include "online/refresh_data.h"
#include "ui/testing.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Serves the main thread's messages until `done` or the time-out.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    WaitMessageTimeout(2);
  }
}

class FakeHost final : public ValuesDisplayHost {
 public:
  FakeHost() { frame.Create(nullptr, "", WS_CHILD, CRect(0, 0, 900, 700), nullptr, 0); }
  ~FakeHost() override { frame.DestroyWindow(); }

  CWnd* FrameWindow() override { return &frame; }
  std::string CsvPath() override { return csv; }
  void OpenCsv() override {
    ++open_csv_calls;
    csv = csv_after_open;
  }
  void SetRefreshPeriod(int milliseconds) override { period = milliseconds; }
  int RefreshPeriod() const override { return period.load(); }
  void SetRefreshTarget(HWND window) override {
    std::lock_guard guard(display_lock);
    target = window;
    targets.push_back(window);
  }
  HWND RefreshTarget() override {
    ++target_reads;
    std::lock_guard guard(display_lock);
    return target;
  }
  void SnapshotVariables() override {
    ++snapshots;
    std::lock_guard guard(engine);
    for (Variable& v : variables) v.snapshot = v.live;
  }
  std::vector<PageVariable> Variables() override {
    std::vector<PageVariable> list;
    for (const Variable& v : variables) list.push_back({v.identifier, v.length, v.snapshot ? &*v.snapshot : nullptr});
    return list;
  }
  void DisplayDestroyed(CPhysicalValues& display) override {
    destroyed_while_thread_ran = display.RefreshThreadRunning();
    ++destroyed;
    if (owned.get() == &display) owned.reset();
  }

  // Sets a variable's value as the session thread would, under the engine lock.
  void Live(std::size_t index, Bytes value) {
    std::lock_guard guard(engine);
    variables[index].live = std::move(value);
  }

  struct Variable {
    std::uint16_t identifier;
    std::uint16_t length;
    std::optional<Bytes> live;
    std::optional<Bytes> snapshot;
  };
  CWnd frame;
  std::string csv, csv_after_open;
  int open_csv_calls = 0;
  std::atomic<int> period{0};
  std::mutex display_lock;
  HWND target = nullptr;
  std::vector<HWND> targets;
  std::atomic<int> target_reads{0};
  std::atomic<int> snapshots{0};
  std::mutex engine;
  std::vector<Variable> variables;
  int destroyed = 0;
  bool destroyed_while_thread_ran = true;
  std::unique_ptr<CPhysicalValues> owned;
};

class PhysicalValues : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPhysicalValuesResources();
    // Inside the test's own machine root.
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) / "physical-values";
    fs::create_directories(folder_);
    host_.variables = {{0x1A2, 2, Bytes{0x10, 0x27}, std::nullopt}, {0x20, 6, Bytes{'P', 'u', 'm', 'p', 0, 1}, std::nullopt}};
  }
  void TearDown() override {
    host_.owned.reset();
    qui::ClearResources();
    fs::remove_all(folder_);
  }
  std::string File(const std::string& name, const std::string& text) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  // Constructs the display over `text` and, unless it failed, creates its window.
  CPhysicalValues* Open(const std::string& text) {
    host_.csv = File("values.csv", text);
    host_.owned = std::make_unique<CPhysicalValues>(host_);
    if (host_.owned->Failed()) return nullptr;
    EXPECT_TRUE(host_.owned->Create(IDD_PHYSICAL_VALUES, &host_.frame));
    return host_.owned.get();
  }
  std::string Shown() { return host_.owned ? host_.owned->TextControl().GetWindowText() : std::string(); }

  qui::testing::ScriptedPrompts prompts_;
  FakeHost host_;
  fs::path folder_;
};

const char* const kFile =
    "NB_AFF;\r\n"
    "gpe;Pump;\r\n"
    "c;1A2;Speed;km/h;0;16;0;0.1;LSB;\r\n"
    "txt;20;Name;0;6;;\r\n"
    "enum;20;Mode;40;8;LSB;3;Off;On;Fault;\r\n";

TEST_F(PhysicalValues, ShowsTheValuesAndFollowsThem) {
  CPhysicalValues* display = Open(kFile);
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(host_.period.load(), 1000);
  EXPECT_EQ(Shown(), " \n Pump\n Speed = 1000 km/h\n Name = Pump\n Mode = On\n ");
  EXPECT_TRUE(display->TextControl().IsBold(3));  // the group name
  EXPECT_FALSE(display->TextControl().IsBold(12));
  EXPECT_EQ(display->GetWindowText(), "Data Conversion");
  ASSERT_EQ(host_.targets.size(), 1u);
  EXPECT_EQ(host_.targets[0], display->m_hWnd);
  EXPECT_TRUE(display->RefreshThreadRunning());

  // The refresh thread brings new values every period.
  host_.SetRefreshPeriod(20);
  host_.Live(0, Bytes{0x11, 0x27});
  host_.Live(1, Bytes{'F', 'a', 'n', 0, 0, 2});
  ASSERT_TRUE(PumpUntil([&] { return Shown().find("Mode = Fault") != std::string::npos; })) << Shown();
  EXPECT_EQ(Shown(), " \n Pump\n Speed = 1000.1 km/h\n Name = Fan\n Mode = Fault\n ");

  // Cancel (Escape) destroys the window; the thread has ended before the object is handed back.
  display->PressEscape();
  EXPECT_EQ(host_.destroyed, 1);
  EXPECT_FALSE(host_.destroyed_while_thread_ran);
  EXPECT_EQ(host_.owned, nullptr);
  EXPECT_EQ(host_.target, nullptr);
}

TEST_F(PhysicalValues, FilesThatCannotBeUsed) {
  // No file chosen: Open .csv is offered, and with none chosen the display is not made.
  host_.owned = std::make_unique<CPhysicalValues>(host_);
  EXPECT_EQ(host_.open_csv_calls, 1);
  EXPECT_TRUE(host_.owned->Failed());

  // A file that went away, a folder, a file beyond the bound (a 100 MB one).
  host_.csv = (folder_ / "gone.csv").string();
  EXPECT_TRUE(CPhysicalValues(host_).Failed());
  host_.csv = folder_.string();
  EXPECT_TRUE(CPhysicalValues(host_).Failed());
  host_.csv = File("huge.csv", "NB_AFF;\r\n");
  fs::resize_file(host_.csv, 100u << 20);
  EXPECT_TRUE(CPhysicalValues(host_).Failed());
  // Exactly at the bound is read.
  fs::resize_file(host_.csv, kMaxInterpretationFileBytes);
  EXPECT_FALSE(CPhysicalValues(host_).Failed());

  const auto boxes = prompts_.Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].text, kNoCsvFile);
  EXPECT_EQ(boxes[1].text, "The file cannot be found.");
  EXPECT_FALSE(boxes[2].text.empty());
  EXPECT_EQ(boxes[3].text, kCsvTooLarge);
}

TEST_F(PhysicalValues, DamagedFilesLeaveTheWindowEmptyOrPartial) {
  struct Case {
    const char* text;
    const char* message;  // none: no message
    const char* shown;
  };
  const Case cases[] = {
      {"NB_AFF\r\nc,1A2,Speed\r\n", "Error on the *.csv file format (no valid header)", ""},
      {"NB_AFF;\r\nsl;\r\nvar;1;\r\n", "Error on the *.csv file format (unknown keyword)", ""},
      {"NB_AFF;\r\nc;1A2;Speed;km/h;0;16;0;0.1;LSB", nullptr, " \n Speed =  km/h\n "},
      {"NB_AFF;\nc;1A2;A;km/h;-8;16;0;1;LSB;\nc;zz;B;u;0;8;0;1;LSB;\ntxt;20;C;4;99999999999;\n", nullptr,
       " \n A =  km/h\n B = \n C = \n "},
  };
  for (const Case& c : cases) {
    prompts_.Clear();
    CPhysicalValues* display = Open(c.text);
    ASSERT_NE(display, nullptr) << c.text;
    EXPECT_EQ(Shown(), c.shown) << c.text;
    const auto boxes = prompts_.Boxes();
    if (c.message) {
      ASSERT_EQ(boxes.size(), 1u) << c.text;
      EXPECT_EQ(boxes[0].text, c.message);
    } else {
      EXPECT_TRUE(boxes.empty()) << c.text;
    }
    display->SendMessage(WM_CLOSE);
    EXPECT_EQ(host_.owned, nullptr);
  }
}

TEST_F(PhysicalValues, ClosingWhileTheThreadWaitsOrRefreshes) {
  // While the thread waits out a long period: the close ends it at once.
  CPhysicalValues* display = Open(kFile);
  ASSERT_NE(display, nullptr);
  host_.SetRefreshPeriod(60000);
  ASSERT_TRUE(PumpUntil([&] { return host_.snapshots.load() >= 2; }));  // the parse's and the thread's
  std::this_thread::sleep_for(20ms);
  const auto start = std::chrono::steady_clock::now();
  display->SendMessage(WM_CLOSE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(host_.destroyed, 1);
  EXPECT_FALSE(host_.destroyed_while_thread_ran);

  // While the thread takes its snapshot, blocked on the engine lock that another thread holds.
  display = Open(kFile);
  ASSERT_NE(display, nullptr);
  host_.SetRefreshPeriod(1);
  std::atomic<bool> held{false};
  std::thread session([&] {
    std::lock_guard engine(host_.engine);
    held = true;
    std::this_thread::sleep_for(50ms);
  });
  while (!held.load()) std::this_thread::yield();
  const int before = host_.snapshots.load();
  ASSERT_TRUE(PumpUntil([&] { return host_.snapshots.load() > before; }));
  display->SendMessage(WM_CLOSE);
  session.join();
  EXPECT_EQ(host_.destroyed, 2);

  // With its redraw sent and not yet served: the window's end answers it.
  display = Open(kFile);
  ASSERT_NE(display, nullptr);
  const int reads = host_.target_reads.load();
  // Two reads per cycle: the running check, then the window after the snapshot.
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (host_.target_reads.load() < reads + 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);  // the send waits for this thread
  display->SendMessage(WM_CLOSE);
  EXPECT_EQ(host_.destroyed, 3);
}

TEST_F(PhysicalValues, DoubleClickSetsTheRefreshPeriod) {
  CPhysicalValues* display = Open(kFile);
  ASSERT_NE(display, nullptr);
  std::vector<std::string> offered;
  std::string typed = "250";
  bool ok = true;
  qui::testing::ScriptedDialogs dialogs([&](CDialog& dialog) {
    offered.push_back(dialog.GetDlgItemText(IDC_REFRESH_PERIOD));
    dialog.TypeDlgItemText(IDC_REFRESH_PERIOD, typed.c_str());
    dialog.ClickDlgItem(ok ? IDOK : IDCANCEL);
  });
  display->SendMessage(WM_LBUTTONDBLCLK, 0, 0);
  EXPECT_EQ(display->RefreshPeriod(), 250);
  EXPECT_EQ(host_.period.load(), 250);
  ok = false;
  typed = "5000";
  display->SendMessage(WM_LBUTTONDBLCLK, 0, 0);
  EXPECT_EQ(display->RefreshPeriod(), 250);
  EXPECT_EQ(offered, (std::vector<std::string>{"1000", "250"}));
  display->SendMessage(WM_CLOSE);
}

TEST(PhysicalValuesPlacement, OverTheFrameClientArea) {
  struct Case {
    RECT client;
    RECT placed;
  };
  const Case cases[] = {
      {{0, 0, 900, 700}, {600, 10, 900, 648}},         // 30 lines of 20 pixels, plus 38
      {{100, 50, 1300, 950}, {900, 60, 1300, 898}},    // offset on the screen
      {{0, 0, 900, 117}, {600, 10, 900, 210}},         // one line and less: the minimum size
      {{0, 0, 300, 50}, {100, 10, 300, 210}},          // a client area under 98 pixels
      {{0, 0, 0, 0}, {-200, 10, 0, 210}},
  };
  for (const Case& c : cases) {
    const CRect placed = DisplayPlacement(c.client);
    EXPECT_EQ(placed.left, c.placed.left);
    EXPECT_EQ(placed.top, c.placed.top);
    EXPECT_EQ(placed.right, c.placed.right);
    EXPECT_EQ(placed.bottom, c.placed.bottom) << c.client.bottom;
  }
}

}  // namespace
}  // namespace plandrel
