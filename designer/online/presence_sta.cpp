#include "online/presence_sta.h"

#include <cstdio>

#include "model/plandrel_doc.h"
#include "online/presence_resources.h"

namespace plandrel {

namespace {

// The grid in the dialog's client pixels: address a = 16 x row + column.
constexpr int kGridColumns = 16;
constexpr int kGridPitch = 15;
constexpr int kButtonLeft = 75;
constexpr int kButtonTop = 85;
constexpr int kButtonSide = 10;

std::string hex_digit(int n) {
  char text[4];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(n));
  return text;
}

}  // namespace

unsigned PresenceResultImage(bool local, bool marked, bool present) {
  if (local) return marked ? kImageLocalUsed : kImageLocalFree;
  if (marked) return present ? kImageUsed : kImageUnavailable;
  return present ? kImageFree : kImageAvailable;
}

CPresenceSta::CPresenceSta(PresenceHost& host, const CPlandrelDoc& document, const TimingTable& timing, CWnd* parent,
                           PresenceEngine engine, PresenceClock& clock)
    : CDialog(IDD_PRESENCE_STA, parent),
      host_(host),
      document_(document),
      timing_(timing),
      engine_(std::move(engine)),
      clock_(clock) {
  host_.SetPresenceTestOpen(true);
  MapNotify(IDC_PRESENCE_START, BN_CLICKED, [this] { RunPresenceTest(); });
}

CPresenceSta::~CPresenceSta() {
  // The grid's controls go before the dialog that holds them.
  for (auto& button : buttons_) button.reset();
  for (auto& label : labels_) label.reset();
  host_.SetPresenceTestOpen(false);
}

BOOL CPresenceSta::OnInitDialog() {
  CDialog::OnInitDialog();
  running_ = true;
  const std::filesystem::path map_file = AddressMapPath(document_.GetWorkingFolder(), document_.GetDevice());
  if (const auto map = ReadAddressMap(map_file)) {
    address_map_ = *map;
  } else {
    WriteAddressMap(map_file, address_map_);  // not reported: Start tells when the file cannot be made
  }
  if (DetectArbitrator()) {
    CreateGrid();
    SetLine(IDC_LEGEND_LEFT_1, "Used address");
    SetLine(IDC_LEGEND_LEFT_2, "Free address");
    for (int id = IDC_LEGEND_IMAGE_3; id <= IDC_LEGEND_LOCAL; ++id)
      if (CWnd* item = GetDlgItem(id)) item->ShowWindow(SW_HIDE);
    auto& progress = Item<CProgressCtrl>(IDC_PRESENCE_PROGRESS);
    progress.ShowWindow(SW_HIDE);
    progress.SetRange(0, 100);
    progress.SetPos(0);
    progress.SetStep(3);
  }
  running_ = false;
  return TRUE;
}

void CPresenceSta::CreateGrid() {
  for (int c = 0; c < kGridColumns; ++c) {
    auto label = std::make_unique<CStatic>();
    label->Create(hex_digit(c).c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER,
                  CRect(75 + kGridPitch * c, 65, 85 + kGridPitch * c, 80), this,
                  static_cast<UINT>(IDC_COLUMN_LABEL_FIRST + c));
    labels_[static_cast<std::size_t>(c)] = std::move(label);
  }
  for (int r = 0; r < kGridColumns; ++r) {
    auto label = std::make_unique<CStatic>();
    label->Create(hex_digit(r).c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER,
                  CRect(52, 82 + kGridPitch * r, 70, 96 + kGridPitch * r), this,
                  static_cast<UINT>(IDC_ROW_LABEL_FIRST + r));
    labels_[static_cast<std::size_t>(kGridColumns + r)] = std::move(label);
  }
  for (int a = 0; a < kPhysicalAddresses; ++a) {
    const int row = a / kGridColumns, column = a % kGridColumns;
    const int left = kButtonLeft + kGridPitch * column, top = kButtonTop + kGridPitch * row;
    auto button = std::make_unique<CBitmapButton>();
    char name[16];
    std::snprintf(name, sizeof name, "Address %02X", static_cast<unsigned>(a));
    button->Create(name, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                   CRect(left, top, left + kButtonSide, top + kButtonSide), this,
                   static_cast<UINT>(IDC_ADDRESS_FIRST + a));
    const bool used = AddressBit(address_map_, a);
    address_state_[static_cast<std::size_t>(a)] = used ? 1 : 0;
    button->LoadBitmaps(used ? kImageUsed : kImageFree);
    MapNotify(IDC_ADDRESS_FIRST + a, BN_CLICKED, [this, a] { OnAddressButton(a); });
    buttons_[static_cast<std::size_t>(a)] = std::move(button);
  }
}

void CPresenceSta::ShowImage(int address, unsigned image) {
  CBitmapButton* button = buttons_[static_cast<std::size_t>(address)].get();
  if (!button) return;
  button->LoadBitmaps(image);
  button->Invalidate(TRUE);
  button->UpdateWindow();
}

void CPresenceSta::OnAddressButton(int address) {
  if (test_done_ || running_ || address < 0 || address >= kPhysicalAddresses) return;
  if (plan_from_bus_) {
    SetLine(IDC_PRESENCE_HINT, kNoChangeAllowed);
    return;
  }
  int& state = address_state_[static_cast<std::size_t>(address)];
  state = state ? 0 : 1;
  SetAddressBit(address_map_, address, state != 0);
  ShowImage(address, state ? kImageUsed : kImageFree);
}

void CPresenceSta::RunPresenceTest() {
  if (running_) return;
  if (test_done_) {
    EndDialog(IDCANCEL);  // Exit: no further engine call
    return;
  }
  running_ = true;
  if (!WriteAddressMap(AddressMapPath(document_.GetWorkingFolder(), document_.GetDevice()), address_map_))
    MessageBox(std::string(kCannotCreateAddressFile).c_str());
  CWnd* start = GetDlgItem(IDC_PRESENCE_START);
  if (start) start->EnableWindow(FALSE);
  if (CWnd* hint = GetDlgItem(IDC_PRESENCE_HINT)) hint->ShowWindow(SW_HIDE);
  SetLine(IDC_PRESENCE_TITLE, "Network address mapping");

  bool scanned = false;
  if (test_mode_ == kModeListening || test_mode_ == kModeArbitrating) {
    scanned = RunPresenceScan();
  }
  // Only a scan that ran to its end changes the grid: a failed one leaves the plan shown.
  if (scanned && HasGrid()) {
    for (int a = 0; a < kPhysicalAddresses; ++a) address_state_[static_cast<std::size_t>(a)] = AddressBit(presence_map_, a);
    ShowResults();
    ShowLegendAfterScan();
  }
  if (start) {
    start->SetWindowText("Exit");
    start->EnableWindow(TRUE);
  }
  test_done_ = 1;
  running_ = false;
}

void CPresenceSta::ShowResults() {
  for (int a = 0; a < kPhysicalAddresses; ++a)
    ShowImage(a, PresenceResultImage(a == settings_.local_address, AddressBit(address_map_, a),
                                     address_state_[static_cast<std::size_t>(a)] != 0));
}

void CPresenceSta::ShowLegendAfterScan() {
  const std::pair<int, const char*> texts[] = {
      {IDC_LEGEND_LEFT_1, "Failed"},       {IDC_LEGEND_RIGHT_1, "Invalid presence"},
      {IDC_LEGEND_LEFT_2, "Ok"},           {IDC_LEGEND_RIGHT_2, "Valid presence"},
      {IDC_LEGEND_LEFT_3, "Ok"},           {IDC_LEGEND_RIGHT_3, "Available"},
      {IDC_LEGEND_LEFT_4, "Ok"},           {IDC_LEGEND_RIGHT_4, "Unavailable"},
      {IDC_LEGEND_LOCAL, "L    for local station"},
  };
  for (const auto& [id, text] : texts) SetLine(id, text);
  for (int id = IDC_LEGEND_IMAGE_2; id <= IDC_LEGEND_LOCAL; ++id)
    if (CWnd* item = GetDlgItem(id)) item->ShowWindow(SW_SHOW);
}

void CPresenceSta::OnCancel() {
  if (running_) return;  // a run ends before the dialog closes, its engine session stopped
  CDialog::OnCancel();
}

void CPresenceSta::OnTimer(UINT_PTR id) {
  if (id == kTimerId) timer_running_ = 0;
  CDialog::OnTimer(id);
}

void CPresenceSta::SetLine(int id, std::string_view text) { SetDlgItemText(id, std::string(text).c_str()); }

void CPresenceSta::SetStatus(std::string_view text) { SetLine(IDC_PRESENCE_STATUS, text); }

void CPresenceSta::StepProgress() { Item<CProgressCtrl>(IDC_PRESENCE_PROGRESS).StepIt(); }

void RunPresenceTestDialog(PresenceHost& host, const CPlandrelDoc& document, const TimingTable& timing, CWnd* parent) {
  CPresenceSta dialog(host, document, timing, parent);
  dialog.DoModal();
}

}  // namespace plandrel
