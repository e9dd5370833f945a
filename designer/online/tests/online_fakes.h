// Stand-ins for what the on-line objects ask of the program: a frame with an in-memory tree built
// like the configuration tree, dialogs that record what they were given, recursive locks and a
// clock that only counts (or runs the simulated bus for the time asked).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "online/online_host.h"
#include "records/configuration.h"

namespace plandrel::testing {

// The window messages that the dialogs' updates stand for, as the fakes record them.
inline constexpr std::uint32_t WM_FIP_VAR_UPDATE = 0x40C;
inline constexpr std::uint32_t WM_FIP_BA_STATE = 0x40D;
inline constexpr std::uint32_t WM_FIP_BA_SEQUENCE = 0x40E;
inline constexpr std::uint32_t WM_FIP_MES_REPORT = 0x40F;
inline constexpr std::uint32_t WM_FIP_MES_SHOW = 0x410;
inline constexpr std::uint32_t WM_FIP_MES_FIRST = 0x411;
inline constexpr std::uint32_t WM_FIP_MES_MORE = 0x412;

class RecursiveLock final : public SectionLock {
 public:
  void lock() override {
    mutex_.lock();
    ++depth_;
  }
  void unlock() override {
    --depth_;
    mutex_.unlock();
  }
  // Whether some thread holds it now.
  bool Held() const { return depth_ > 0; }

 private:
  std::recursive_mutex mutex_;
  std::atomic<int> depth_{0};
};

struct TestLocks {
  RecursiveLock engine, variable_format, message_format, variable_dialog, message_dialog, message_stack, ba_dialog;
  OnlineLocks Get() {
    return {engine, variable_format, message_format, variable_dialog, message_dialog, message_stack, ba_dialog};
  }
};

// What a dialog was given: the messages its updates post, with their wparam, the last snapshot and text.
struct DialogRecord {
  std::string kind;
  std::vector<std::pair<std::uint32_t, std::uintptr_t>> posted;
  VariableSnapshot snapshot;
  std::string text;
  int activations = 0;
  bool frame_closed = false;
  bool destroyed = false;
  WindowHandle window = 0;
};

template <class Link>
class FakeDialog : public Link {
 public:
  explicit FakeDialog(std::shared_ptr<DialogRecord> record) : record_(std::move(record)) {}
  ~FakeDialog() override { record_->destroyed = true; }
  void Activate() override { ++record_->activations; }
  void CloseFrame() override { record_->frame_closed = true; }
  WindowHandle Window() const override { return record_->window; }

 protected:
  std::shared_ptr<DialogRecord> record_;
};

class FakeVariableDialog final : public FakeDialog<VariableDialogLink> {
 public:
  using FakeDialog::FakeDialog;
  void Update(const VariableSnapshot& snapshot) override {
    record_->snapshot = snapshot;
    record_->posted.emplace_back(WM_FIP_VAR_UPDATE, 0);
  }
};

class FakeMessageDialog final : public FakeDialog<MessageDialogLink> {
 public:
  using FakeDialog::FakeDialog;
  void Report(std::uint8_t code) override { record_->posted.emplace_back(WM_FIP_MES_REPORT, code); }
  void Show(std::string_view text) override {
    record_->text = text;
    record_->posted.emplace_back(WM_FIP_MES_SHOW, 0);
  }
  void EntryAdded(bool first) override { record_->posted.emplace_back(first ? WM_FIP_MES_FIRST : WM_FIP_MES_MORE, 0); }
};

class FakeBaDialog final : public FakeDialog<BaDialogLink> {
 public:
  using FakeDialog::FakeDialog;
  void State(std::string_view text) override {
    record_->text = text;
    record_->posted.emplace_back(WM_FIP_BA_STATE, 0);
  }
};

class FakeFrame final : public OnlineFrame {
 public:
  // The tree of a configuration: the root, the local bus arbitrator item when the configuration
  // has one, every station, each variable under its producer or the local station, and each
  // message under the item of its source (transmitted) or destination variable.
  explicit FakeFrame(const records::Configuration& c) {
    root_ = Add(0, 0);
    if (c.param.ba_size != 0) Add(root_, 1);
    std::map<std::uint16_t, TreeItem> by_identifier;
    for (std::uint16_t s = 0; s < c.station_count; ++s) {
      const TreeItem station = Add(root_, 100u + s);
      if (s != c.local_station) continue;
      for (const records::VARIABLE4& v : c.variables) by_identifier[v.identifier] = Add(station, v.key);
    }
    for (const records::MESSAGE4& m : c.messages) {
      const auto it = by_identifier.find(m.transmitted ? m.source_identifier : m.destination_identifier);
      if (it != by_identifier.end()) Add(it->second, m.key);
    }
  }

  TreeItem Add(TreeItem parent, std::uint32_t data) {
    const TreeItem item = ++last_;
    items_[item] = {parent, data, {}};
    if (parent != 0) items_[parent].children.push_back(item);
    return item;
  }
  TreeItem ItemWithData(std::uint32_t data) const {
    for (const auto& [item, node] : items_) {
      if (node.data == data && item != root_) return item;
    }
    return 0;
  }
  TreeItem ChildWithData(TreeItem parent, std::uint32_t data) const {
    const auto it = items_.find(parent);
    if (parent == 0 || it == items_.end()) return 0;
    for (TreeItem child : it->second.children)
      if (items_.at(child).data == data) return child;
    return 0;
  }
  void Remove(TreeItem item) {
    auto& siblings = items_[items_[item].parent].children;
    std::erase(siblings, item);
  }

  TreeItem BusArbitratorItem() const override {
    const auto& top = items_.at(root_).children;
    return !top.empty() && items_.at(top.front()).data == 1 ? top.front() : 0;
  }
  TreeItem LocalVariableItem(std::uint16_t local_station, std::uint32_t key) const override {
    return ChildWithData(ChildWithData(root_, 100u + local_station), key);
  }
  TreeItem LocalMessageItem(std::uint16_t local_station, std::uint32_t key) const override {
    const TreeItem local = ChildWithData(root_, 100u + local_station);
    if (local == 0) return 0;
    for (TreeItem variable : items_.at(local).children)
      if (const TreeItem message = ChildWithData(variable, key)) return message;
    return 0;
  }
  void SetTreeText(TreeItem item, std::string_view text) override {
    std::lock_guard lock(mutex_);
    texts[item] = text;
    ++text_updates;
  }
  bool IsMainWindow() const override { return main_window; }
  void EnableMessageMenuItem(std::uint16_t index, bool enable) override {
    std::lock_guard lock(mutex_);
    menu[index] = enable;
  }
  void ShowMessage(std::string_view text) override {
    if (on_message) on_message();
    std::lock_guard lock(mutex_);
    messages.emplace_back(text);
  }
  int AskSequence(WindowHandle window) override {
    sent.push_back(WM_FIP_BA_SEQUENCE);
    return window != 0 && window == live_window ? sequence_answer : 0;
  }
  std::unique_ptr<VariableDialogLink> CreateVariableDialog(OnlineVariable&, VariableDialogKind kind) override {
    return std::make_unique<FakeVariableDialog>(NewDialog(kind == VariableDialogKind::consumed ? "consumed" : "produced"));
  }
  std::unique_ptr<MessageDialogLink> CreateMessageDialog(OnlineMessage&, MessageDialogKind kind) override {
    const char* names[] = {"transmitted", "received", "unconfigured"};
    return std::make_unique<FakeMessageDialog>(NewDialog(names[static_cast<int>(kind)]));
  }
  std::unique_ptr<BaDialogLink> CreateBaDialog(BaControl&, bool own_program) override {
    return std::make_unique<FakeBaDialog>(NewDialog(own_program ? "ba own" : "ba file"));
  }

  std::string Text(TreeItem item) {
    std::lock_guard lock(mutex_);
    return texts[item];
  }

  bool main_window = true;
  std::map<TreeItem, std::string> texts;
  int text_updates = 0;
  std::map<std::uint16_t, bool> menu;
  std::vector<std::string> messages;
  std::function<void()> on_message;  // called as each message box shows
  std::vector<std::uint32_t> sent;
  std::vector<std::shared_ptr<DialogRecord>> dialogs;
  WindowHandle live_window = 0;
  int sequence_answer = 1;

 private:
  struct Node {
    TreeItem parent = 0;
    std::uint32_t data = 0;
    std::vector<TreeItem> children;
  };
  std::shared_ptr<DialogRecord> NewDialog(const char* kind) {
    auto record = std::make_shared<DialogRecord>();
    record->kind = kind;
    record->window = 0x1000 + dialogs.size();
    dialogs.push_back(record);
    return record;
  }

  std::mutex mutex_;
  std::map<TreeItem, Node> items_;
  TreeItem root_ = 0;
  TreeItem last_ = 0;
};

// Counts the waits; `on_sleep` may run the simulated bus for the time asked.
class FakeClock final : public OnlineClock {
 public:
  void Sleep(std::uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    if (on_sleep) on_sleep(milliseconds);
  }
  std::vector<std::uint32_t> sleeps;
  std::function<void(std::uint32_t)> on_sleep;
};

}  // namespace plandrel::testing
