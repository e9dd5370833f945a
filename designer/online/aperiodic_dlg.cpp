#include "online/aperiodic_dlg.h"

#include <mutex>

#include "corvix.h"
#include "online/designer_messages.h"
#include "online/error_text.h"
#include "online/online_resources.h"
#include "records/byte_codec.h"
#include "ui/resources.h"

namespace plandrel {

AperiodicEngine AperiodicEngine::Corvix() {
  return {[](std::uint16_t identifier) -> std::optional<std::uint16_t> {
            std::int16_t index = 0, length = 0;
            std::uint8_t flags = 0;
            char name[33] = {};
            if (FIND_VAR_BY_ID(identifier, &index, name, &length, &flags) == 0) return std::nullopt;
            return static_cast<std::uint16_t>(index);
          },
          SEND_APER};
}

std::string UnknownListIdentifierText(std::uint16_t identifier) {
  return qui::FormatString("The identifier %04X of the list is not a variable of the configuration.\nThe list is not sent.",
                           identifier);
}

AperiodicSendResult SendAperiodicList(const records::LISTE_APER& list, SectionLock& engine_lock,
                                      const AperiodicEngine& engine) {
  const std::uint8_t kind = list.urgent == 1 ? 1 : 0;
  std::vector<std::uint16_t> indices;
  indices.reserve(list.identifiers.size());
  {
    std::lock_guard lock(engine_lock);
    for (const std::uint16_t identifier : list.identifiers) {
      const std::optional<std::uint16_t> index = engine.index_of(identifier);
      if (!index) return {UnknownListIdentifierText(identifier), false};
      indices.push_back(*index);
    }
  }
  bool all_queued = true;
  for (const std::uint16_t index : indices) {
    std::uint32_t code = 0;
    {
      std::lock_guard lock(engine_lock);
      code = engine.send(kind, index);
    }
    if (code == 0) continue;
    if (std::string text = ErrorText(code, ""); !text.empty()) return {std::move(text), false};
    all_queued = false;
  }
  return {{}, all_queued};
}

CFipAperDlg::CFipAperDlg(std::function<const std::vector<records::LISTE_APER>*()> lists, SectionLock& engine_lock,
                         AperiodicEngine engine)
    : CHostedLinkDlg(IDD_FIP_APER, kFrameAperiodic),
      lists_(std::move(lists)),
      engine_lock_(engine_lock),
      engine_(std::move(engine)) {
  MapNotify(IDC_LISTS, CBN_EDITCHANGE, [this] { OnEdited(); });
  MapNotify(IDC_LISTS, CBN_SELCHANGE, [this] { SetDlgItemText(IDC_STATUS, ""); });
  MapNotify(IDC_SEND, BN_CLICKED, [this] { OnSend(); });
  MapMessage(WM_FIP_APER_SENT, [this](WPARAM, LPARAM) -> LRESULT {
    SetDlgItemText(IDC_STATUS, kListSent);
    return 0;
  });
  MapMessage(WM_FIP_APER_LISTS_CHANGED, [this](WPARAM, LPARAM) -> LRESULT {
    FillLists(true);
    SetDlgItemText(IDC_STATUS, "");
    return 0;
  });
}

BOOL CFipAperDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  FillLists(true);
  return TRUE;
}

void CFipAperDlg::FillLists(bool select_first) {
  CComboBox& field = Item<CComboBox>(IDC_LISTS);
  field.ResetContent();
  if (const auto* lists = lists_ ? lists_() : nullptr)
    for (const records::LISTE_APER& list : *lists) field.AddString(std::string(records::text_of(list.name)).c_str());
  if (select_first && field.GetCount() > 0) field.SetCurSel(0);
}

void CFipAperDlg::OnEdited() {
  // The list is filled again under the typed text, which selects none of its entries.
  CComboBox& field = Item<CComboBox>(IDC_LISTS);
  const std::string typed = field.GetWindowText();
  FillLists(false);
  field.SetWindowText(typed.c_str());
  SetDlgItemText(IDC_STATUS, "");
}

void CFipAperDlg::OnSend() {
  const int selected = Item<CComboBox>(IDC_LISTS).GetCurSel();
  const auto* lists = lists_ ? lists_() : nullptr;
  if (selected < 0 || lists == nullptr || static_cast<std::size_t>(selected) >= lists->size()) {
    MessageBox(kSelectAList, nullptr, MB_OK);
    return;
  }
  const AperiodicSendResult result = SendAperiodicList((*lists)[static_cast<std::size_t>(selected)], engine_lock_, engine_);
  // A failure shown in a box leaves the status empty; one without a text is told by the status.
  if (result.queued) {
    SetDlgItemText(IDC_STATUS, kListInQueue);
  } else {
    SetDlgItemText(IDC_STATUS, result.message.empty() ? kListNotQueued : "");
  }
  // Shown last: the session may close the dialog while the box is open.
  if (!result.message.empty()) MessageBox(result.message.c_str(), nullptr, MB_OK);
}

}  // namespace plandrel
