// The variable and message editors over a small network, without a display: the main frame and its
// tree, a document in a temporary working folder, message boxes and dialogs scripted.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "edition_mes_dlg.h"
#include "edition_var_dlg.h"
#include "editor_dialogs.h"
#include "frame_fixture.h"
#include "records/byte_codec.h"
#include "ui/testing.h"

namespace plandrel::testing {

// Four stations (the local one first), seven variables and four messages:
//   variables  0 Speed 0x100 local->{1} channel 1     4 Status 0x104 local->{1} aperiodic channel, requests
//              1 Level 0x101 1->{local} reception      5 Setpoint 0x105 local->{1,2} channel 4
//              2 Command 0x102 local->{2} channel 2    6 Pressure 0x106 2->{local} promptness 200 ms
//              3 Alarm 0x103 local->{3} channel 3
//   messages   0 Order: transmitted periodic channel 1, 0x100 -> 0x101 at station 1, acknowledged
//              1 Report: received, 0x106 at station 2 -> 0x101
//              2 Notice: transmitted aperiodic, 0x104 -> typed 0x777
//              3 Update: transmitted periodic channel 3, 0x103 -> 0x103 at station 3
inline records::Configuration editors_network() {
  using records::VARIABLE4;
  records::Configuration c = records::new_configuration();
  c.station_count = 4;
  for (std::int16_t i = 1; i < 4; ++i) c.stations[static_cast<std::size_t>(i)] = records::make_station("R" + std::to_string(i), i);
  const auto variable = [](const char* name, std::uint16_t identifier, std::int16_t producer, std::vector<int> consumers,
                           std::uint8_t flags, std::int16_t channel) {
    VARIABLE4 v;
    records::set_text(v.name, name);
    records::set_text(v.format, "%h");
    v.identifier = identifier;
    v.pdu_type = 0x40;
    v.length = 2;
    v.field_74 = 1;
    v.producer = producer;
    for (int s : consumers) records::set_consumer(v, static_cast<std::size_t>(s), true);
    v.consumer_count = static_cast<std::uint16_t>(consumers.size());
    v.direction = producer == 0 ? 0 : 1;
    v.flags = flags;
    v.channel = channel;
    v.refreshment_period = 500;
    v.promptness_period = 500;
    return v;
  };
  c.variables = {variable("Speed", 0x100, 0, {1}, VARIABLE4::kMessageChannel, 1),
                 variable("Level", 0x101, 1, {0}, VARIABLE4::kMessageReception, -1),
                 variable("Command", 0x102, 0, {2}, VARIABLE4::kMessageChannel, 2),
                 variable("Alarm", 0x103, 0, {3}, VARIABLE4::kMessageChannel, 3),
                 variable("Status", 0x104, 0, {1}, VARIABLE4::kMessageChannel | VARIABLE4::kAperiodicVariableRequests, 0),
                 variable("Setpoint", 0x105, 0, {1, 2}, VARIABLE4::kMessageChannel, 4),
                 variable("Pressure", 0x106, 2, {0}, 0, -1)};
  c.variables[6].promptness_status = 1;
  c.variables[6].promptness_period = 200;
  const auto message = [](const char* name, bool transmitted, bool aperiodic, std::uint16_t channel, std::uint16_t source,
                          std::uint16_t destination, std::int16_t remote, bool acknowledged, std::uint16_t event) {
    records::MESSAGE4 m;
    records::set_text(m.name, name);
    records::set_text(m.format, "%h");
    m.transmitted = transmitted ? 1 : 0;
    m.aperiodic = aperiodic ? 1 : 0;
    m.channel = channel;
    m.source_identifier = source;
    m.destination_identifier = destination;
    m.remote_station = remote;
    m.acknowledged = acknowledged ? 1 : 0;
    m.event_number = event;
    return m;
  };
  c.messages = {message("Order", true, false, 1, 0x100, 0x101, 1, true, 5),
                message("Report", false, true, 0, 0x106, 0x101, 2, false, 9),
                message("Notice", true, true, 0, 0x104, 0x777, -1, false, 1),
                message("Update", true, false, 3, 0x103, 0x103, 3, true, 7)};
  records::renumber_keys(c);
  return c;
}

class EditorTest : public MainFrameTest {
 protected:
  using Script = std::function<void(CDialog&)>;

  void SetUp() override {
    MainFrameTest::SetUp();
    ASSERT_TRUE(document_->New());
    load(editors_network());
  }
  // The document holds `network`, in its working files and its tree.
  void load(records::Configuration network) {
    document_->Records() = std::move(network);
    document_->SetMemoryEstimate(records::memory_estimate(document_->Records(), document_->GetInstructionCost()));
    ASSERT_TRUE(document_->WriteAllWorkingFiles());
    ASSERT_EQ(frame_->Tree()->BuildTree(), 0u);
  }

  // Runs the editor with `scripts` driving each dialog by its template (the editor and the
  // selection dialogs it opens); a dialog its script leaves open is cancelled.
  INT_PTR edit_variable(std::size_t index, std::map<UINT, Script> scripts, bool new_record = false) {
    qui::testing::ScriptedDialogs dialogs(runner(std::move(scripts)));
    return EditVariable(context(), frame_, index, new_record);
  }
  INT_PTR edit_message(std::size_t index, std::map<UINT, Script> scripts) {
    qui::testing::ScriptedDialogs dialogs(runner(std::move(scripts)));
    return EditMessage(context(), frame_, index);
  }
  EditorContext context() { return {*document_, frame_->Tree(), host_.online}; }
  qui::ModalRunner runner(std::map<UINT, Script> scripts) {
    return [scripts = std::move(scripts)](CDialog& dialog) {
      if (auto it = scripts.find(dialog.TemplateId()); it != scripts.end()) it->second(dialog);
    };
  }

  // What the user saw after a script made `change` in an editor and pressed Save: the editor's
  // result, the message boxes, the control then focused and the text of `field`.
  struct Attempt {
    INT_PTR result;
    std::vector<std::string> boxes;
    int focus = 0;
    std::string field;
  };
  Attempt save_variable(std::size_t index, const Script& change, int field = 0) {
    return attempt(IDD_EDITION_VAR, change, field, [&](auto scripts) { return edit_variable(index, std::move(scripts)); });
  }
  Attempt save_message(std::size_t index, const Script& change, int field = 0) {
    return attempt(IDD_EDITION_MES, change, field, [&](auto scripts) { return edit_message(index, std::move(scripts)); });
  }

  // Save stayed open after `refusal` (the first box), with the focus on `focus` and, when given,
  // the refused field showing `field_after`.
  static void expect_refused(const Attempt& seen, const char* refusal, int focus, const char* field_after) {
    EXPECT_EQ(seen.result, IDCANCEL) << refusal;
    ASSERT_FALSE(seen.boxes.empty()) << refusal;
    EXPECT_EQ(seen.boxes.front(), refusal);
    EXPECT_EQ(seen.focus, focus) << refusal;
    if (field_after) {
      EXPECT_EQ(seen.field, field_after) << refusal;
    }
  }

  // The section as its working file holds it now.
  records::Configuration working(records::Section section) {
    records::Configuration read;
    EXPECT_EQ(document_->GetWorkingFiles().read(section, read), records::Status::ok);
    return read;
  }
  std::vector<std::string> boxes() {
    std::vector<std::string> texts;
    for (const auto& box : prompts_.Boxes()) texts.push_back(box.text);
    return texts;
  }

  qui::testing::ScriptedPrompts prompts_;

 private:
  template <class Run>
  Attempt attempt(UINT editor, const Script& change, int field, Run run) {
    Attempt seen{};
    seen.result = run(std::map<UINT, Script>{{editor, [&](CDialog& d) {
                                                change(d);
                                                d.ClickDlgItem(IDOK);
                                                seen.focus = d.GetFocusedId();
                                                if (field) seen.field = d.GetDlgItemText(field);
                                              }}});
    seen.boxes = boxes();
    prompts_.Clear();
    return seen;
  }
};

}  // namespace plandrel::testing
