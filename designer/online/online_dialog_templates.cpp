// The templates of the on-line dialogs hosted in their frames (132, 133, 135, 146, 147, 148, 198
// and 200). Each is a child template: its frame gives the caption.
#include <string>
#include <vector>

#include "online/online_dialogs.h"
#include "online/online_resources.h"
#include "ui/resources.h"

namespace plandrel {
namespace {

using qui::ControlKind;
using qui::ControlTemplate;

qui::DialogTemplate hosted(unsigned id, int cx, int cy, std::vector<ControlTemplate> controls) {
  qui::DialogTemplate d;
  d.id = id;
  d.cx = cx;
  d.cy = cy;
  d.style = qui::kChild;
  d.controls = std::move(controls);
  return d;
}

ControlTemplate label(int x, int y, int cx, const char* text, int id = IDC_STATIC) {
  return {id, ControlKind::Static, x, y, cx, 9, text};
}

ControlTemplate format_edit(int x, int y) {
  return {IDC_FORMAT, ControlKind::Edit, x, y, 70, 12, ""};
}

qui::DialogTemplate ba_control() {
  return hosted(IDD_FIP_BA, 182, 96,
                {label(7, 9, 30, "State :"),
                 {IDC_BA_STATE, ControlKind::Static, 40, 9, 80, 9, ""},
                 {IDC_BA_START, ControlKind::PushButton, 7, 24, 50, 14, "Start"},
                 {IDC_BA_STOP, ControlKind::PushButton, 65, 24, 50, 14, "Stop"},
                 {IDC_BA_CONTINUE, ControlKind::PushButton, 123, 24, 50, 14, "Continue"},
                 {IDC_NEXT_SEQUENCE, ControlKind::GroupBox, 7, 46, 166, 44, "Next sequence"},
                 {IDC_SEQUENCE_1, ControlKind::RadioButton, 15, 58, 60, 10, "Sequence 1", qui::kGroup},
                 {IDC_SEQUENCE_2, ControlKind::RadioButton, 15, 72, 60, 10, "Sequence 2"},
                 {IDC_BA_TOGGLE, ControlKind::PushButton, 115, 63, 50, 14, "Toggle"}});
}

// The sending dialogs' first row and the text to send: Format, Send (the default button), and the
// value edit `value` under its label.
std::vector<ControlTemplate> sending(const char* value_label, int value) {
  return {label(7, 9, 34, "Format :"),
          format_edit(44, 7),
          {IDC_SEND, ControlKind::PushButton, 163, 6, 50, 14, "Send", qui::kDefault},
          label(7, 27, 34, value_label),
          {value, ControlKind::Edit, 44, 25, 169, 12, ""}};
}

qui::DialogTemplate produced_variable() {
  std::vector<ControlTemplate> c = sending("Value :", IDC_BUFFER);
  c.push_back({IDC_STATUS, ControlKind::Static, 7, 47, 206, 9, ""});
  return hosted(IDD_FIP_VAR_PROD, 220, 66, std::move(c));
}

qui::DialogTemplate consumed_variable() {
  return hosted(IDD_FIP_VAR_CONS, 220, 112,
                {{IDC_STATIC, ControlKind::GroupBox, 7, 4, 100, 26, "Refreshment"},
                 {IDC_REFRESHMENT_TRUE, ControlKind::RadioButton, 14, 15, 40, 10, "True", qui::kGroup},
                 {IDC_REFRESHMENT_FALSE, ControlKind::RadioButton, 58, 15, 40, 10, "False"},
                 {IDC_STATIC, ControlKind::GroupBox, 113, 4, 100, 26, "Promptness"},
                 {IDC_PROMPTNESS_TRUE, ControlKind::RadioButton, 120, 15, 40, 10, "True", qui::kGroup},
                 {IDC_PROMPTNESS_FALSE, ControlKind::RadioButton, 164, 15, 40, 10, "False"},
                 label(7, 39, 34, "Format :"),
                 format_edit(44, 37),
                 label(7, 56, 34, "Value :"),
                 {IDC_BUFFER, ControlKind::Edit, 44, 55, 169, 50, "",
                  qui::kMultiLine | qui::kReadOnly | qui::kVerticalScroll}});
}

qui::DialogTemplate transmitted_message() {
  std::vector<ControlTemplate> c = sending("Message :", IDC_MESSAGE);
  c.push_back({IDC_STATUS_LINE_1, ControlKind::Static, 7, 46, 206, 9, ""});
  c.push_back({IDC_STATUS_LINE_2, ControlKind::Static, 7, 59, 206, 9, ""});
  return hosted(IDD_FIP_MES_TRANS, 220, 78, std::move(c));
}

// The received-message dialogs: the entry's fields, the message's addresses (unconfigured
// messages only), the format, the entry's text and the stack buttons.
qui::DialogTemplate received_message(unsigned id, bool addresses) {
  const int top = addresses ? 34 : 0;
  std::vector<ControlTemplate> c = {
      label(7, 9, 26, "Index :", IDC_ENTRY_LABELS),
      {IDC_ENTRY_INDEX, ControlKind::Edit, 36, 7, 30, 12, "", qui::kReadOnly},
      label(74, 9, 28, "Length :", IDC_ENTRY_LABELS + 1),
      {IDC_LENGTH, ControlKind::Edit, 104, 7, 30, 12, "", qui::kReadOnly},
      label(7, 25, 26, "Date :", IDC_ENTRY_LABELS + 2),
      {IDC_DATE, ControlKind::Edit, 36, 23, 60, 12, "", qui::kReadOnly},
      label(104, 25, 26, "Hour :", IDC_ENTRY_LABELS + 3),
      {IDC_HOUR, ControlKind::Edit, 132, 23, 50, 12, "", qui::kReadOnly},
  };
  if (addresses) {
    c.insert(c.end(), {
                          label(7, 43, 60, "Source identifier :", IDC_ENTRY_LABELS + 4),
                          {IDC_SOURCE_IDENTIFIER, ControlKind::Edit, 70, 41, 34, 12, "", qui::kReadOnly},
                          label(112, 43, 36, "segment :", IDC_ENTRY_LABELS + 5),
                          {IDC_SOURCE_SEGMENT, ControlKind::Edit, 150, 41, 24, 12, "", qui::kReadOnly},
                          label(7, 59, 60, "Destination identifier :", IDC_ENTRY_LABELS + 6),
                          {IDC_DESTINATION_IDENTIFIER, ControlKind::Edit, 70, 57, 34, 12, "", qui::kReadOnly},
                          label(112, 59, 36, "segment :", IDC_ENTRY_LABELS + 7),
                          {IDC_DESTINATION_SEGMENT, ControlKind::Edit, 150, 57, 24, 12, "", qui::kReadOnly},
                      });
  }
  c.insert(c.end(), {
                        label(7, top + 43, 34, "Format :", IDC_ENTRY_LABELS + 8),
                        format_edit(44, top + 41),
                        label(7, top + 60, 34, "Message :", IDC_ENTRY_LABELS + 9),
                        {IDC_RECEIVED, ControlKind::Edit, 44, top + 59, 169, 40, "",
                         qui::kMultiLine | qui::kReadOnly | qui::kVerticalScroll},
                        {IDC_PREVIOUS_ENTRY, ControlKind::PushButton, 7, top + 106, 30, 14, "<<"},
                        {IDC_NEXT_ENTRY, ControlKind::PushButton, 41, top + 106, 30, 14, ">>"},
                        {IDC_DELETE, ControlKind::PushButton, 109, top + 106, 50, 14, "Delete"},
                        {IDC_CLEAR_ALL, ControlKind::PushButton, 163, top + 106, 50, 14, "Clear all"},
                    });
  return hosted(id, 220, top + 128, std::move(c));
}

qui::DialogTemplate medium() {
  static constexpr const char* kLabels[8] = {"CH1", "CH2", "ET1", "ET2", "EW1", "EW2", "ER1", "ER2"};
  std::vector<ControlTemplate> c = {{IDC_STATIC, ControlKind::GroupBox, 7, 4, 206, 42, "State byte"}};
  // Bit 7 first, from left to right.
  for (int bit = 7; bit >= 0; --bit) {
    const int x = 14 + (7 - bit) * 25;
    c.push_back({IDC_MEDIUM_LABELS[bit], ControlKind::Static, x, 15, 20, 9, kLabels[bit], qui::kCenter});
    c.push_back({IDC_MEDIUM_FIELDS[bit], ControlKind::Edit, x, 26, 20, 12, "", qui::kReadOnly});
  }
  c.insert(c.end(), {{IDC_STATIC, ControlKind::GroupBox, 7, 50, 206, 80, "Commands"},
                     {IDC_MEDIUM_COMMANDS, ControlKind::ListBox, 14, 61, 192, 62, "", qui::kVerticalScroll},
                     {IDOK, ControlKind::PushButton, 163, 136, 50, 14, "Apply", qui::kDefault}});
  return hosted(IDD_MEDIUM, 220, 157, std::move(c));
}

qui::DialogTemplate aperiodic() {
  return hosted(IDD_FIP_APER, 220, 48,
                {label(7, 9, 26, "Lists"),
                 {IDC_LISTS, ControlKind::ComboBox, 36, 7, 120, 80, "", qui::kVerticalScroll},
                 {IDC_SEND, ControlKind::PushButton, 163, 6, 50, 14, "Send", qui::kDefault},
                 {IDC_STATUS, ControlKind::Static, 7, 29, 206, 9, ""}});
}

}  // namespace

void RegisterSessionDialogs() {
  for (qui::DialogTemplate t : {ba_control(), produced_variable(), consumed_variable(), transmitted_message(),
                                received_message(IDD_FIP_MES_RECU, false), received_message(IDD_FIP_MES_NEW, true),
                                medium(), aperiodic()})
    qui::RegisterDialog(std::move(t));
}

}  // namespace plandrel
