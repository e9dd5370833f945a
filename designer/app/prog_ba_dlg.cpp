#include "prog_ba_dlg.h"

#include <algorithm>

#include "dialog_items.h"
#include "model/typed_value.h"
#include "param_prog_def_dlg.h"
#include "records/byte_codec.h"
#include "ui/afxdlgs.h"

namespace plandrel {

namespace {

constexpr const char* kBegin = "BEGIN";
constexpr const char* kEnd = "END";
constexpr const char* kBaFilter = "Files progBA (*.ba)|*.ba||";

constexpr std::initializer_list<int> kProgramControls = {IDC_BA_PROGRAMS, IDC_BA_SEQUENCE1, IDC_BA_SEQUENCE2,
                                                         IDC_BA_COPY_TO2, IDC_BA_COPY_TO1};
constexpr std::initializer_list<int> kDefaultButtons = {IDC_BA_DEFAULT1, IDC_BA_DEFAULT2};
constexpr std::initializer_list<int> kEditControls = {IDC_BA_EDIT_GROUP, IDC_BA_INSTRUCTIONS, IDC_BA_INSERT,
                                                      IDC_BA_DELETE};
constexpr std::initializer_list<int> kArgumentControls = {IDC_BA_ARGUMENT_GROUP, IDC_BA_SELECT,
                                                          IDC_BA_ARGUMENT_LABEL, IDC_BA_ARGUMENT};
constexpr std::initializer_list<int> kDateControls = {
    IDC_BA_DATE_GROUP,   IDC_BA_MINIMUM_LABEL, IDC_BA_MINIMUM, IDC_BA_MS1,    IDC_BA_MAXIMUM_LABEL,
    IDC_BA_MAXIMUM,      IDC_BA_MS2,           IDC_BA_WISHED_LABEL, IDC_BA_WISHED, IDC_BA_MS3,
    IDC_BA_ACTUAL_LABEL, IDC_BA_ACTUAL,        IDC_BA_MS4};
constexpr std::initializer_list<int> kFileControls = {IDC_BA_PATH, IDC_BA_BROWSE};

std::string Number(const char* format, float value) { return qui::FormatString(format, static_cast<double>(value)); }

}  // namespace

void RegisterProgBaTemplate() {
  using qui::ControlKind;
  using qui::kReadOnly;
  constexpr unsigned kList = qui::kMultipleSelection | qui::kVerticalScroll;
  qui::RegisterDialog(
      {IDD_PROG_BA,
       461,
       262,
       "Bus arbitrator programming",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_BA_PROGRAMS, ControlKind::GroupBox, 7, 7, 250, 194, "Programs"},
           {IDC_STATIC, ControlKind::Static, 14, 18, 100, 8, "Sequence 1"},
           {IDC_BA_SEQUENCE1, ControlKind::ListBox, 14, 28, 100, 132, "", kList},
           {IDC_BA_DEFAULT1, ControlKind::PushButton, 14, 164, 100, 14, "Default progam"},
           {IDC_BA_COPY_TO2, ControlKind::PushButton, 120, 70, 24, 14, ">>"},
           {IDC_BA_COPY_TO1, ControlKind::PushButton, 120, 90, 24, 14, "<<"},
           {IDC_STATIC, ControlKind::Static, 150, 18, 100, 8, "Sequence 2"},
           {IDC_BA_SEQUENCE2, ControlKind::ListBox, 150, 28, 100, 132, "", kList},
           {IDC_BA_DEFAULT2, ControlKind::PushButton, 150, 164, 100, 14, "Default progam"},
           {IDC_STATIC, ControlKind::Static, 14, 184, 40, 8, "Slot time"},
           {IDC_BA_SLOT, ControlKind::ComboBox, 56, 182, 60, 60, ""},
           {IDC_STATIC, ControlKind::Static, 120, 184, 14, 8, "µs"},
           {IDC_BA_EDIT_GROUP, ControlKind::GroupBox, 264, 7, 190, 194, "Edit"},
           {IDC_STATIC, ControlKind::Static, 271, 18, 80, 8, "Instructions"},
           {IDC_BA_INSTRUCTIONS, ControlKind::ListBox, 271, 28, 176, 56, "", qui::kVerticalScroll},
           {IDC_BA_ARGUMENT_GROUP, ControlKind::GroupBox, 271, 88, 176, 30, std::string(kIdentifierCaption)},
           {IDC_BA_SELECT, ControlKind::PushButton, 278, 100, 50, 14, "Select..."},
           {IDC_BA_ARGUMENT_LABEL, ControlKind::Static, 336, 102, 22, 8, "Value"},
           {IDC_BA_ARGUMENT, ControlKind::Edit, 360, 100, 60, 12, ""},
           {IDC_BA_DATE_GROUP, ControlKind::GroupBox, 271, 122, 176, 56, "Date"},
           {IDC_BA_MINIMUM_LABEL, ControlKind::Static, 276, 135, 34, 8, "minimum"},
           {IDC_BA_MINIMUM, ControlKind::Edit, 311, 133, 34, 12, "", kReadOnly},
           {IDC_BA_MS1, ControlKind::Static, 347, 135, 10, 8, "ms"},
           {IDC_BA_MAXIMUM_LABEL, ControlKind::Static, 276, 151, 34, 8, "maximum"},
           {IDC_BA_MAXIMUM, ControlKind::Edit, 311, 149, 34, 12, "", kReadOnly},
           {IDC_BA_MS2, ControlKind::Static, 347, 151, 10, 8, "ms"},
           {IDC_BA_WISHED_LABEL, ControlKind::Static, 358, 135, 25, 8, "wished"},
           {IDC_BA_WISHED, ControlKind::Edit, 384, 133, 46, 12, ""},
           {IDC_BA_MS3, ControlKind::Static, 432, 135, 10, 8, "ms"},
           {IDC_BA_ACTUAL_LABEL, ControlKind::Static, 358, 151, 25, 8, "actual"},
           {IDC_BA_ACTUAL, ControlKind::Edit, 384, 149, 46, 12, "", kReadOnly},
           {IDC_BA_MS4, ControlKind::Static, 432, 151, 10, 8, "ms"},
           {IDC_BA_INSERT, ControlKind::PushButton, 271, 183, 50, 14, "Insert"},
           {IDC_BA_DELETE, ControlKind::PushButton, 327, 183, 50, 14, "Delete"},
           {IDC_BA_FILE_GROUP, ControlKind::GroupBox, 7, 205, 447, 30, "Program bus arbitrator with file"},
           {IDC_BA_FILE, ControlKind::CheckBox, 14, 217, 70, 10, "Program from file"},
           {IDC_STATIC, ControlKind::Static, 88, 218, 18, 8, "Path"},
           {IDC_BA_PATH, ControlKind::Edit, 108, 216, 276, 12, ""},
           {IDC_BA_BROWSE, ControlKind::PushButton, 390, 215, 57, 14, "Browse..."},
           {IDOK, ControlKind::PushButton, 290, 241, 50, 14, "Save", qui::kDefault},
           {IDCANCEL, ControlKind::PushButton, 346, 241, 50, 14, "Cancel"},
           {IDC_BA_HELP, ControlKind::PushButton, 402, 241, 50, 14, "Help"},
       }});
}

CProgBADlg::CProgBADlg(CWnd* parent, CPlandrelDoc& document, const TimingTable& timing, bool online)
    : CDialog(IDD_PROG_BA, parent), document_(document), timing_(timing), online_(online), edit_(document) {
  MapNotify(IDC_BA_SEQUENCE1, LBN_SELCHANGE, [this] { OnSequenceSelected(0); });
  MapNotify(IDC_BA_SEQUENCE2, LBN_SELCHANGE, [this] { OnSequenceSelected(1); });
  MapNotify(IDC_BA_INSTRUCTIONS, LBN_SELCHANGE, [this] { OnInstructionSelected(); });
  MapNotify(IDC_BA_SELECT, BN_CLICKED, [this] { OnSelectIdentifier(); });
  MapNotify(IDC_BA_WISHED, EN_KILLFOCUS, [this] { UpdateActual("%f"); });
  MapNotify(IDC_BA_INSERT, BN_CLICKED, [this] { OnInsert(); });
  MapNotify(IDC_BA_DELETE, BN_CLICKED, [this] { OnDelete(); });
  MapNotify(IDC_BA_COPY_TO2, BN_CLICKED, [this] { OnCopy(0); });
  MapNotify(IDC_BA_COPY_TO1, BN_CLICKED, [this] { OnCopy(1); });
  MapNotify(IDC_BA_SLOT, CBN_SELCHANGE, [this] { OnSlotSelected(); });
  // Text typed into the box that is not one of the four choices gives way to the selected one.
  MapNotify(IDC_BA_SLOT, CBN_KILLFOCUS, [this] { Item<CComboBox>(IDC_BA_SLOT).SetCurSel(edit_.Slot()); });
  MapNotify(IDC_BA_DEFAULT1, BN_CLICKED, [this] { OnDefaultProgram(0); });
  MapNotify(IDC_BA_DEFAULT2, BN_CLICKED, [this] { OnDefaultProgram(1); });
  MapNotify(IDC_BA_FILE, BN_CLICKED, [this] { OnFileClicked(); });
  MapNotify(IDC_BA_BROWSE, BN_CLICKED, [this] { OnBrowse(); });
  // A path typed in is a change of the file option as much as one chosen with Browse: Save stores it.
  MapNotify(IDC_BA_PATH, EN_CHANGE, [this] {
    if (!online_) edit_.MarkFileOptionChanged();
  });
}

BOOL CProgBADlg::OnInitDialog() {
  CDialog::OnInitDialog();
  FillSequences();

  CComboBox& slot = Item<CComboBox>(IDC_BA_SLOT);
  for (std::uint16_t s = 0; s < kBaSlotCount; ++s) slot.AddString(Number("%g", edit_.UnitOf(s)).c_str());
  slot.SetCurSel(edit_.Slot() < kBaSlotCount ? edit_.Slot() : -1);
  CListBox& instructions = Item<CListBox>(IDC_BA_INSTRUCTIONS);
  for (const BaMacroInfo& info : kBaMacros) instructions.AddString(std::string(info.list_text).c_str());

  SetDlgItemText(IDC_BA_ARGUMENT_GROUP, std::string(kIdentifierCaption).c_str());
  EnableDlgItems(*this, kArgumentControls, false);
  EnableDlgItems(*this, kDateControls, false);
  SetDlgItemText(IDC_BA_MINIMUM, "0");
  SetDlgItemText(IDC_BA_MAXIMUM, Number("%g", BaMaximumTime(edit_.Unit())).c_str());

  CheckDlgButton(IDC_BA_FILE, edit_.FileMode() ? BST_CHECKED : BST_UNCHECKED);
  Item<CEdit>(IDC_BA_PATH).SetLimitText(BaProgramEdit::kMaxPathLength);
  SetDlgItemText(IDC_BA_PATH, std::string(records::text_of(document_.Records().ba.program_path)).c_str());

  if (document_.GetMemoryEstimate() > CPlandrelDoc::kMemoryLimit) MessageBox(std::string(kBaMemoryFull).c_str());

  if (edit_.FileMode()) {
    EnableDlgItems(*this, kProgramControls, false);
    EnableDlgItems(*this, kEditControls, false);
  } else {
    EnableDlgItems(*this, kFileControls, false);
  }

  if (online_) {
    if (edit_.FileMode()) {
      Item<CEdit>(IDC_BA_PATH).SetReadOnly(TRUE);
      EnableDlgItems(*this, {IDC_BA_BROWSE}, false);
    } else {
      EnableDlgItems(*this, {IDC_BA_COPY_TO1, IDC_BA_COPY_TO2, IDC_BA_DEFAULT1, IDC_BA_DEFAULT2, IDC_BA_SLOT, IDC_BA_INSERT,
                      IDC_BA_DELETE},
                     false);
    }
    EnableDlgItems(*this, {IDOK}, false);
    SetDefID(IDCANCEL);
  }
  return TRUE;
}

void CProgBADlg::FillSequence(std::size_t sequence) {
  CListBox& list = List(sequence);
  // The selection stays on the same lines when only their texts change (a slot-time change).
  const std::vector<int> selected = list.GetSelectedIndices();
  const int count = list.GetCount();
  const float unit = edit_.Unit();
  list.ResetContent();
  list.AddString(kBegin);
  for (const BaLine& line : edit_.Sequence(sequence)) list.AddString(line.Display(unit).c_str());
  list.AddString(kEnd);
  if (count == list.GetCount())
    for (const int index : selected) list.SetSel(index, TRUE);
}

void CProgBADlg::FillSequences() {
  FillSequence(0);
  FillSequence(1);
}

void CProgBADlg::Refuse(std::string_view text, int focus) {
  MessageBox(std::string(text).c_str());
  if (focus != 0) GotoDlgCtrl(GetDlgItem(focus));
}

std::optional<std::size_t> CProgBADlg::SelectedSequence() {
  for (std::size_t sequence = 0; sequence < 2; ++sequence)
    if (!List(sequence).GetSelectedIndices().empty()) return sequence;
  return std::nullopt;
}

void CProgBADlg::OnSequenceSelected(std::size_t sequence) {
  CListBox& other = List(1 - sequence);
  if (!other.GetSelectedIndices().empty()) other.SetSel(-1, FALSE);
}

void CProgBADlg::ShowEditGroups() {
  const int selected = Item<CListBox>(IDC_BA_INSTRUCTIONS).GetCurSel();
  const bool any = selected >= 0 && selected < static_cast<int>(kBaMacros.size());
  const bool date = any && kBaMacros[static_cast<std::size_t>(selected)].date;
  EnableDlgItems(*this, kArgumentControls, any && !date);
  EnableDlgItems(*this, kDateControls, date);
  if (any && !date) {
    // An identifier comes from the picker; an event number, or an identifier without a picker, is typed.
    const bool picked = selected != static_cast<int>(BaMacro::suspend) && picker_;
    EnableDlgItems(*this, {IDC_BA_SELECT}, picked);
    Item<CEdit>(IDC_BA_ARGUMENT).SetReadOnly(picked ? TRUE : FALSE);
  }
}

void CProgBADlg::OnInstructionSelected() {
  if (online_) return;
  const int selected = Item<CListBox>(IDC_BA_INSTRUCTIONS).GetCurSel();
  if (selected < 0 || selected >= static_cast<int>(kBaMacros.size())) return;
  ShowEditGroups();
  const auto macro = static_cast<BaMacro>(selected);
  if (MacroInfo(macro).date) {
    SetDefID(IDC_BA_INSERT);
    GotoDlgCtrl(GetDlgItem(IDC_BA_WISHED));
    return;
  }
  SetDlgItemText(IDC_BA_ARGUMENT_GROUP,
                 std::string(macro == BaMacro::suspend ? kEventCaption : kIdentifierCaption).c_str());
  SetDlgItemText(IDC_BA_ARGUMENT, "");
  if (macro != BaMacro::suspend && picker_) {
    SetDefID(IDC_BA_SELECT);
    GotoDlgCtrl(GetDlgItem(IDC_BA_SELECT));
  } else {
    SetDefID(IDC_BA_INSERT);
    GotoDlgCtrl(GetDlgItem(IDC_BA_ARGUMENT));
  }
}

void CProgBADlg::OnSelectIdentifier() {
  if (!picker_) return;
  const std::optional<std::uint16_t> identifier = picker_(*this);
  if (!identifier) return;
  SetDlgItemText(IDC_BA_ARGUMENT, UpperHex(*identifier).c_str());
  SetDefID(IDC_BA_INSERT);
  GotoDlgCtrl(GetDlgItem(IDC_BA_INSERT));
}

void CProgBADlg::UpdateActual(const char* format) {
  const std::string wished = GetDlgItemText(IDC_BA_WISHED);
  if (wished.empty()) return;
  // A text that is no time leaves no actual time: Insert then asks for one.
  const auto value = ReadTypedReal(wished);
  SetDlgItemText(IDC_BA_ACTUAL,
                 value ? Number(format, QuantiseBaTime(StoredSingle(*value), edit_.Unit())).c_str() : "");
}

void CProgBADlg::OnInsert() {
  UpdateActual("%f");
  const std::optional<std::size_t> target = SelectedSequence();
  if (!target) return Refuse(kSelectTarget, 0);
  // Before the first selected line; "BEGIN" stands for the first instruction, "END" appends.
  const int first = List(*target).GetSelectedIndices().front();
  const std::size_t position = static_cast<std::size_t>(std::max(first, 1) - 1);

  const int selected = Item<CListBox>(IDC_BA_INSTRUCTIONS).GetCurSel();
  if (selected < 0 || selected >= static_cast<int>(kBaMacros.size())) return Refuse(kSelectInstruction, 0);
  const auto macro = static_cast<BaMacro>(selected);

  std::optional<BaLine> line;
  if (MacroInfo(macro).date) {
    const std::string actual = GetDlgItemText(IDC_BA_ACTUAL);
    const auto value = ReadTypedReal(actual);
    if (!value) return Refuse(kEnterParameter, IDC_BA_ACTUAL);
    const float time = StoredSingle(*value);
    if (time < 0.0F) return Refuse(kTimePositive, IDC_BA_WISHED);
    const std::string maximum = GetDlgItemText(IDC_BA_MAXIMUM);
    if (const auto latest = ReadTypedReal(maximum); latest && time > StoredSingle(*latest))
      return Refuse("This time must be lower than " + maximum + " ms.", IDC_BA_WISHED);
    line = BaLine::Date(macro, QuantiseBaUnits(time, edit_.Unit()));
  } else {
    const auto value = ReadTypedHex(GetDlgItemText(IDC_BA_ARGUMENT));
    if (!value) return Refuse(kEnterParameter, IDC_BA_ARGUMENT);
    if (macro == BaMacro::suspend) {
      if (*value < kBaMinEvent) return Refuse("An event number must be higher than 1", IDC_BA_ARGUMENT);
      if (*value > kBaMaxEvent) return Refuse("An event number must be lower than FB", IDC_BA_ARGUMENT);
    } else {
      if (*value < 0) return Refuse("An identifier must be positive.", IDC_BA_ARGUMENT);
      if (*value > kBaMaxIdentifier) return Refuse("The identifier must be lower than FFFF", IDC_BA_ARGUMENT);
    }
    line = BaLine::Argument(macro, static_cast<std::uint32_t>(*value));
  }

  if (edit_.Insert(*target, position, *line) != BaProgramEdit::Refusal::none) return Refuse(kBaMemoryFull, 0);
  List(*target).InsertString(static_cast<int>(position) + 1, line->Display(edit_.Unit()).c_str());
}

void CProgBADlg::OnDelete() {
  const std::optional<std::size_t> target = SelectedSequence();
  if (!target) return Refuse(kSelectInstruction, 0);
  CListBox& list = List(*target);
  const int end = list.GetCount() - 1;
  std::vector<int> lines = list.GetSelectedIndices();
  std::erase_if(lines, [end](int index) { return index <= 0 || index >= end; });
  std::vector<std::size_t> positions;
  for (const int index : lines) positions.push_back(static_cast<std::size_t>(index - 1));
  edit_.Erase(*target, positions);
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) list.DeleteString(static_cast<UINT>(*it));
}

void CProgBADlg::OnCopy(std::size_t from) {
  if (edit_.Copy(from) != BaProgramEdit::Refusal::none) return Refuse(kBaMemoryFull, 0);
  List(1 - from).SetSel(-1, FALSE);
  FillSequence(1 - from);
}

void CProgBADlg::OnSlotSelected() {
  const int selected = Item<CComboBox>(IDC_BA_SLOT).GetCurSel();
  if (selected < 0 || !edit_.ChangeSlot(static_cast<std::uint16_t>(selected))) return;
  SetDlgItemText(IDC_BA_MAXIMUM, Number("%g", BaMaximumTime(edit_.Unit())).c_str());
  UpdateActual("%g");
  FillSequences();
}

void CProgBADlg::OnDefaultProgram(std::size_t sequence) {
  edit_.MarkSequencesChanged();
  const DefaultBaProgram plan = edit_.PlanDefault(sequence, timing_);
  if (!edit_.Fits(plan.cost)) return Refuse(kBaMemoryFull, 0);
  float cycle = plan.minimum_cycle;
  int aperiodic = 0;
  CParamProgDefDlg parameters(this, &cycle, &aperiodic, edit_.Slot(), document_.Records().param, timing_);
  if (parameters.DoModal() != IDOK) return;
  edit_.SetDefault(sequence, plan, cycle, aperiodic != 0);
  List(sequence).SetSel(-1, FALSE);
  FillSequence(sequence);
}

void CProgBADlg::ShowFileMode() {
  const bool file = edit_.FileMode();
  EnableDlgItems(*this, kProgramControls, !file);
  EnableDlgItems(*this, kDefaultButtons, !file);
  EnableDlgItems(*this, kEditControls, !file);
  EnableDlgItems(*this, kFileControls, file);
  if (file) {
    EnableDlgItems(*this, kArgumentControls, false);
    EnableDlgItems(*this, kDateControls, false);
  } else {
    ShowEditGroups();
  }
}

void CProgBADlg::OnFileClicked() {
  const bool checked = IsDlgButtonChecked(IDC_BA_FILE) == BST_CHECKED;
  if (online_) {
    CheckDlgButton(IDC_BA_FILE, edit_.FileMode() ? BST_CHECKED : BST_UNCHECKED);
    return;
  }
  edit_.SetFileMode(checked);
  ShowFileMode();
}

void CProgBADlg::OnBrowse() {
  const std::string current = GetDlgItemText(IDC_BA_PATH);
  CFileDialog dialog(TRUE, "ba", current.empty() ? "*.ba" : current.c_str(),
                     OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST, kBaFilter, this);
  dialog.m_ofn.title = "Select";
  if (dialog.DoModal() != IDOK) return;
  const std::string chosen = dialog.GetPathName();
  if (chosen.size() > BaProgramEdit::kMaxPathLength) return Refuse(kPathTooLong, IDC_BA_PATH);
  SetDlgItemText(IDC_BA_PATH, chosen.c_str());
  edit_.MarkFileOptionChanged();
}

void CProgBADlg::OnOK() {
  if (online_) return;
  // The edit being left is validated before anything is stored.
  GotoDlgCtrl(GetDlgItem(IDOK));
  switch (edit_.Save(document_, GetDlgItemText(IDC_BA_PATH))) {
    case BaProgramEdit::SaveResult::empty_path: return Refuse(kEnterFileName, IDC_BA_PATH);
    case BaProgramEdit::SaveResult::path_too_long: return Refuse(kPathTooLong, IDC_BA_PATH);
    case BaProgramEdit::SaveResult::unchanged:
    case BaProgramEdit::SaveResult::saved: break;
  }
  CDialog::OnOK();
}

}  // namespace plandrel
