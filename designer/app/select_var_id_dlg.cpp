#include "select_var_id_dlg.h"

#include "dialog_items.h"
#include "number_field.h"
#include "records/byte_codec.h"

namespace plandrel {

void RegisterSelectVarIdDialog() {
  using qui::ControlKind;
  qui::RegisterDialog(
      {IDD_SELECT_VAR_ID,
       200,
       172,
       "Identifier selection",
       "MS Shell Dlg",
       8,
       qui::kModalFrame | qui::kSystemMenu,
       {
           {IDC_CONFIGURED_IDENTIFIER, ControlKind::CheckBox, 7, 7, 186, 10, "Configured variable identifier"},
           {IDC_VARIABLES_GROUP, ControlKind::GroupBox, 7, 20, 186, 96, "Variables"},
           {IDC_VARIABLES_LIST, ControlKind::ListBox, 14, 32, 172, 78, "", qui::kVerticalScroll},
           {IDC_IDENTIFIER_GROUP, ControlKind::GroupBox, 7, 120, 186, 28, "Identifier"},
           {IDC_HEXADECIMAL_TEXT, ControlKind::Static, 60, 133, 60, 8, "(hexadecimal)"},
           {IDC_TYPED_IDENTIFIER, ControlKind::Edit, 14, 131, 40, 12, ""},
           {IDOK, ControlKind::PushButton, 18, 152, 50, 14, "OK", qui::kDefault},
           {IDCANCEL, ControlKind::PushButton, 75, 152, 50, 14, "Cancel"},
           {IDC_DIALOG_HELP, ControlKind::PushButton, 132, 152, 50, 14, "Help"},
       }});
}

std::optional<std::uint16_t> TypedIdentifier(CDialog& dialog, int edit) {
  if (dialog.GetDlgItemText(edit).empty()) {
    dialog.MessageBox(kEnterIdentifier);
    return std::nullopt;
  }
  std::int64_t value = 0;
  const NumberRead read =
      ReadNumberField(dialog, edit, 16, {0, "0", kIdentifierPositive}, {0xFFFF, "FFFF", kIdentifierTooHigh}, value);
  if (read == NumberRead::not_a_number) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

CSelectVarIdDlg::CSelectVarIdDlg(CWnd* parent, const records::Configuration& configuration, std::uint16_t& identifier)
    : CDialog(IDD_SELECT_VAR_ID, parent), configuration_(configuration), identifier_(identifier) {
  MapNotify(IDC_CONFIGURED_IDENTIFIER, BN_CLICKED, [this] {
    const bool configured = IsDlgButtonChecked(IDC_CONFIGURED_IDENTIFIER) != 0;
    ShowChoice(configured);
    GotoDlgCtrl(GetDlgItem(configured ? IDC_VARIABLES_LIST : IDC_TYPED_IDENTIFIER));
  });
  MapNotify(IDC_VARIABLES_LIST, LBN_DBLCLK, [this] { OnOK(); });
}

void CSelectVarIdDlg::ShowChoice(bool configured) {
  EnableDlgItems(*this, {IDC_VARIABLES_GROUP, IDC_VARIABLES_LIST}, configured);
  EnableDlgItems(*this, {IDC_IDENTIFIER_GROUP, IDC_TYPED_IDENTIFIER, IDC_HEXADECIMAL_TEXT}, !configured);
}

BOOL CSelectVarIdDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  Item<CEdit>(IDC_TYPED_IDENTIFIER).SetLimitText(4);
  CheckDlgButton(IDC_CONFIGURED_IDENTIFIER, BST_CHECKED);
  auto& list = Item<CListBox>(IDC_VARIABLES_LIST);
  for (const records::VARIABLE4& v : configuration_.variables) {
    const std::string name(records::text_of(v.name));
    list.SetItemData(list.AddString(name.c_str()), v.identifier);
  }
  ShowChoice(true);
  return TRUE;
}

void CSelectVarIdDlg::OnOK() {
  GetDlgItem(IDOK)->SetFocus();
  if (IsDlgButtonChecked(IDC_CONFIGURED_IDENTIFIER)) {
    auto& list = Item<CListBox>(IDC_VARIABLES_LIST);
    if (list.GetCurSel() < 0) {
      MessageBox(kSelectVariable);
      return;
    }
    identifier_ = static_cast<std::uint16_t>(list.GetItemData(list.GetCurSel()));
  } else {
    const std::optional<std::uint16_t> typed = TypedIdentifier(*this, IDC_TYPED_IDENTIFIER);
    if (!typed) return;
    identifier_ = *typed;
  }
  CDialog::OnOK();
}

}  // namespace plandrel
