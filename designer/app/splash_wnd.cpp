#include "splash_wnd.h"

#include <optional>

#include "program_path.h"

namespace plandrel {
namespace {

constexpr UINT_PTR kSplashTimer = 1;
constexpr UINT kSplashMilliseconds = 2000;

// Process-wide, main thread only: the enabled flag, the one splash window and the bitmap's path.
bool g_enabled = false;
CSplashWnd* g_splash = nullptr;
std::optional<std::filesystem::path> g_path;

std::filesystem::path bitmap_path() { return g_path ? *g_path : splash_path(ProgramPath()); }

}  // namespace

void CSplashWnd::EnableSplash(bool enable) { g_enabled = enable; }
void CSplashWnd::SetBitmapPath(std::filesystem::path path) { g_path = std::move(path); }
CSplashWnd* CSplashWnd::Current() { return g_splash; }

void CSplashWnd::ShowSplash(CWnd* parent) {
  if (!g_enabled || g_splash != nullptr) return;
  SplashReadResult read = read_splash_bitmap(bitmap_path());
  if (!read.bitmap) return;
  const CRect rect(0, 0, read.bitmap->width, read.bitmap->height);
  auto* splash = new CSplashWnd(std::move(*read.bitmap));
  g_splash = splash;
  if (splash->Create(nullptr, "", WS_POPUP | WS_VISIBLE | WS_BORDER, rect, parent, 0)) {
    splash->UpdateWindow();
    return;
  }
  // A window whose creation failed after its handle existed has deleted itself already.
  if (g_splash == splash) delete splash;
}

bool CSplashWnd::SplashTakesMessage(const MSG* msg) {
  if (g_splash == nullptr || msg == nullptr) return false;
  switch (msg->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN: g_splash->HideSplash(); return true;
    default: return false;
  }
}

CSplashWnd::CSplashWnd(SplashBitmap bitmap) : bitmap_(std::move(bitmap)) {}

CSplashWnd::~CSplashWnd() {
  if (g_splash == this) g_splash = nullptr;
}

int CSplashWnd::OnCreate(LPCREATESTRUCT cs) {
  if (CWnd::OnCreate(cs) == -1) return -1;
  CenterWindow();
  SetTimer(kSplashTimer, kSplashMilliseconds, nullptr);
  return 0;
}

void CSplashWnd::OnPaint() {
  CPaintDC dc(this);
  dc.SetDIBitsToDevice(0, 0, bitmap_.width, bitmap_.height, bitmap_.pixels.data(), bitmap_.info.data());
}

void CSplashWnd::OnTimer(UINT_PTR id) {
  if (id == kSplashTimer) HideSplash();
}

void CSplashWnd::HideSplash() {
  CWnd* main = AfxGetMainWnd();
  DestroyWindow();  // deletes this
  if (main) main->UpdateWindow();
}

void CSplashWnd::PostNcDestroy() { delete this; }

}  // namespace plandrel
