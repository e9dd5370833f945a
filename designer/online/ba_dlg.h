// CFipBaDlg (template 132): the bus arbitrator control in its frame. Start, Stop and Continue go
// to BaControl; Toggle switches the sequence to go on with. The state text comes from the session
// thread (WM_FIP_BA_STATE); the sequence shown answers WM_FIP_BA_SEQUENCE.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "online/frame_dlg.h"
#include "online/online_host.h"

namespace plandrel {

class BaControl;

class CFipBaDlg final : public CHostedLinkDlg<BaDialogLink> {
 public:
  // own_program: the arbitrator runs the configuration's two sequences; otherwise a program
  // file, and the sequence controls stay disabled.
  CFipBaDlg(BaControl& ba, const OnlineLocks& locks, bool own_program);

  BOOL OnInitDialog() override;
  // The session thread, under csBaDialog: the text to show, then WM_FIP_BA_STATE.
  void State(std::string_view text) override;

  // 0 (none), 1 or 2.
  int Sequence() const { return sequence_; }

 private:
  void ShowSequence();
  void OnToggle();
  void OnState();

  BaControl& ba_;
  OnlineLocks locks_;
  bool own_program_;
  std::string state_text_;  // guarded by csBaDialog
  std::int16_t sequence_ = 0;
};

}  // namespace plandrel
