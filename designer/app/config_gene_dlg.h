// CConfigGeneDlg: "General settings", the modal editor of the configuration's bus parameters (bit
// rate, turnaround and silence times, clock multiplier, frame type), of whether the local station
// has the BA features, and of the bus arbitrator's start delay, priority and padding identifier.
// Times are edited as counts of hardware units and shown in µs or ms; typed times are brought to the
// nearest count within bounds. The changes live in a GeneralSettingsEdit until Save. On line it only
// shows.
#pragma once

#include <optional>
#include <string_view>

#include "arbre_ctrl.h"
#include "model/general_settings.h"
#include "model/plandrel_doc.h"
#include "model/timing_table.h"
#include "ui/afxwin.h"

namespace plandrel {

inline constexpr UINT IDD_CONFIG_GENE = 134;
inline constexpr int IDC_GENE_SPEED = 1401;
inline constexpr int IDC_GENE_TURNAROUND = 1402;
inline constexpr int IDC_GENE_TURNAROUND_UP = 1403;
inline constexpr int IDC_GENE_TURNAROUND_DOWN = 1404;
inline constexpr int IDC_GENE_SILENCE = 1405;
inline constexpr int IDC_GENE_SILENCE_UP = 1406;
inline constexpr int IDC_GENE_SILENCE_DOWN = 1407;
inline constexpr int IDC_GENE_CLOCK = 1408;
inline constexpr int IDC_GENE_WORLDFIP = 1409;
inline constexpr int IDC_GENE_BA = 1410;
inline constexpr int IDC_GENE_BA_GROUP = 1411;
inline constexpr int IDC_GENE_DELAY = 1412;
inline constexpr int IDC_GENE_DELAY_UP = 1413;
inline constexpr int IDC_GENE_DELAY_DOWN = 1414;
inline constexpr int IDC_GENE_PRIORITY = 1415;
inline constexpr int IDC_GENE_ELECTION = 1416;
inline constexpr int IDC_GENE_PADDING = 1417;
inline constexpr int IDC_GENE_HELP = 1418;
// The labels of the "Bus arbitrator" group, enabled with it.
inline constexpr int IDC_GENE_DELAY_LABEL = 1419;
inline constexpr int IDC_GENE_DELAY_UNIT = 1420;
inline constexpr int IDC_GENE_PRIORITY_LABEL = 1421;
inline constexpr int IDC_GENE_ELECTION_LABEL = 1422;
inline constexpr int IDC_GENE_ELECTION_UNIT = 1423;
inline constexpr int IDC_GENE_PADDING_LABEL = 1424;
inline constexpr int IDC_GENE_PADDING_UNIT = 1425;

inline constexpr std::string_view kGeneMemoryFull =
    "The FULLFIP memory space is full.\nRemove some configuration elements (variables, messages).";
inline constexpr std::string_view kPriorityRange = "The priority level must be included between 0 and 15.";
inline constexpr std::string_view kPaddingPositive = "The padding identifier must be positive.";

void RegisterConfigGeneTemplate();

class CConfigGeneDlg : public CDialog {
 public:
  // `tree` (may be null) follows a change of the BA features at Save.
  CConfigGeneDlg(CWnd* parent, CPlandrelDoc& document, const TimingTable& timing, bool online, CArbreCtrl* tree);

  BOOL OnInitDialog() override;
  void OnOK() override;

  const GeneralSettingsEdit& Edit() const { return edit_; }

 private:
  // An edit of a time, and the words of its "too small" and "too high" messages.
  struct TimeEdit {
    GeneralSettingsEdit::TimeField field;
    int id;
    const char* name;
    const char* unit;
  };
  static const TimeEdit kTimeEdits[3];

  void ShowSpeed();
  void ShowTime(const TimeEdit& edit);
  void ShowElection();
  void ShowPriority();
  void ShowPadding();
  // Every time and the election time.
  void ShowAll();
  void ShowBaGroup();
  // Puts the stored value back in an edit whose text is no number, with a beep.
  void RefuseText(void (CConfigGeneDlg::*show)());

  void OnSpeedSelected();
  void OnTurnaroundStep(int step);
  void OnSilenceStep(int step);
  void OnStartDelayStep(int step);
  void OnTypedTime(const TimeEdit& edit);
  void OnTypedPriority();
  void OnTypedPadding();
  // A click on a check box; on line it is undone.
  bool TakeClick(int id, bool stored);
  void OnClockMultiplier();
  void OnWorldFip();
  void OnBaFeatures();

  CPlandrelDoc& document_;
  const bool online_;
  CArbreCtrl* tree_;
  GeneralSettingsEdit edit_;
};

}  // namespace plandrel
