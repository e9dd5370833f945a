// CSelectVarIdDlg: chooses a variable identifier, from the configured variables or typed in
// hexadecimal, for the aperiodic list editor and the BA program editor. On OK the caller's
// identifier holds the choice; Cancel leaves it as it was.
#pragma once

#include <cstdint>
#include <optional>

#include "ui/afxwin.h"

#include "editor_dialogs.h"
#include "records/configuration.h"

namespace plandrel {

inline constexpr UINT IDD_SELECT_VAR_ID = 137;
inline constexpr int IDC_CONFIGURED_IDENTIFIER = 1088;
inline constexpr int IDC_VARIABLES_GROUP = 1093;
inline constexpr int IDC_VARIABLES_LIST = 1006;
inline constexpr int IDC_IDENTIFIER_GROUP = 1096;
inline constexpr int IDC_TYPED_IDENTIFIER = 1045;
inline constexpr int IDC_HEXADECIMAL_TEXT = 1097;

// The texts shared by the dialogs that take an identifier.
inline constexpr const char* kSelectVariable = "Select a variable.";
inline constexpr const char* kEnterIdentifier = "Enter an identifier.";
inline constexpr const char* kIdentifierPositive = "An identifier must be positive.";
inline constexpr const char* kIdentifierTooHigh = "Identifier too high.\nThe maximum value is 0xFFFF.";

void RegisterSelectVarIdDialog();

// A typed identifier as the selection dialogs take it: an empty edit says "Enter an identifier.";
// a negative or too high value is corrected in the edit, told and accepted; a text that is not a
// hexadecimal number is told as a negative one, corrected, but not accepted. The identifier when
// it is accepted.
std::optional<std::uint16_t> TypedIdentifier(CDialog& dialog, int edit);

class CSelectVarIdDlg : public CDialog {
 public:
  CSelectVarIdDlg(CWnd* parent, const records::Configuration& configuration, std::uint16_t& identifier);
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  void ShowChoice(bool configured);

  const records::Configuration& configuration_;
  std::uint16_t& identifier_;
};

}  // namespace plandrel
