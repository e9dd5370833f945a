#include "online/frame_dlg.h"

#include <array>
#include <utility>

#include "model/plandrel_doc.h"
#include "online/designer_messages.h"
#include "online/online_resources.h"
#include "online/session_host.h"

namespace plandrel {

namespace {

constexpr std::array<FrameDlgKindInfo, kFrameDlgKinds> kKinds = {{
    {"Bus arbitrator control", false, IDI_BA_CONTROL, WM_FIP_BA_DLG_CLOSED},
    {"produced.", true, IDI_VAR_PRODUCED, WM_FIP_VAR_DLG_CLOSED},
    {"consumed.", true, IDI_VAR_CONSUMED, WM_FIP_VAR_DLG_CLOSED},
    {"transmitted.", true, IDI_MES_TRANSMITTED, WM_FIP_MES_DLG_CLOSED},
    {"received.", true, IDI_MES_RECEIVED, WM_FIP_MES_DLG_CLOSED},
    {"Medium management", false, IDI_MEDIUM, WM_FIP_MEDIUM_DLG_CLOSED},
    {"Aperiodical sending", false, IDI_APERIODIC, WM_FIP_APER_DLG_CLOSED},
}};

// New frames cascade from the client area's upper left corner.
constexpr int kCascadeStep = 24;
constexpr int kCascadeSteps = 10;

}  // namespace

const FrameDlgKindInfo& FrameKindInfo(FrameDlgKind kind) { return kKinds.at(kind); }

std::string FrameCaption(FrameDlgKind kind, std::string_view name) {
  const FrameDlgKindInfo& info = FrameKindInfo(kind);
  if (!info.named) return std::string(info.caption);
  return std::string(name) + ", " + std::string(info.caption);
}

// ---- CFrameDlg

CFrameDlg::CFrameDlg(UINT template_id, FrameDlgKind kind) : template_id_(template_id), kind_(kind) {
  MapMessage(WM_FIP_CLOSE_FRAME, [this](WPARAM, LPARAM) -> LRESULT {
    DestroyWindow();
    return 0;
  });
  // The main window's title follows a frame that is minimised or restored.
  MapMessage(WM_SIZE, [this](WPARAM type, LPARAM) -> LRESULT {
    if (type == SIZE_RESTORED || type == SIZE_MINIMIZED) RefreshTitle();
    return 0;
  });
}

CFrameDlg::~CFrameDlg() { DestroyWindow(); }

bool CFrameDlg::CreateFrame(SessionHost& host, const std::string& caption) {
  host_ = &host;
  // An empty rectangle: the frame takes its default place, and its size from the dialog.
  if (!Create(nullptr, caption.c_str(), kStyle & ~WS_VISIBLE, CRect(0, 0, 0, 0), &host.Frame())) return false;
  if (CWinApp* app = AfxGetApp()) SetIcon(app->LoadIcon(FrameKindInfo(kind_).icon), TRUE);
  return true;
}

void CFrameDlg::Host(CDialog& dialog) {
  dialog_ = &dialog;
  SetClient(&dialog);
  CRect client;
  dialog.GetClientRect(&client);
  CRect frame = client;
  AdjustWindowRect(&frame, kStyle, FALSE);
  // The default place of a new child frame: cascaded below the dialog frames already open.
  int others = 0;
  if (CMDIFrameWnd* main = GetMDIFrame())
    for (CMDIChildWnd* child : main->MDIChildren()) others += child != this && dynamic_cast<CFrameDlg*>(child) ? 1 : 0;
  const int offset = kCascadeStep * (others % kCascadeSteps);
  SetWindowPos(nullptr, offset, offset, frame.Width(), frame.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(SW_SHOW);
  MDIActivate();
  RefreshTitle();
}

void CFrameDlg::OnClose() {
  // The close callback may forget this frame's dialog; the objects live on until the session
  // frees them, so both windows can go now.
  if (on_user_close_) std::exchange(on_user_close_, nullptr)();
  DestroyWindow();
}

void CFrameDlg::OnMDIActivate(BOOL activate, CWnd* activated, CWnd* deactivated) {
  CMDIChildWnd::OnMDIActivate(activate, activated, deactivated);
  if (!activate) return;
  RefreshTitle();
  if (host_) host_->SendTreeToBottom();
}

BOOL CFrameDlg::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  on_user_close_ = nullptr;
  if (dialog_ && dialog_->m_hWnd) dialog_->DestroyWindow();
  CMDIChildWnd::DestroyWindow();
  RefreshTitle();
  return TRUE;
}

void CFrameDlg::RefreshTitle() {
  if (host_ == nullptr) return;
  if (CPlandrelDoc* document = host_->Document()) document->UpdateTitle();
}

// ---- CHostedDlg

CHostedDlg::CHostedDlg(UINT template_id, FrameDlgKind kind) : CDialog(template_id), frame_(template_id, kind) {}

CHostedDlg::~CHostedDlg() {
  DestroyWindow();
  frame_.DestroyWindow();
}

bool CHostedDlg::Open(SessionHost& host, const std::string& caption) {
  if (!frame_.CreateFrame(host, caption)) return false;
  if (!Create(frame_.TemplateId(), &frame_)) {
    frame_.DestroyWindow();
    return false;
  }
  window_ = m_hWnd;
  frame_window_ = frame_.m_hWnd;
  frame_.Host(*this);
  return true;
}

void CHostedDlg::ActivateFrame() {
  CWnd* frame = CWnd::FromHandle(frame_window_);
  if (frame == nullptr) return;
  if (frame->IsIconic()) frame->ShowWindow(SW_RESTORE);
  frame_.MDIActivate();
}

void CHostedDlg::CloseFrameWindow() {
  if (frame_window_ != nullptr) ::SendMessage(frame_window_, WM_FIP_CLOSE_FRAME, 0, 0);
}

}  // namespace plandrel
