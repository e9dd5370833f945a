// The message editor's two end pickers. CSourceDestLocaleDlg chooses the local end (a transmitted
// message's source, a received message's destination) among the configured variables;
// CSourceDestAutreDlg the far end, a station and one of its variables, or a typed identifier, and
// with it the message's remote station. Both work on the editor's working copy and change it on OK.
#pragma once

#include "ui/afxwin.h"

#include "editor_dialogs.h"
#include "records/configuration.h"

namespace plandrel {

inline constexpr UINT IDD_SOURCE_DEST_LOCALE = 139;
inline constexpr UINT IDD_SOURCE_DEST_AUTRE = 140;
inline constexpr int IDC_END_STATION = 1086;   // 139: the local station's name; 140: the stations
inline constexpr int IDC_END_VARIABLES = 1006;
inline constexpr int IDC_END_CONFIGURED = 1088;
inline constexpr int IDC_END_CONFIGURED_GROUP = 1093;
inline constexpr int IDC_END_STATION_TEXT = 1094;
inline constexpr int IDC_END_VARIABLES_TEXT = 1095;
inline constexpr int IDC_END_OTHER_GROUP = 1096;
inline constexpr int IDC_END_IDENTIFIER_TEXT = 1098;
inline constexpr int IDC_END_IDENTIFIER = 1045;
inline constexpr int IDC_END_HEXADECIMAL_TEXT = 1097;

void RegisterSourceDestDialogs();

class CSourceDestLocaleDlg : public CDialog {
 public:
  CSourceDestLocaleDlg(CWnd* parent, const records::Configuration& configuration, records::MESSAGE4& message);
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  const records::Configuration& configuration_;
  records::MESSAGE4& message_;
};

class CSourceDestAutreDlg : public CDialog {
 public:
  CSourceDestAutreDlg(CWnd* parent, const records::Configuration& configuration, records::MESSAGE4& message);
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  std::uint16_t& EndIdentifier();
  void FillStations();
  void FillStationVariables();
  void ShowChoice(bool configured);

  const records::Configuration& configuration_;
  records::MESSAGE4& message_;
};

}  // namespace plandrel
