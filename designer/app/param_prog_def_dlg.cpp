#include "param_prog_def_dlg.h"

#include <algorithm>
#include <array>

#include "model/ba_program.h"
#include "model/typed_value.h"
#include "records/timing.h"

namespace plandrel {

namespace {

constexpr std::array<double, 3> kSpeedsKbits{31.25, 1000.0, 2500.0};

std::string Number(double value) { return qui::FormatString("%g", value); }

}  // namespace

void RegisterParamProgDefTemplate() {
  using qui::ControlKind;
  using qui::kReadOnly;
  qui::RegisterDialog({IDD_PARAM_PROG_DEF,
                       220,
                       181,
                       "Default program parameters",
                       "MS Shell Dlg",
                       8,
                       qui::kModalFrame | qui::kSystemMenu,
                       {
                           {IDC_STATIC, ControlKind::GroupBox, 7, 7, 206, 72, "General settings"},
                           {IDC_STATIC, ControlKind::Static, 14, 20, 72, 8, "Frames type"},
                           {IDC_DEF_FRAMES, ControlKind::Edit, 88, 18, 60, 12, "", kReadOnly},
                           {IDC_STATIC, ControlKind::Static, 14, 35, 72, 8, "Speed"},
                           {IDC_DEF_SPEED, ControlKind::Edit, 88, 33, 60, 12, "", kReadOnly},
                           {IDC_STATIC, ControlKind::Static, 152, 35, 30, 8, "Kb/s"},
                           {IDC_STATIC, ControlKind::Static, 14, 50, 72, 8, "Turn around time"},
                           {IDC_DEF_TURNAROUND, ControlKind::Edit, 88, 48, 60, 12, "", kReadOnly},
                           {IDC_STATIC, ControlKind::Static, 152, 50, 30, 8, "µs"},
                           {IDC_STATIC, ControlKind::Static, 14, 65, 72, 8, "Slot time"},
                           {IDC_DEF_SLOT, ControlKind::Edit, 88, 63, 60, 12, "", kReadOnly},
                           {IDC_STATIC, ControlKind::Static, 152, 65, 30, 8, "µs"},
                           {IDC_STATIC, ControlKind::GroupBox, 7, 84, 206, 58, "Sequence time"},
                           {IDC_STATIC, ControlKind::Static, 14, 97, 72, 8, "Minimum time"},
                           {IDC_DEF_MINIMUM, ControlKind::Edit, 88, 95, 60, 12, "", kReadOnly},
                           {IDC_STATIC, ControlKind::Static, 152, 97, 30, 8, "ms"},
                           {IDC_STATIC, ControlKind::Static, 14, 112, 72, 8, "Maximum time"},
                           {IDC_DEF_MAXIMUM, ControlKind::Edit, 88, 110, 60, 12, "", kReadOnly},
                           {IDC_STATIC, ControlKind::Static, 152, 112, 30, 8, "ms"},
                           {IDC_STATIC, ControlKind::Static, 14, 127, 72, 8, "Cycle duration"},
                           {IDC_DEF_CYCLE, ControlKind::Edit, 88, 125, 60, 12, ""},
                           {IDC_STATIC, ControlKind::Static, 152, 127, 30, 8, "ms"},
                           {IDC_DEF_APERIODIC, ControlKind::CheckBox, 14, 146, 150, 10, "Aperiodical variables sending"},
                           {IDOK, ControlKind::PushButton, 7, 162, 50, 14, "OK", qui::kDefault},
                           {IDCANCEL, ControlKind::PushButton, 85, 162, 50, 14, "Cancel"},
                           {IDC_DEF_HELP, ControlKind::PushButton, 163, 162, 50, 14, "Help"},
                       }});
}

CParamProgDefDlg::CParamProgDefDlg(CWnd* parent, float* cycle, int* aperiodic, std::uint16_t slot,
                                   const records::GENERAL_PARAM& param, const TimingTable& timing)
    : CDialog(IDD_PARAM_PROG_DEF, parent),
      minimum_(*cycle),
      maximum_(BaMaximumTime(BaTimeUnit(slot, param.speed_constant))),
      cycle_(cycle),
      aperiodic_(aperiodic),
      slot_(slot),
      param_(param),
      timing_(timing) {}

BOOL CParamProgDefDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const std::size_t index = TimingTable::Index(param_);
  SetDlgItemText(IDC_DEF_FRAMES, param_.frame_type == 1 ? "WorldFip" : "Fip");
  SetDlgItemText(IDC_DEF_SPEED, Number(kSpeedsKbits[index / 2]).c_str());
  SetDlgItemText(IDC_DEF_TURNAROUND, Number(records::turnaround_time_us(param_, timing_.Entry(index))).c_str());
  SetDlgItemText(IDC_DEF_SLOT, Number(BaTimeUnit(slot_, param_.speed_constant)).c_str());
  SetDlgItemText(IDC_DEF_MINIMUM, Number(minimum_).c_str());
  SetDlgItemText(IDC_DEF_MAXIMUM, Number(maximum_).c_str());
  SetDlgItemText(IDC_DEF_CYCLE, "");
  CheckDlgButton(IDC_DEF_APERIODIC, BST_UNCHECKED);
  GotoDlgCtrl(GetDlgItem(IDC_DEF_CYCLE));
  return FALSE;
}

void CParamProgDefDlg::OnOK() {
  // A cycle that is not a number is no cycle: the same request as an empty one.
  const auto typed = ReadTypedReal(GetDlgItemText(IDC_DEF_CYCLE));
  if (!typed) {
    MessageBox(std::string(kEnterCycle).c_str());
    GotoDlgCtrl(GetDlgItem(IDC_DEF_CYCLE));
    return;
  }
  const float cycle = std::clamp(StoredSingle(*typed), minimum_, std::max(minimum_, maximum_));
  SetDlgItemText(IDC_DEF_CYCLE, Number(cycle).c_str());
  *cycle_ = cycle;
  *aperiodic_ = IsDlgButtonChecked(IDC_DEF_APERIODIC) == BST_CHECKED ? 1 : 0;
  CDialog::OnOK();
}

}  // namespace plandrel
