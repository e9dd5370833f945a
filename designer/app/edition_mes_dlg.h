// CEditionMesDlg: the message editor (dialog 136). It edits a working copy of one MESSAGE4: name,
// both ends, format, type, mode with the channel variable, acknowledgement and event number. Save
// checks the fields in a fixed order and writes the copy back with the controller memory estimate
// of a change of type, rewrites the messages working file and updates the tree. On line it is
// view-only.
#pragma once

#include <cstdint>
#include <string>

#include "ui/afxwin.h"

#include "editor_context.h"
#include "records/configuration.h"

namespace plandrel {

inline constexpr UINT IDD_EDITION_MES = 136;
inline constexpr int IDC_MES_NAME = 1025;
inline constexpr int IDC_MES_SOURCE_GROUP = 1169;
inline constexpr int IDC_MES_SOURCE_SELECT = 1085;
inline constexpr int IDC_MES_SOURCE_IDENTIFIER = 1081;
inline constexpr int IDC_MES_SOURCE_SEGMENT = 1084;
inline constexpr int IDC_MES_DESTINATION_GROUP = 1080;
inline constexpr int IDC_MES_DESTINATION_SELECT = 1083;
inline constexpr int IDC_MES_DESTINATION_IDENTIFIER = 1082;
inline constexpr int IDC_MES_DESTINATION_SEGMENT = 1087;
inline constexpr int IDC_MES_FORMAT = 1032;
inline constexpr int IDC_MES_TYPE_GROUP = 1078;
inline constexpr int IDC_MES_TRANSMITTED = 1040;
inline constexpr int IDC_MES_RECEIVED = 1039;
inline constexpr int IDC_MES_MODE_GROUP = 1090;
inline constexpr int IDC_MES_PERIODICAL = 1037;
inline constexpr int IDC_MES_APERIODICAL = 1038;
inline constexpr int IDC_MES_CHANNEL_TEXT = 1091;
inline constexpr int IDC_MES_CHANNEL_LIST = 1089;
inline constexpr int IDC_MES_ACKNOWLEDGED_GROUP = 1092;
inline constexpr int IDC_MES_YES = 1042;
inline constexpr int IDC_MES_NO = 1043;
inline constexpr int IDC_MES_EVENT_TEXT = 1099;
inline constexpr int IDC_MES_EVENT = 1041;

void RegisterEditionMesDialog();

class CEditionMesDlg : public CDialog {
 public:
  CEditionMesDlg(CWnd* parent, const EditorContext& context, int index);

  BOOL OnInitDialog() override;
  // Save.
  void OnOK() override;

  const records::MESSAGE4& WorkingCopy() const { return working_; }

 private:
  std::string Title() const;
  void FillChannelList();
  // Selects the entry of the variable that carries `channel`, else the first entry.
  void SelectChannelEntry(int channel);
  void ApplyType();
  void OnPeriodical();
  void OnYes();
  void ShowIdentifiers();
  // On line a box returns to its state before the user's click.
  void UndoClick(int id);
  template <class Picker> void PickEnd(int field);
  void Refuse(int focus, const char* text);

  EditorContext context_;
  records::MESSAGE4 working_{};
  int index_ = -1;
  records::MESSAGE4* record_ = nullptr;
};

}  // namespace plandrel
