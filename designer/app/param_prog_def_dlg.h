// CParamProgDefDlg: "Default program parameters", the dialog in which the default-program generator
// of the BA program editor asks for the cycle duration and whether aperiodic variables are sent.
// It shows the bus parameters the estimate was made with, and the cycle's bounds: the estimated
// minimum and the latest date of the slot time.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/timing_table.h"
#include "records/general_param.h"
#include "ui/afxwin.h"

namespace plandrel {

inline constexpr UINT IDD_PARAM_PROG_DEF = 145;
inline constexpr int IDC_DEF_FRAMES = 1301;
inline constexpr int IDC_DEF_SPEED = 1302;
inline constexpr int IDC_DEF_TURNAROUND = 1303;
inline constexpr int IDC_DEF_SLOT = 1304;
inline constexpr int IDC_DEF_MINIMUM = 1305;
inline constexpr int IDC_DEF_MAXIMUM = 1306;
inline constexpr int IDC_DEF_CYCLE = 1307;
inline constexpr int IDC_DEF_APERIODIC = 1308;
inline constexpr int IDC_DEF_HELP = 1309;

inline constexpr std::string_view kEnterCycle = "Enter a cycle duration.";

void RegisterParamProgDefTemplate();

class CParamProgDefDlg : public CDialog {
 public:
  // `cycle` holds the minimum cycle in ms on entry and the chosen cycle after OK; `aperiodic` takes
  // the check box (0 or 1) after OK. `param` and `timing` are the configuration's, for the display.
  CParamProgDefDlg(CWnd* parent, float* cycle, int* aperiodic, std::uint16_t slot, const records::GENERAL_PARAM& param,
                   const TimingTable& timing);

  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  float minimum_;
  float maximum_;
  float* cycle_;
  int* aperiodic_;
  std::uint16_t slot_;
  const records::GENERAL_PARAM& param_;
  const TimingTable& timing_;
};

}  // namespace plandrel
