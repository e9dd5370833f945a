// FrameHost: what the main frame and the configuration tree read and change of the application
// object (the document, the on-line and presence-test flags, the timing table, the session it owns,
// the icon size kept in the profile). The application implements it; tests use a stand-in.
#pragma once

#include <functional>
#include <memory>

#include "model/timing_table.h"
#include "online/fip_session.h"

namespace plandrel {

class CMainFrame;
class CPlandrelDoc;

// Makes the on-line session of the main frame at Connect.
using SessionFactory = std::function<std::unique_ptr<FipSession>(CMainFrame& frame)>;

class FrameHost {
 public:
  virtual ~FrameHost() = default;

  virtual CPlandrelDoc* Document() = 0;  // null until created
  virtual bool IsOnline() const = 0;
  virtual bool IsPresenceTestRunning() const = 0;
  // The timing table the settings editors read.
  virtual const TimingTable& Timing() const = 0;

  virtual FipSession* Session() = 0;
  // Takes the session over, replacing (and deleting) any other; null deletes the one held.
  virtual void SetSession(std::unique_ptr<FipSession> session) = 0;
  // Makes a session for the frame; null while the on-line session is not part of the program.
  virtual std::unique_ptr<FipSession> MakeSession(CMainFrame& frame) = 0;

  // 0 small, 1 large tree icons; SetIconSize also writes the profile's "GUI"/"IconSize".
  virtual int IconSize() const = 0;
  virtual void SetIconSize(int size) = 0;

  // The presence test on the document, modal over the frame; the frame has checked that the
  // configuration passes and that no session runs.
  virtual void RunPresenceTest(CMainFrame& frame) = 0;
};

}  // namespace plandrel
