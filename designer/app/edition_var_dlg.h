// CEditionVarDlg: the variable editor (dialog 138). It edits a working copy of one VARIABLE4; only a
// Save that passes every check, in a fixed order, writes the copy back, keeps the messages naming
// the variable in step (identifier, remote stations) and each periodic message with its carrier's
// channel (a channel given up closes its gap; one kept stays as it is), updates the tree and
// rewrites the variables (and, when touched, messages) working files. On line it is view-only.
#pragma once

#include <cstdint>
#include <string>

#include "ui/afxwin.h"

#include "editor_context.h"
#include "records/configuration.h"

namespace plandrel {

inline constexpr UINT IDD_EDITION_VAR = 138;
inline constexpr int IDC_VAR_NAME = 1025;
inline constexpr int IDC_VAR_IDENTIFIER = 1045;
inline constexpr int IDC_VAR_LENGTH = 1047;
inline constexpr int IDC_VAR_PDU = 1046;
inline constexpr int IDC_VAR_FORMAT = 1032;
inline constexpr int IDC_VAR_PRODUCTION = 1048;
inline constexpr int IDC_VAR_PRODUCER = 1120;
inline constexpr int IDC_VAR_CONSUMPTION = 1049;
inline constexpr int IDC_VAR_CONSUMERS = 1122;
inline constexpr int IDC_VAR_RECEPTION = 1071;
inline constexpr int IDC_VAR_EMISSION = 1072;
inline constexpr int IDC_VAR_TYPE_GROUP = 1078;
inline constexpr int IDC_VAR_APERIODICAL = 1073;
inline constexpr int IDC_VAR_PERIODICAL = 1074;
inline constexpr int IDC_VAR_APERIODIC_REQUESTS = 1075;
inline constexpr int IDC_VAR_REQUESTS_TEXT1 = 1134;
inline constexpr int IDC_VAR_REQUESTS_TEXT2 = 1135;
inline constexpr int IDC_VAR_REQUESTS_TEXT3 = 1136;
inline constexpr int IDC_VAR_REFRESHMENT = 1052;
inline constexpr int IDC_VAR_REFRESHMENT_PERIOD = 1050;
inline constexpr int IDC_VAR_PROMPTNESS = 1053;
inline constexpr int IDC_VAR_PROMPTNESS_PERIOD = 1051;

void RegisterEditionVarDialog();

class CEditionVarDlg : public CDialog {
 public:
  // `index`: the variable in the document's list; `new_record`: 1 when the caller has just
  // appended it, 0 for an existing variable.
  CEditionVarDlg(CWnd* parent, const EditorContext& context, int index, int new_record);

  BOOL OnInitDialog() override;
  // Save.
  void OnOK() override;

  const records::VARIABLE4& WorkingCopy() const { return working_; }

 private:
  std::string Title() const;
  bool Produced() const { return working_.direction == 0; }
  void FillConsumerList();
  void RefreshDirectionControls();
  void ShowPeriod(int edit, bool enabled, std::uint16_t period);
  // Runs a station picker on the working copy and shows what it changed.
  template <class Picker> void PickStations();
  // The check box returns to its state before the user's click (on line).
  void UndoClick(int id);
  // Shows a refusal of Save and puts the focus on the control concerned.
  void Refuse(int focus, const std::string& text);
  bool SavePeriod(int box, int edit, std::uint8_t& status, std::uint16_t& period, std::uint16_t record_period,
                  float largest, const char* too_small, const char* too_high);

  EditorContext context_;
  records::VARIABLE4 working_{};
  std::int16_t index_ = -1;
  records::VARIABLE4* record_ = nullptr;
  int new_record_ = 0;
  int periodic_at_opening_ = 0;
};

}  // namespace plandrel
