// The on-line session as the main frame and the tree use it. The session itself (connection,
// session thread, on-line objects and dialogs) implements it; the program installs a factory
// that makes one for the main frame.
#pragma once

#include <cstddef>

#include "ui/afxwin.h"

namespace plandrel {

class FipSession {
 public:
  virtual ~FipSession() = default;

  // Starts the engine, downloads the configuration and starts the session thread: true when on
  // line; false after a failure whose text the user has seen (the frame then deletes the session).
  virtual bool Connect() = 0;
  // The session thread's mailbox window, to which end requests are posted; null when none.
  virtual HWND SessionWindow() const = 0;

  virtual std::size_t VariableCount() const = 0;
  virtual std::size_t MessageCount() const = 0;  // configured and unconfigured messages
  virtual bool AperiodicUsable() const = 0;
  // The aperiodic lists were edited on line: `usable` tells whether any list is left for the send
  // list command; an open aperiodic dialog is told to show them again.
  virtual void AperiodicListsChanged(bool usable) = 0;

  virtual void OpenBaDialog() = 0;
  virtual void OpenMediumDialog() = 0;
  virtual void OpenAperiodicDialog() = 0;
  virtual void OpenVariablesDisplay() = 0;
  virtual void OpenVariableDialog(std::size_t index) = 0;
  virtual void OpenMessageDialog(std::size_t position) = 0;
};

}  // namespace plandrel
