#include "edition_lst_ap_dlg.h"

#include <algorithm>
#include <cctype>

#include "editor_dialogs.h"
#include "model/config_checks.h"
#include "model/plandrel_doc.h"
#include "model/record_commands.h"
#include "number_field.h"
#include "records/byte_codec.h"
#include "select_var_id_dlg.h"

namespace plandrel {

namespace {

constexpr std::size_t kMaxName = 32;

constexpr const char* kTooManyIdentifiers = "A list cannot contain more than 64 identifiers.";
constexpr const char* kSelectIdentifier = "Select an identifier.";
constexpr const char* kEnterName = "Enter a name.";
constexpr const char* kNameInUse = "This name is already in use by a list.";
constexpr const char* kEmptyList = "Empty list :\ncannot save.";

bool SameText(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

void RegisterEditionLstApDialog() {
  using qui::ControlKind;
  qui::RegisterDialog(
      {IDD_EDITION_LST_AP,
       200,
       186,
       "Aperiodical list",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_STATIC, ControlKind::Static, 7, 9, 30, 8, "Name"},
           {IDC_LIST_NAME, ControlKind::Edit, 40, 7, 153, 12, ""},
           {IDC_STATIC, ControlKind::GroupBox, 7, 24, 186, 28, "Sending mode"},
           {IDC_LIST_NORMAL, ControlKind::CheckBox, 16, 36, 70, 10, "normal"},
           {IDC_LIST_URGENT, ControlKind::CheckBox, 100, 36, 70, 10, "urgent"},
           {IDC_STATIC, ControlKind::GroupBox, 7, 56, 186, 104, "Identifiers (hexadecimal)"},
           {IDC_LIST_IDENTIFIERS, ControlKind::ListBox, 16, 68, 100, 86, "",
            qui::kMultipleSelection | qui::kVerticalScroll},
           {IDC_LIST_ADD, ControlKind::PushButton, 128, 80, 55, 14, "Add"},
           {IDC_LIST_DELETE_IDENTIFIERS, ControlKind::PushButton, 128, 100, 55, 14, "Delete"},
           {IDOK, ControlKind::PushButton, 23, 166, 50, 14, "OK", qui::kDefault},
           {IDCANCEL, ControlKind::PushButton, 78, 166, 50, 14, "Cancel"},
           {IDC_DIALOG_HELP, ControlKind::PushButton, 133, 166, 50, 14, "help"},
       }});
}

CEditionLstApDlg::CEditionLstApDlg(CWnd* parent, const EditorContext& context, std::size_t index)
    : CDialog(IDD_EDITION_LST_AP, parent), context_(context), index_(index) {
  valid_ = index < context_.document.Records().lists.size();
  // The two mode boxes work as a pair.
  MapNotify(IDC_LIST_NORMAL, BN_CLICKED, [this] {
    CheckDlgButton(IDC_LIST_URGENT, IsDlgButtonChecked(IDC_LIST_NORMAL) ? BST_UNCHECKED : BST_CHECKED);
  });
  MapNotify(IDC_LIST_URGENT, BN_CLICKED, [this] {
    CheckDlgButton(IDC_LIST_NORMAL, IsDlgButtonChecked(IDC_LIST_URGENT) ? BST_UNCHECKED : BST_CHECKED);
  });
  MapNotify(IDC_LIST_ADD, BN_CLICKED, [this] { OnAdd(); });
  MapNotify(IDC_LIST_DELETE_IDENTIFIERS, BN_CLICKED, [this] { OnDeleteIdentifiers(); });
  // The title follows the typed name; the record changes only at OK.
  MapNotify(IDC_LIST_NAME, EN_KILLFOCUS, [this] {
    if (context_.online || !valid_) return;
    const std::string text = GetDlgItemText(IDC_LIST_NAME);
    if (text != records::text_of(context_.document.Records().lists[index_].name)) SetWindowText(Title(text).c_str());
  });
}

std::string CEditionLstApDlg::Title(std::string_view name) { return "List \"" + std::string(name) + "\""; }

BOOL CEditionLstApDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!valid_) {
    EndDialog(IDCANCEL);
    return TRUE;
  }
  const records::LISTE_APER& list = context_.document.Records().lists[index_];
  SetWindowText(Title(records::text_of(list.name)).c_str());
  Item<CEdit>(IDC_LIST_NAME).SetLimitText(kMaxName);
  SetDlgItemText(IDC_LIST_NAME, std::string(records::text_of(list.name)).c_str());
  const bool urgent = list.urgent == 1;
  CheckDlgButton(IDC_LIST_URGENT, urgent ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_LIST_NORMAL, urgent ? BST_UNCHECKED : BST_CHECKED);
  auto& identifiers = Item<CListBox>(IDC_LIST_IDENTIFIERS);
  for (std::uint16_t identifier : list.identifiers)
    identifiers.SetItemData(identifiers.AddString(HexText(identifier).c_str()), identifier);
  return TRUE;
}

void CEditionLstApDlg::OnAdd() {
  auto& identifiers = Item<CListBox>(IDC_LIST_IDENTIFIERS);
  if (identifiers.GetCount() >= static_cast<int>(records::LISTE_APER::max_identifiers)) {
    MessageBox(kTooManyIdentifiers);
    return;
  }
  std::uint16_t identifier = 0;
  CSelectVarIdDlg select(this, context_.document.Records(), identifier);
  if (select.DoModal() != IDOK) return;
  const std::string text = HexText(identifier);
  for (int i = 0; i < identifiers.GetCount(); ++i)
    if (SameText(identifiers.GetText(i), text)) return;
  identifiers.SetItemData(identifiers.AddString(text.c_str()), identifier);
  changed_ = 1;
}

void CEditionLstApDlg::OnDeleteIdentifiers() {
  auto& identifiers = Item<CListBox>(IDC_LIST_IDENTIFIERS);
  const std::vector<int> selected = identifiers.GetSelectedIndices();
  if (selected.empty()) {
    MessageBox(kSelectIdentifier);
    return;
  }
  // From the last line up, so that the lines still to go keep their positions.
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) identifiers.DeleteString(static_cast<UINT>(*it));
  changed_ = 1;
}

void CEditionLstApDlg::OnOK() {
  if (!valid_) return;
  GetDlgItem(IDOK)->SetFocus();
  CPlandrelDoc& document = context_.document;
  records::Configuration& c = document.Records();
  auto& identifiers = Item<CListBox>(IDC_LIST_IDENTIFIERS);
  if (identifiers.GetCount() > 0) {
    const std::string name = GetDlgItemText(IDC_LIST_NAME);
    if (name.empty()) {
      MessageBox(kEnterName);
      return GotoDlgCtrl(GetDlgItem(IDC_LIST_NAME));
    }
    // The typed name is a candidate: a refused one never reaches the record.
    if (CheckListNames(c, index_, name.substr(0, kMaxName)) != kCheckOk) {
      MessageBox(kNameInUse);
      return GotoDlgCtrl(GetDlgItem(IDC_LIST_NAME));
    }
    records::LISTE_APER& list = c.lists[index_];
    records::set_text(list.name, name, kMaxName);
    list.urgent = IsDlgButtonChecked(IDC_LIST_URGENT) ? 1 : 0;
    if (changed_) {
      list.identifiers.clear();
      for (int i = 0; i < identifiers.GetCount(); ++i)
        list.identifiers.push_back(static_cast<std::uint16_t>(identifiers.GetItemData(i)));
    }
  } else {
    if (MessageBox(kEmptyList, nullptr, MB_OKCANCEL) != IDOK) return;
    RemoveList(c, index_);
  }
  if (!document.IsModified()) {
    document.SetModifiedFlag();
    document.UpdateTitle();
  }
  document.WriteWorkingFile(records::Section::listes);
  CDialog::OnOK();
}

}  // namespace plandrel
