#include "online/physical_values.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "online/designer_messages.h"
#include "online/error_text.h"
#include "online/refresh_data.h"
#include "records/atomic_file.h"
#include "ui/resources.h"
#include "win32/windows.h"

namespace plandrel {

namespace {

// Waits before the first refresh, as the refresh thread always did.
constexpr DWORD kFirstWait = 10;

// A small icon of the display: a gauge.
std::vector<std::string> GaugeIcon() {
  return {"16 16 4 1",          "  c None",          ". c #000000",       "w c #FFFFFF",
          "r c #CF2F2F",        "                ", "     ......     ", "   ..wwwwww..   ",
          "  .ww.wwww.ww.  ", " .wwwwwwwwwwww. ", " .w.wwwwwwrr.w. ", ".wwwwwwwwrrwwww.",
          ".wwwwwwwrrwwwww.", ".w.wwwwrrwwww.w.", ".wwwwww..wwwwww.", ".wwwwww..wwwwww.",
          " .wwwwwwwwwwww. ", " .............. ", "                ", "                ",
          "                "};
}

void ShowText(ValuesDisplayHost& host, std::string_view text) {
  const std::string shown(text);
  if (CWnd* frame = host.FrameWindow()) frame->MessageBox(shown.c_str(), nullptr, MB_OK);
  else AfxMessageBox(shown.c_str());
}

// Moves a selection end across the replacement of [at, at + removed) by `inserted` characters.
LONG Moved(LONG position, std::size_t at, std::size_t removed, std::size_t inserted) {
  const auto start = static_cast<LONG>(at);
  const auto end = static_cast<LONG>(at + removed);
  if (position >= end) return position + static_cast<LONG>(inserted) - static_cast<LONG>(removed);
  if (position > start) return std::min(position, static_cast<LONG>(at + inserted));
  return position;
}

}  // namespace

void RegisterPhysicalValuesResources() {
  qui::DialogTemplate d;
  d.id = IDD_PHYSICAL_VALUES;
  d.cx = 200;
  d.cy = 150;
  d.caption = "Data Conversion";
  d.style = qui::kSystemMenu | qui::kResizable;
  d.minTrackWidth = kValuesMinimumSize;
  d.minTrackHeight = kValuesMinimumSize;
  qui::RegisterDialog(std::move(d));
  qui::RegisterIcon(IDI_PHYSICAL_VALUES, GaugeIcon());
  RegisterRefreshDataTemplate();
}

CRect DisplayPlacement(const RECT& client) {
  const int client_width = client.right - client.left;
  const int client_height = client.bottom - client.top;
  const int lines = std::max(0, (client_height - 60 - 38) / 20);
  const int width = std::max(client_width / 3, kValuesMinimumSize);
  const int height = std::max(lines * 20 + 38, kValuesMinimumSize);
  return CRect(client.right - width, client.top + 10, client.right, client.top + 10 + height);
}

bool ReadInterpretationFile(const std::string& path, std::string& text, std::string& error) {
  text.clear();
  std::vector<std::uint8_t> bytes;
  switch (records::read_whole_file(path, kMaxInterpretationFileBytes, bytes)) {
    case records::FileRead::ok:
      text.assign(bytes.begin(), bytes.end());
      return true;
    case records::FileRead::too_large: error = kCsvTooLarge; return false;
    case records::FileRead::cannot_open: error = ErrorText(GetLastError()); return false;
  }
  return false;
}

void RefreshThread(ValuesDisplayHost& host, HANDLE stop) {
  if (WaitForSingleObject(stop, kFirstWait) == WAIT_OBJECT_0) return;
  for (;;) {
    if (host.RefreshTarget() == nullptr) return;
    host.SnapshotVariables();
    // The window is read under the lock and the message sent without it: the redraw runs on the
    // main thread, which may itself be waiting for that lock.
    const HWND window = host.RefreshTarget();
    if (window == nullptr) return;
    ::SendMessage(window, WM_FIP_VALUES_REFRESH, 0, 0);
    const int period = host.RefreshPeriod();
    if (WaitForSingleObject(stop, static_cast<DWORD>(std::max(period, 0))) == WAIT_OBJECT_0) return;
  }
}

// ---------------------------------------------------------------------------------------------

CPhysicalValues::CPhysicalValues(ValuesDisplayHost& host) : CDialog(IDD_PHYSICAL_VALUES, host.FrameWindow()), host_(host) {
  MapMessage(WM_FIP_VALUES_REFRESH, [this](WPARAM rebuild, LPARAM) { return OnValuesRefresh(rebuild); });
  MapMessage(WM_SIZE, [this](WPARAM, LPARAM size) -> LRESULT {
    OnSize(LOWORD(size), HIWORD(size));
    return 0;
  });
  MapMessage(WM_LBUTTONDBLCLK, [this](WPARAM, LPARAM) -> LRESULT {
    OnDoubleClick();
    return 0;
  });

  refresh_period_ = kInitialRefreshPeriod;
  host_.SetRefreshPeriod(refresh_period_);
  std::string path = host_.CsvPath();
  if (path.empty()) {
    host_.OpenCsv();
    path = host_.CsvPath();
  }
  if (path.empty()) {
    ShowText(host_, kNoCsvFile);
    failed_ = true;
    return;
  }
  std::string error;
  if (!ReadInterpretationFile(path, file_text_, error)) {
    ShowText(host_, error);
    failed_ = true;
  }
}

CPhysicalValues::~CPhysicalValues() {
  // Deleted with its window still there (its owner went first): the window goes without handing
  // the object back, and the thread ends all the same.
  destroying_ = true;
  if (m_hWnd) DestroyWindow();
  StopRefreshThread();
}

BOOL CPhysicalValues::OnInitDialog() {
  CDialog::OnInitDialog();
  if (CWinApp* app = AfxGetApp()) SetIcon(app->LoadIcon(IDI_PHYSICAL_VALUES), TRUE);

  CRect client;
  GetClientRect(&client);
  text_.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL,
               CRect(kValuesMargin, kValuesMargin, std::max(client.right - kValuesMargin, kValuesMargin),
                     std::max(client.bottom - kValuesMargin, kValuesMargin)),
               this, IDC_VALUES_TEXT);
  text_.SetReadOnly(TRUE);
  format_.dwMask = CFM_FACE | CFM_SIZE | CFM_BOLD;
  format_.dwEffects = 0;
  format_.yHeight = 200;
  std::strncpy(format_.szFaceName, "Courier new", sizeof format_.szFaceName - 1);
  text_.SetDefaultCharFormat(format_);
  text_.SetSelectionCharFormat(format_);

  if (CWnd* frame = host_.FrameWindow()) {
    CRect area;
    frame->GetClientRect(&area);
    POINT origin{area.left, area.top};
    frame->ClientToScreen(&origin);
    area.OffsetRect(origin.x - area.left, origin.y - area.top);
    const CRect place = DisplayPlacement(area);
    MoveWindow(&place);
  }
  CRect placed;
  GetClientRect(&placed);
  OnSize(placed.Width(), placed.Height());

  // The values as they are now, then the file.
  if (!failed_) {
    host_.SnapshotVariables();
    interpretation_ = ParseInterpretationCsv(file_text_);
    file_text_.clear();
    file_text_.shrink_to_fit();
    switch (interpretation_.status) {
      case InterpretationStatus::no_header:
        ShowText(host_, kCsvNoHeader);
        failed_ = true;
        break;
      case InterpretationStatus::unknown_keyword: ShowText(host_, kCsvUnknownKeyword); break;
      case InterpretationStatus::ok: SendMessage(WM_FIP_VALUES_REFRESH, 1, 0); break;
    }
  }

  // The running flag and the window are set before the thread starts, which reads them.
  host_.SetRefreshTarget(m_hWnd);
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (stop_ != nullptr) thread_ = std::thread(RefreshThread, std::ref(host_), stop_);
  return TRUE;
}

void CPhysicalValues::OnCancel() { DestroyWindow(); }

void CPhysicalValues::PostNcDestroy() {
  host_.SetRefreshTarget(nullptr);
  StopRefreshThread();
  if (!destroying_) host_.DisplayDestroyed(*this);
}

void CPhysicalValues::StopRefreshThread() {
  if (stop_ != nullptr) SetEvent(stop_);
  if (thread_.joinable()) thread_.join();
  if (stop_ != nullptr) {
    CloseHandle(stop_);
    stop_ = nullptr;
  }
}

LRESULT CPhysicalValues::OnValuesRefresh(WPARAM rebuild) {
  if (rebuild == 1) Rebuild();
  else UpdateValues();
  return 0;
}

void CPhysicalValues::Rebuild() {
  const ValuesPage::Layout layout = page_.Rebuild(interpretation_.entries, host_.Variables());
  text_.SetSel(0, -1);
  text_.ReplaceSel(layout.text.c_str());
  CHARFORMAT bold = format_;
  bold.dwMask = CFM_BOLD;
  bold.dwEffects = CFE_BOLD;
  for (const auto& [begin, end] : layout.bold) {
    text_.SetSel(static_cast<LONG>(begin), static_cast<LONG>(end));
    text_.SetSelectionCharFormat(bold);
  }
  text_.SetSel(0, 0);
}

void CPhysicalValues::UpdateValues() {
  const std::vector<PageChange> changes = page_.Update(host_.Variables());
  if (changes.empty()) return;
  // The user's selection moves with the text around it.
  LONG start = 0, end = 0;
  text_.GetSel(start, end);
  for (const PageChange& change : changes) {
    text_.SetSel(static_cast<LONG>(change.position), static_cast<LONG>(change.position + change.length));
    text_.ReplaceSel(change.text.c_str());
    start = Moved(start, change.position, change.length, change.text.size());
    end = Moved(end, change.position, change.length, change.text.size());
  }
  text_.SetSel(start, end);
}

void CPhysicalValues::OnSize(int width, int height) {
  if (text_.m_hWnd == nullptr) return;
  text_.MoveWindow(kValuesMargin, kValuesMargin, std::max(width - 2 * kValuesMargin, 0),
                   std::max(height - 2 * kValuesMargin, 0));
}

void CPhysicalValues::OnDoubleClick() {
  CRefreshData dialog(this);
  dialog.period_text = std::to_string(refresh_period_);
  if (dialog.DoModal() != IDOK) return;
  refresh_period_ = RefreshPeriodOf(dialog.period_text);
  host_.SetRefreshPeriod(refresh_period_);
}

}  // namespace plandrel
