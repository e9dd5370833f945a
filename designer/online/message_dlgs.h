// The message dialogs in their frames. CFipMesTransDlg (template 133) sends a message that the
// local station transmits and shows its send report (WM_FIP_MES_REPORT). CFipMesRecuDlg (135) and
// CFipMesNewDlg (148, which also shows the addresses of a message first received on line) browse
// the reception stack of a received message: one entry at a time, "<<" and ">>", Delete and
// Clear all, with the entry's text formatted by the message (WM_FIP_MES_SHOW) and told of new
// entries (WM_FIP_MES_FIRST, WM_FIP_MES_MORE).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "online/frame_dlg.h"
#include "online/online_host.h"

namespace plandrel {

class OnlineMessage;
struct MES_PILE;

// Line 1009 after a Send: "Message in sending queue", "Invalid format" or "Transmission error".
std::string_view MessageSendStatus(std::uint32_t code);
// Line 1010 for a send report code ("without acknowledge", ...; empty for an unknown code).
std::string_view SendReportText(std::uintptr_t code);

class CFipMesTransDlg final : public CHostedLinkDlg<MessageDialogLink> {
 public:
  explicit CFipMesTransDlg(OnlineMessage& message);

  BOOL OnInitDialog() override;
  // The session thread, under csMessageDialog: WM_FIP_MES_REPORT with the code.
  void Report(std::uint8_t code) override;
  void Show(std::string_view) override {}
  void EntryAdded(bool) override {}

 private:
  void OnSend();

  OnlineMessage& message_;
};

class CFipMesRecuDlg : public CHostedLinkDlg<MessageDialogLink> {
 public:
  CFipMesRecuDlg(OnlineMessage& message, const OnlineLocks& locks);

  BOOL OnInitDialog() override;
  void Report(std::uint8_t) override {}
  // Under csMessageDialog: the formatted entry, then WM_FIP_MES_SHOW.
  void Show(std::string_view text) override;
  // WM_FIP_MES_FIRST or WM_FIP_MES_MORE.
  void EntryAdded(bool first) override;

  // Entry n of the stack (nothing beyond it): its fields, then its text from the message.
  void ShowEntry(std::uint16_t number);
  std::uint16_t EntryNumber() const { return number_; }

 protected:
  CFipMesRecuDlg(UINT template_id, OnlineMessage& message, const OnlineLocks& locks);
  // The fields that the view shows and clears, and their labels; the message's addresses.
  virtual std::vector<int> Fields() const;
  virtual std::vector<int> Labels() const;
  virtual void ShowAddresses() {}

  OnlineMessage& message_;

 private:
  void OnDelete();
  void OnClearAll();
  void OnFormatChanged();
  void OnShow();
  void OnFirst();
  void ShowFields(const MES_PILE& entry, std::size_t count);
  void ClearView();
  void EnableView();
  // Format shows the message's display format (not stored again).
  void ShowFormat();

  OnlineLocks locks_;
  std::uint16_t number_ = 0;
  std::uint16_t length_ = 0;
  std::array<char, 11> date_{};
  std::array<char, 13> hour_{};
  std::vector<std::uint8_t> data_;
  bool clearing_ = false;
  std::string text_;  // written by the message under csMessageDialog
};

class CFipMesNewDlg final : public CFipMesRecuDlg {
 public:
  CFipMesNewDlg(OnlineMessage& message, const OnlineLocks& locks);

 protected:
  std::vector<int> Fields() const override;
  std::vector<int> Labels() const override;
  void ShowAddresses() override;
};

}  // namespace plandrel
