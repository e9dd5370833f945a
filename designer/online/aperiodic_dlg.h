// CFipAperDlg (template 200): sends one of the configuration's aperiodic lists. Each identifier of
// the chosen list is turned into the engine's variable index (FIND_VAR_BY_ID) before anything is
// sent: SEND_APER takes an index, and an identifier that is no variable of the configuration
// would otherwise ask for some other variable. The session thread tells when the board has sent a
// list (WM_FIP_APER_SENT); the list dialog when the lists changed (WM_FIP_APER_LISTS_CHANGED).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "online/frame_dlg.h"
#include "online/online_host.h"
#include "records/liste_aper.h"

namespace plandrel {

inline constexpr const char* kSelectAList = "Select a list.";
inline constexpr const char* kListInQueue = "Identifiers list in transmission queue";
inline constexpr const char* kListSent = "Identifiers list sent";
// The status after a send that failed without an error text.
inline constexpr const char* kListNotQueued = "Transmission error";

// The engine calls of a list's send (FIND_VAR_BY_ID and SEND_APER by default).
struct AperiodicEngine {
  std::function<std::optional<std::uint16_t>(std::uint16_t identifier)> index_of;
  std::function<std::uint32_t(std::uint8_t kind, std::uint16_t index)> send;
  static AperiodicEngine Corvix();
};

// The text shown for an identifier of the list that is no variable of the configuration.
std::string UnknownListIdentifierText(std::uint16_t identifier);

// What a list's send did: the text to show in a box (none when every request was queued or the
// failures had no text), and whether every request of the list went to the queue (the status then
// says so).
struct AperiodicSendResult {
  std::string message;
  bool queued = false;
};

// Sends a list: kind 1 for an urgent list, 0 for a normal one; every identifier looked up first
// (an unknown one sends nothing); then one request per identifier, under `engine_lock`, stopping
// at the first failure that has an error text (a failure without text goes on, but the list is
// then not reported as queued).
AperiodicSendResult SendAperiodicList(const records::LISTE_APER& list, SectionLock& engine_lock,
                                      const AperiodicEngine& engine = AperiodicEngine::Corvix());

class CFipAperDlg final : public CHostedLinkDlg<OnlineDialogLink> {
 public:
  // `lists` gives the configuration's aperiodic lists when the dialog fills its list field.
  CFipAperDlg(std::function<const std::vector<records::LISTE_APER>*()> lists, SectionLock& engine_lock,
              AperiodicEngine engine = AperiodicEngine::Corvix());

  BOOL OnInitDialog() override;

 private:
  // The list field with every list's name; `select_first` selects the first.
  void FillLists(bool select_first);
  void OnEdited();
  void OnSend();

  std::function<const std::vector<records::LISTE_APER>*()> lists_;
  SectionLock& engine_lock_;
  AperiodicEngine engine_;
};

}  // namespace plandrel
