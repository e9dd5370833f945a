// CPhysicalValues: the variables display ("Data Conversion", dialog 814), a modeless, resizable
// window that shows parts of the on-line variables' bytes as physical values: scaled numbers with
// their units, texts and enumerated labels, as an interpretation file (.csv) says.
//
// The session creates it on the variables-display command. Its construction reads the file the
// main frame holds (offering Open .csv when there is none); a failure there shows its message and
// sets the failed flag, and the session then deletes the display instead of showing it. The window
// parses the file, lays the text out (ValuesPage) and starts RefreshThread, which every refresh
// period copies the variables' last values (under csEngine) and sends WM_FIP_VALUES_REFRESH; the
// handler writes the values that changed.
//
// Lifetime and threads. The session sets the refresh-running flag and the window before the
// thread starts. Destroying the window (Cancel, the close box, or the session's WM_CLOSE) clears
// both under csValuesDisplay, sets the stop event, joins the thread, and only then hands the object
// back to the session to be freed: the thread never outlives the display, nor the variables and
// session it reads. The thread holds no lock while it sends, and a send to a window destroyed in
// between returns at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "model/interpretation_csv.h"
#include "model/values_page.h"
#include "ui/afxcmn.h"
#include "ui/afxwin.h"

namespace plandrel {

class CPhysicalValues;

inline constexpr UINT IDD_PHYSICAL_VALUES = 814;
inline constexpr int IDC_VALUES_TEXT = 400;
inline constexpr UINT IDI_PHYSICAL_VALUES = 285;

inline constexpr std::string_view kNoCsvFile = "Please, load a .csv file before connexion";
// An interpretation file holds a few hundred lines; a larger one is refused before it is read.
inline constexpr std::size_t kMaxInterpretationFileBytes = 1 << 20;
inline constexpr std::string_view kCsvTooLarge = "Error on the *.csv file format (file larger than 1 MB)";

// The rich edit's margin inside the window, and the minimum tracking size.
inline constexpr int kValuesMargin = 15;
inline constexpr int kValuesMinimumSize = 200;

// What the display asks of the main frame and of the session.
class ValuesDisplayHost {
 public:
  virtual ~ValuesDisplayHost() = default;

  // --- The main frame (main thread).
  virtual CWnd* FrameWindow() = 0;
  // The interpretation file chosen with Open .csv, empty when none.
  virtual std::string CsvPath() = 0;
  // The Open .csv command.
  virtual void OpenCsv() = 0;

  // --- The session.
  // The refresh period in ms, read by the refresh thread once per cycle.
  virtual void SetRefreshPeriod(int milliseconds) = 0;
  virtual int RefreshPeriod() const = 0;
  // Under csValuesDisplay: the display's window with the refresh-running flag set, or (null) the
  // flag cleared and the display forgotten.
  virtual void SetRefreshTarget(HWND window) = 0;
  // The refresh thread, under csValuesDisplay: the window to refresh, null once the flag is clear.
  virtual HWND RefreshTarget() = 0;
  // Copies every on-line variable's last value into its snapshot, under csEngine in short holds.
  virtual void SnapshotVariables() = 0;
  // Main thread, while no snapshot is being taken: the on-line variables in the session's order.
  virtual std::vector<PageVariable> Variables() = 0;
  // Main thread: the display's window is gone and its thread has ended; the owner frees it now
  // (the object is not touched after this call).
  virtual void DisplayDestroyed(CPhysicalValues& display) = 0;
};

// Registers template 814 (and the refresh period dialog's, which the display opens) and icon 285.
void RegisterPhysicalValuesResources();

// The display's place over the main frame's client area (both in screen coordinates): a third of
// its width, right-aligned, 10 pixels below its top, as many 20-pixel lines as fit with 98 pixels
// to spare plus 38; never smaller than the minimum tracking size.
CRect DisplayPlacement(const RECT& client);

// Reads the interpretation file: false with the text to show when it cannot be opened or read (the
// file system's text) or is larger than kMaxInterpretationFileBytes. The file is closed on every path.
bool ReadInterpretationFile(const std::string& path, std::string& text, std::string& error);

// The refresh thread's body: until the running flag is clear or `stop` is set, snapshots, then
// WM_FIP_VALUES_REFRESH (0) sent to the display, then the refresh period's wait on `stop`.
void RefreshThread(ValuesDisplayHost& host, HANDLE stop);

class CPhysicalValues final : public CDialog {
 public:
  // Sets the refresh period to 1000 ms (also in the session) and reads the interpretation file.
  explicit CPhysicalValues(ValuesDisplayHost& host);
  CPhysicalValues(const CPhysicalValues&) = delete;
  CPhysicalValues& operator=(const CPhysicalValues&) = delete;
  ~CPhysicalValues() override;

  // Set when no interpretation file could be used; the window then stays empty.
  bool Failed() const { return failed_; }
  int RefreshPeriod() const { return refresh_period_; }

  BOOL OnInitDialog() override;
  void OnCancel() override;
  void PostNcDestroy() override;

  // The parsed entries (after OnInitDialog) and the text control, for tests.
  const InterpretationFile& Interpretation() const { return interpretation_; }
  const ValuesPage& Page() const { return page_; }
  CRichEditCtrl& TextControl() { return text_; }
  bool RefreshThreadRunning() const { return thread_.joinable(); }

 private:
  LRESULT OnValuesRefresh(WPARAM rebuild);
  void Rebuild();
  void UpdateValues();
  void OnSize(int width, int height);
  void OnDoubleClick();
  void StopRefreshThread();

  ValuesDisplayHost& host_;
  InterpretationFile interpretation_;
  std::string file_text_;
  bool failed_ = false;
  bool destroying_ = false;  // the destructor destroys the window: the object is not handed back
  int refresh_period_ = 1000;
  std::thread thread_;
  HANDLE stop_ = nullptr;
  CRichEditCtrl text_;
  CHARFORMAT format_{};
  ValuesPage page_;
};

}  // namespace plandrel
