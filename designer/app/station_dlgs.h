// The two station pickers of the variable editor: CStaProdDlg chooses the producing station,
// CStaConsDlg the consuming stations. Each works on the editor's working copy of the variable and
// changes it only on OK (producer, consumer_count, consumers and direction).
#pragma once

#include "ui/afxwin.h"

#include "editor_dialogs.h"
#include "records/configuration.h"

namespace plandrel {

inline constexpr UINT IDD_STA_CONS = 143;
inline constexpr UINT IDD_STA_PROD = 144;
inline constexpr int IDC_STATIONS_LIST = 1006;       // CStaProdDlg: single selection
inline constexpr int IDC_ALL_STATIONS = 1007;        // CStaConsDlg: every station, multiple selection
inline constexpr int IDC_ADD_CONSUMERS = 1079;       // ">>"
inline constexpr int IDC_CONSUMING_STATIONS = 1035;  // multiple selection
inline constexpr int IDC_DELETE_CONSUMERS = 1058;

// The item data of the consumers list's placeholder line: a value that no station index takes.
inline constexpr DWORD_PTR kPlaceholderData = 300;

void RegisterStationDialogs();

class CStaProdDlg : public CDialog {
 public:
  CStaProdDlg(CWnd* parent, const records::Configuration& configuration, records::VARIABLE4& variable);
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  const records::Configuration& configuration_;
  records::VARIABLE4& variable_;
};

class CStaConsDlg : public CDialog {
 public:
  CStaConsDlg(CWnd* parent, const records::Configuration& configuration, records::VARIABLE4& variable);
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  void OnAdd();
  void OnAllStationsDoubleClick();
  void OnDelete();
  // Appends station `index` to the consumers unless it is there; the placeholder line goes first.
  void Append(int index);
  bool IsChosen(int index);

  const records::Configuration& configuration_;
  records::VARIABLE4& variable_;
};

}  // namespace plandrel
