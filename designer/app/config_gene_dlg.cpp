#include "config_gene_dlg.h"

#include "dialog_items.h"
#include "model/typed_value.h"
#include "records/configuration.h"

namespace plandrel {

namespace {

constexpr std::uint16_t kOneMbit = 1;
constexpr std::initializer_list<int> kBaGroupControls = {
    IDC_GENE_BA_GROUP, IDC_GENE_DELAY_LABEL,    IDC_GENE_DELAY,          IDC_GENE_DELAY_UP,
    IDC_GENE_DELAY_DOWN, IDC_GENE_DELAY_UNIT,   IDC_GENE_PRIORITY_LABEL, IDC_GENE_PRIORITY,
    IDC_GENE_ELECTION_LABEL, IDC_GENE_ELECTION, IDC_GENE_ELECTION_UNIT,  IDC_GENE_PADDING_LABEL,
    IDC_GENE_PADDING,    IDC_GENE_PADDING_UNIT};
constexpr std::initializer_list<int> kStepButtons = {IDC_GENE_TURNAROUND_UP, IDC_GENE_TURNAROUND_DOWN,
                                                     IDC_GENE_SILENCE_UP,    IDC_GENE_SILENCE_DOWN,
                                                     IDC_GENE_DELAY_UP,      IDC_GENE_DELAY_DOWN};
constexpr std::initializer_list<int> kTypedEdits = {IDC_GENE_TURNAROUND, IDC_GENE_SILENCE, IDC_GENE_DELAY,
                                                    IDC_GENE_PRIORITY, IDC_GENE_PADDING};

std::string Number(double value) { return qui::FormatString("%g", value); }

using Field = GeneralSettingsEdit::TimeField;

}  // namespace

// The three times typed in, with the words of their messages.
const CConfigGeneDlg::TimeEdit CConfigGeneDlg::kTimeEdits[3] = {
    {Field::turnaround, IDC_GENE_TURNAROUND, "turn around time", " µs."},
    {Field::silence, IDC_GENE_SILENCE, "silence time", " µs."},
    {Field::start_delay, IDC_GENE_DELAY, "start delay", " ms."},
};

void RegisterConfigGeneTemplate() {
  using qui::ControlKind;
  qui::RegisterDialog({IDD_CONFIG_GENE,
                       260,
                       205,
                       "General settings",
                       "MS Shell Dlg",
                       8,
                       qui::kModalFrame | qui::kSystemMenu,
                       {
                           {IDC_STATIC, ControlKind::GroupBox, 7, 7, 246, 74, "Time bases"},
                           {IDC_STATIC, ControlKind::Static, 14, 20, 54, 8, "Speed"},
                           {IDC_GENE_SPEED, ControlKind::ComboBox, 70, 18, 50, 60, ""},
                           {IDC_STATIC, ControlKind::Static, 124, 20, 20, 8, "Kb/s"},
                           {IDC_STATIC, ControlKind::Static, 14, 38, 54, 8, "Turn around"},
                           {IDC_GENE_TURNAROUND, ControlKind::Edit, 70, 36, 50, 12, ""},
                           {IDC_GENE_TURNAROUND_UP, ControlKind::PushButton, 124, 36, 14, 12, "+"},
                           {IDC_GENE_TURNAROUND_DOWN, ControlKind::PushButton, 140, 36, 14, 12, "-"},
                           {IDC_STATIC, ControlKind::Static, 158, 38, 14, 8, "µs"},
                           {IDC_STATIC, ControlKind::Static, 14, 56, 54, 8, "Silence"},
                           {IDC_GENE_SILENCE, ControlKind::Edit, 70, 54, 50, 12, ""},
                           {IDC_GENE_SILENCE_UP, ControlKind::PushButton, 124, 54, 14, 12, "+"},
                           {IDC_GENE_SILENCE_DOWN, ControlKind::PushButton, 140, 54, 14, 12, "-"},
                           {IDC_STATIC, ControlKind::Static, 158, 56, 14, 8, "µs"},
                           {IDC_GENE_CLOCK, ControlKind::CheckBox, 180, 20, 68, 10, "Clock multiplier"},
                           {IDC_GENE_WORLDFIP, ControlKind::CheckBox, 180, 38, 68, 10, "WorldFIP frames"},
                           {IDC_GENE_BA, ControlKind::CheckBox, 14, 88, 90, 10, "Activate BA features"},
                           {IDC_STATIC, ControlKind::Static, 106, 89, 90, 8, "( in the local station )"},
                           {IDC_GENE_BA_GROUP, ControlKind::GroupBox, 7, 102, 246, 76, "Bus arbitrator"},
                           {IDC_GENE_DELAY_LABEL, ControlKind::Static, 14, 116, 60, 8, "Start BA delay"},
                           {IDC_GENE_DELAY, ControlKind::Edit, 76, 114, 50, 12, ""},
                           {IDC_GENE_DELAY_UP, ControlKind::PushButton, 130, 114, 14, 12, "+"},
                           {IDC_GENE_DELAY_DOWN, ControlKind::PushButton, 146, 114, 14, 12, "-"},
                           {IDC_GENE_DELAY_UNIT, ControlKind::Static, 164, 116, 14, 8, "ms"},
                           {IDC_GENE_PRIORITY_LABEL, ControlKind::Static, 14, 132, 60, 8, "Priority level"},
                           {IDC_GENE_PRIORITY, ControlKind::Edit, 76, 130, 24, 12, ""},
                           {IDC_GENE_ELECTION_LABEL, ControlKind::Static, 14, 148, 60, 8, "BA election time"},
                           {IDC_GENE_ELECTION, ControlKind::Edit, 76, 146, 50, 12, "", qui::kReadOnly},
                           {IDC_GENE_ELECTION_UNIT, ControlKind::Static, 130, 148, 14, 8, "ms"},
                           {IDC_GENE_PADDING_LABEL, ControlKind::Static, 14, 164, 60, 8, "Padding identifier"},
                           {IDC_GENE_PADDING, ControlKind::Edit, 76, 162, 30, 12, ""},
                           {IDC_GENE_PADDING_UNIT, ControlKind::Static, 110, 164, 20, 8, "hexa"},
                           {IDOK, ControlKind::PushButton, 88, 184, 50, 14, "Save", qui::kDefault},
                           {IDCANCEL, ControlKind::PushButton, 144, 184, 50, 14, "Cancel"},
                           {IDC_GENE_HELP, ControlKind::PushButton, 200, 184, 50, 14, "Help"},
                       }});
}

CConfigGeneDlg::CConfigGeneDlg(CWnd* parent, CPlandrelDoc& document, const TimingTable& timing, bool online,
                               CArbreCtrl* tree)
    : CDialog(IDD_CONFIG_GENE, parent), document_(document), online_(online), tree_(tree), edit_(document, timing) {
  MapNotify(IDC_GENE_SPEED, CBN_SELCHANGE, [this] { OnSpeedSelected(); });
  MapNotify(IDC_GENE_SPEED, CBN_KILLFOCUS, [this] { ShowSpeed(); });
  MapNotify(IDC_GENE_TURNAROUND_UP, BN_CLICKED, [this] { OnTurnaroundStep(1); });
  MapNotify(IDC_GENE_TURNAROUND_DOWN, BN_CLICKED, [this] { OnTurnaroundStep(-1); });
  MapNotify(IDC_GENE_SILENCE_UP, BN_CLICKED, [this] { OnSilenceStep(1); });
  MapNotify(IDC_GENE_SILENCE_DOWN, BN_CLICKED, [this] { OnSilenceStep(-1); });
  MapNotify(IDC_GENE_DELAY_UP, BN_CLICKED, [this] { OnStartDelayStep(1); });
  MapNotify(IDC_GENE_DELAY_DOWN, BN_CLICKED, [this] { OnStartDelayStep(-1); });
  for (const TimeEdit& edit : kTimeEdits) MapNotify(edit.id, EN_KILLFOCUS, [this, &edit] { OnTypedTime(edit); });
  MapNotify(IDC_GENE_PRIORITY, EN_KILLFOCUS, [this] { OnTypedPriority(); });
  MapNotify(IDC_GENE_PADDING, EN_KILLFOCUS, [this] { OnTypedPadding(); });
  MapNotify(IDC_GENE_CLOCK, BN_CLICKED, [this] { OnClockMultiplier(); });
  MapNotify(IDC_GENE_WORLDFIP, BN_CLICKED, [this] { OnWorldFip(); });
  MapNotify(IDC_GENE_BA, BN_CLICKED, [this] { OnBaFeatures(); });
}

BOOL CConfigGeneDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CComboBox& speed = Item<CComboBox>(IDC_GENE_SPEED);
  for (const char* text : {"31.25", "1000", "2500"}) speed.AddString(text);
  Item<CEdit>(IDC_GENE_PRIORITY).SetLimitText(2);
  Item<CEdit>(IDC_GENE_PADDING).SetLimitText(4);
  ShowSpeed();
  ShowAll();
  ShowPriority();
  ShowPadding();
  const records::GENERAL_PARAM& param = edit_.Param();
  CheckDlgButton(IDC_GENE_CLOCK, param.clock_multiplier != 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_GENE_WORLDFIP, param.frame_type == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_GENE_BA, param.ba_size != 0 ? BST_CHECKED : BST_UNCHECKED);
  ShowBaGroup();

  if (online_) {
    EnableDlgItems(*this, {IDC_GENE_SPEED}, false);
    EnableDlgItems(*this, kStepButtons, false);
    for (const int id : kTypedEdits) Item<CEdit>(id).SetReadOnly(TRUE);
    EnableDlgItems(*this, {IDOK}, false);
    SetDefID(IDCANCEL);
  }
  return TRUE;
}

void CConfigGeneDlg::ShowSpeed() {
  const std::uint16_t speed = edit_.Param().speed;
  Item<CComboBox>(IDC_GENE_SPEED).SetCurSel(speed < 3 ? speed : -1);
  // The multiplier is offered only at 1 Mbit/s; elsewhere it keeps its value unseen.
  if (CWnd* clock = GetDlgItem(IDC_GENE_CLOCK)) clock->ShowWindow(speed == kOneMbit ? SW_SHOW : SW_HIDE);
}

void CConfigGeneDlg::ShowTime(const TimeEdit& edit) {
  SetDlgItemText(edit.id, Number(edit_.Time(edit.field)).c_str());
}
void CConfigGeneDlg::ShowElection() { SetDlgItemText(IDC_GENE_ELECTION, Number(edit_.ElectionTime()).c_str()); }
void CConfigGeneDlg::ShowPriority() { SetDlgItemText(IDC_GENE_PRIORITY, qui::FormatString("%d", edit_.Priority()).c_str()); }
void CConfigGeneDlg::ShowPadding() {
  SetDlgItemText(IDC_GENE_PADDING, qui::FormatString("%X", unsigned{edit_.Param().padding_identifier}).c_str());
}

void CConfigGeneDlg::ShowAll() {
  for (const TimeEdit& edit : kTimeEdits) ShowTime(edit);
  ShowElection();
}

void CConfigGeneDlg::ShowBaGroup() {
  EnableDlgItems(*this, kBaGroupControls, IsDlgButtonChecked(IDC_GENE_BA) == BST_CHECKED);
}

void CConfigGeneDlg::RefuseText(void (CConfigGeneDlg::*show)()) {
  (this->*show)();
  MessageBeep(MB_ICONEXCLAMATION);
}

void CConfigGeneDlg::OnSpeedSelected() {
  const int selected = Item<CComboBox>(IDC_GENE_SPEED).GetCurSel();
  if (online_ || selected < 0 || !edit_.SetSpeed(static_cast<std::uint16_t>(selected))) return;
  ShowSpeed();
  ShowAll();
}

void CConfigGeneDlg::OnTurnaroundStep(int step) {
  if (!edit_.StepTurnaround(step)) MessageBeep(MB_OK);
  ShowAll();
}

void CConfigGeneDlg::OnSilenceStep(int step) {
  if (!edit_.StepSilence(step)) {
    MessageBeep(MB_OK);
    return;
  }
  ShowAll();
}

void CConfigGeneDlg::OnStartDelayStep(int step) {
  if (!edit_.StepStartDelay(step)) {
    MessageBeep(MB_OK);
    return;
  }
  ShowAll();
}

void CConfigGeneDlg::OnTypedTime(const TimeEdit& edit) {
  if (online_) return;
  // "nan", "inf" and other texts that are no time are refused; the stored time comes back.
  const auto value = ReadTypedReal(GetDlgItemText(edit.id));
  if (!value) return RefuseText(&CConfigGeneDlg::ShowAll);
  const CountBound bound = edit_.TypeTime(edit.field, StoredSingle(*value));
  ShowAll();
  if (bound == CountBound::none) return;
  const bool low = bound == CountBound::low;
  const double limit = edit_.TimeOf(edit.field, low ? edit_.Minimum(edit.field) : edit_.Maximum(edit.field));
  MessageBox((std::string("The ") + edit.name + (low ? " is too small.\nThe minimum value is " : " is too high.\nThe maximum value is ") +
              Number(limit) + edit.unit)
                 .c_str());
}

void CConfigGeneDlg::OnTypedPriority() {
  if (online_) return;
  const auto priority = ReadTypedDecimal(GetDlgItemText(IDC_GENE_PRIORITY));
  // A text that is no number is refused with the range it must be in.
  if (!priority || edit_.TypePriority(*priority)) MessageBox(std::string(kPriorityRange).c_str());
  ShowPriority();
  ShowAll();
}

void CConfigGeneDlg::OnTypedPadding() {
  if (online_) return;
  const auto identifier = ReadTypedHex(GetDlgItemText(IDC_GENE_PADDING));
  if (!identifier) return RefuseText(&CConfigGeneDlg::ShowPadding);
  const CountBound bound = edit_.TypePadding(*identifier);
  ShowPadding();
  if (bound == CountBound::low) MessageBox(std::string(kPaddingPositive).c_str());
  if (bound == CountBound::high) MessageBox("The padding identifier is too high.\nThe maximum value is FFFF.");
}

bool CConfigGeneDlg::TakeClick(int id, bool stored) {
  if (!online_) return true;
  CheckDlgButton(id, stored ? BST_CHECKED : BST_UNCHECKED);
  return false;
}

void CConfigGeneDlg::OnClockMultiplier() {
  if (!TakeClick(IDC_GENE_CLOCK, edit_.Param().clock_multiplier != 0)) return;
  edit_.SetClockMultiplier(IsDlgButtonChecked(IDC_GENE_CLOCK) == BST_CHECKED);
  ShowAll();
}

void CConfigGeneDlg::OnWorldFip() {
  if (!TakeClick(IDC_GENE_WORLDFIP, edit_.Param().frame_type == 1)) return;
  edit_.SetFrameType(IsDlgButtonChecked(IDC_GENE_WORLDFIP) == BST_CHECKED);
}

void CConfigGeneDlg::OnBaFeatures() {
  if (!TakeClick(IDC_GENE_BA, edit_.Param().ba_size != 0)) return;
  if (edit_.SetBaFeatures(IsDlgButtonChecked(IDC_GENE_BA) == BST_CHECKED))
    MessageBox(std::string(kGeneMemoryFull).c_str());
  ShowBaGroup();
}

void CConfigGeneDlg::OnOK() {
  if (online_) return;
  // The edit being left is validated (and corrected) before anything is stored.
  GotoDlgCtrl(GetDlgItem(IDOK));
  switch (edit_.Apply(document_)) {
    case GeneralSettingsEdit::BaItem::insert:
      if (tree_) tree_->InsertStationItem(-1);
      break;
    case GeneralSettingsEdit::BaItem::remove:
      if (tree_) tree_->DeleteStationItem(-1);
      break;
    case GeneralSettingsEdit::BaItem::unchanged: break;
  }
  CDialog::OnOK();
}

}  // namespace plandrel
