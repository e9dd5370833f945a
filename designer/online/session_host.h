// SessionHost: what the on-line session uses of the program around it: the main frame (a window
// of the class-library layer, for the session's windows, message boxes and menus), the
// configuration tree, and the application's document, selected board, timing table and on-line
// flag. The application implements it over its main frame and itself; the session owns the one it
// is made with. Everything here belongs to the main thread, except IsOnline and SetOnline.
#pragma once

#include <string>

#include "model/selected_device.h"
#include "ui/afxcmn.h"
#include "ui/afxwin.h"

namespace plandrel {

class CPlandrelDoc;
struct TimingTable;

class SessionHost {
 public:
  virtual ~SessionHost() = default;

  // The main frame: the parent of the session's windows and of the on-line dialogs' frames, the
  // owner of the menu bar, the receiver of the session's messages to the frame.
  virtual CMDIFrameWnd& Frame() = 0;
  // The frame is the application's main window (the tree texts are sent only then).
  virtual bool IsMainWindow() const = 0;

  // The configuration tree's control, null when there is none.
  virtual CTreeCtrl* Tree() = 0;
  // Expands the root, the local station and its variables (Connect).
  virtual void ExpandLocalStation() = 0;
  // Puts the tree's frame beneath the on-line dialogs' frames, without activating it.
  virtual void SendTreeToBottom() = 0;
  // Enables or greys entry `position` of the on-line "Messages" popup.
  virtual void EnableMessageMenuItem(int position, bool enable) = 0;
  // The frame's Open .csv command, and the interpretation file it chose (empty when none).
  virtual void OpenCsv() = 0;
  virtual std::string CsvPath() const = 0;

  virtual CPlandrelDoc* Document() = 0;
  virtual SelectedDevice Device() const = 0;
  virtual const TimingTable& Timing() const = 0;
  // The application's on-line flag; read by the session thread.
  virtual bool IsOnline() const = 0;
  virtual void SetOnline(bool online) = 0;
};

}  // namespace plandrel
