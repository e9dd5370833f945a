// CEditionStaDlg: the station editor (dialog 141). It edits one entry of the station table (name and
// physical address) and the station's presence variable, which it creates, renumbers or removes
// with the station. Save checks every field first and changes the document only once all passed: the
// entry, the local station's election count, the presence variable (through the record commands,
// so that the memory estimate, the periodic channels and the messages follow), the tree and the
// working files of what changed. On line it is view-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/afxwin.h"

#include "editor_context.h"

namespace plandrel {

inline constexpr UINT IDD_EDITION_STA = 141;
inline constexpr int IDC_STA_NAME = 1025;
inline constexpr int IDC_STA_ADDRESS = 1100;
inline constexpr int IDC_STA_PRESENCE = 1101;

void RegisterEditionStaDialog();

class CEditionStaDlg : public CDialog {
 public:
  CEditionStaDlg(CWnd* parent, const EditorContext& context, std::size_t index);

  BOOL OnInitDialog() override;
  // Save.
  void OnOK() override;

 private:
  static std::string Title(std::string_view name);
  // Shows a refusal of Save and puts the focus on `focus`, its text selected when `select`.
  void Refuse(int focus, const std::string& text, bool select = false);

  EditorContext context_;
  std::uint16_t index_ = 0;
  bool valid_ = false;              // the index names a station
  std::int16_t presence_ = -1;      // index of the station's presence variable at opening, -1: none
};

}  // namespace plandrel
