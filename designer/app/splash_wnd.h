// CSplashWnd: the bitmap "splash.dib" of the program's folder in a borderless pop-up centred over
// the main window, for two seconds or until the user presses a key or a mouse button. At most one
// exists; a missing, damaged or oversized file simply means no splash.
#pragma once

#include "ui/afxwin.h"

#include <filesystem>

#include "splash_bitmap.h"

namespace plandrel {

class CSplashWnd : public CWnd {
 public:
  // The application passes the command line's show-splash flag.
  static void EnableSplash(bool enable);
  // Shows the splash over `parent` when enabled and none is shown.
  static void ShowSplash(CWnd* parent);
  // Whether msg was taken: with a splash shown, a key or mouse button press hides it and goes no
  // further.
  static bool SplashTakesMessage(const MSG* msg);
  static CSplashWnd* Current();
  // Where the bitmap is looked for: "splash.dib" in the program's folder unless set (tests).
  static void SetBitmapPath(std::filesystem::path path);

  void HideSplash();

  int OnCreate(LPCREATESTRUCT cs) override;
  void OnPaint() override;
  void OnTimer(UINT_PTR id) override;
  void PostNcDestroy() override;

 private:
  explicit CSplashWnd(SplashBitmap bitmap);
  ~CSplashWnd() override;

  SplashBitmap bitmap_;
};

}  // namespace plandrel
