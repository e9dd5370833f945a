#include "liste_dlg.h"

#include <algorithm>
#include <array>
#include <set>

#include "arbre_ctrl.h"
#include "dialog_items.h"
#include "editor_dialogs.h"
#include "model/plandrel_doc.h"
#include "online/fip_session.h"
#include "records/byte_codec.h"
#include "tree_codes.h"

namespace plandrel {

namespace {

struct KindTexts {
  const char* title;
  const char* label;
  const char* select;
  const char* select_one;
};

constexpr std::array<KindTexts, 4> kKindTexts = {{
    {"Stations list", "Stations", "Select a station.", "Select only one station."},
    {"Variables list", "Variables", "Select a variable.", "Select only one variable."},
    {"Messages list", "Messages", "Select a message.", "Select only one message."},
    {"Aperiodical lists", "Lists", "Select a list.", "Select only one list."},
}};

constexpr const char* kLocalStationKept = "You cannot delete the local station.";

// A deletion of more records than this rebuilds the tree once, instead of walking it for each record.
constexpr std::size_t kItemByItemLimit = 64;

// The tree's expanded items down to the variables, by code, so that a rebuild can expand them again.
struct Expansion {
  bool root = false;
  std::set<std::uint32_t> stations;
  std::set<std::pair<std::uint32_t, std::uint32_t>> variables;  // (station code, variable code)
};

Expansion ExpandedItems(const CTreeCtrl& tree) {
  Expansion e;
  const HTREEITEM root = tree.GetRootItem();
  if (root == nullptr) return e;
  e.root = tree.IsExpanded(root) != FALSE;
  for (HTREEITEM station = tree.GetChildItem(root); station; station = tree.GetNextSiblingItem(station)) {
    const auto station_code = static_cast<std::uint32_t>(tree.GetItemData(station));
    if (tree.IsExpanded(station)) e.stations.insert(station_code);
    for (HTREEITEM v = tree.GetChildItem(station); v; v = tree.GetNextSiblingItem(v))
      if (tree.IsExpanded(v)) e.variables.insert({station_code, static_cast<std::uint32_t>(tree.GetItemData(v))});
  }
  return e;
}

// Expands again what `e` names; `moved` gives a variable code its code after the deletion.
template <class Moved>
void ExpandAgain(CTreeCtrl& tree, const Expansion& e, Moved moved) {
  const HTREEITEM root = tree.GetRootItem();
  if (root == nullptr) return;
  if (e.root) tree.Expand(root, TVE_EXPAND);
  std::set<std::pair<std::uint32_t, std::uint32_t>> variables;
  for (const auto& [station, variable] : e.variables)
    if (const std::optional<std::uint32_t> code = moved(variable)) variables.insert({station, *code});
  for (HTREEITEM station = tree.GetChildItem(root); station; station = tree.GetNextSiblingItem(station)) {
    const auto station_code = static_cast<std::uint32_t>(tree.GetItemData(station));
    if (e.stations.contains(station_code)) tree.Expand(station, TVE_EXPAND);
    for (HTREEITEM v = tree.GetChildItem(station); v; v = tree.GetNextSiblingItem(v))
      if (variables.contains({station_code, static_cast<std::uint32_t>(tree.GetItemData(v))})) tree.Expand(v, TVE_EXPAND);
  }
}

const KindTexts& TextsOf(ListKind kind) { return kKindTexts[static_cast<std::size_t>(kind)]; }

// The sections whose records a deletion of the kind changes.
std::vector<records::Section> SectionsOf(ListKind kind) {
  using records::Section;
  switch (kind) {
    case ListKind::stations: return {Section::stations, Section::variables, Section::messages};
    case ListKind::variables: return {Section::variables, Section::messages};
    case ListKind::messages: return {Section::messages};
    case ListKind::lists: return {Section::listes};
  }
  return {};
}

}  // namespace

void RegisterListeDialog() {
  using qui::ControlKind;
  qui::RegisterDialog({IDD_LISTE,
                       236,
                       196,
                       "List",
                       "MS Shell Dlg",
                       8,
                       qui::kModalFrame | qui::kSystemMenu,
                       {
                           {IDC_LISTE_LABEL, ControlKind::Static, 7, 7, 140, 8, ""},
                           {IDC_LISTE_RECORDS, ControlKind::ListBox, 7, 17, 140, 172, "",
                            qui::kMultipleSelection | qui::kVerticalScroll},
                           {IDC_LISTE_COMMANDS, ControlKind::GroupBox, 155, 13, 74, 100, "Commands"},
                           {IDC_LISTE_NEW, ControlKind::PushButton, 162, 27, 60, 14, "New..."},
                           {IDC_LISTE_EDIT, ControlKind::PushButton, 162, 47, 60, 14, "Edit..."},
                           {IDC_LISTE_DELETE, ControlKind::PushButton, 162, 67, 60, 14, "Delete"},
                           {IDC_LISTE_DUPLICATE, ControlKind::PushButton, 162, 87, 60, 14, "Duplicate..."},
                           {IDOK, ControlKind::PushButton, 162, 155, 60, 14, "End", qui::kDefault},
                           {IDC_DIALOG_HELP, ControlKind::PushButton, 162, 175, 60, 14, "Help"},
                       }});
}

CListeDlg::CListeDlg(CWnd* parent, const EditorContext& context, ListKind kind, int tree_mode, FipSession* session)
    : CDialog(IDD_LISTE, parent), owner_(parent), context_(context), kind_(kind), tree_mode_(tree_mode), session_(session) {
  MapNotify(IDC_LISTE_NEW, BN_CLICKED, [this] { OnNew(); });
  MapNotify(IDC_LISTE_EDIT, BN_CLICKED, [this] { OnEdit(); });
  MapNotify(IDC_LISTE_DELETE, BN_CLICKED, [this] { OnDelete(); });
  MapNotify(IDC_LISTE_DUPLICATE, BN_CLICKED, [this] { OnDuplicate(); });
  // A double click edits the line under the caret, when that line is selected.
  MapNotify(IDC_LISTE_RECORDS, LBN_DBLCLK, [this] {
    auto& list = Item<CListBox>(IDC_LISTE_RECORDS);
    const int caret = list.GetCurSel();
    if (caret < 0 || list.GetSel(caret) <= 0 || static_cast<std::size_t>(caret) >= RecordCount(Records(), kind_))
      return;
    if (RunEditor(static_cast<std::size_t>(caret), false) == IDOK) FillList();
  });
}

records::Configuration& CListeDlg::Records() { return context_.document.Records(); }

BOOL CListeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const KindTexts& texts = TextsOf(kind_);
  SetWindowText(texts.title);
  SetDlgItemText(IDC_LISTE_LABEL, texts.label);
  SetDlgItemText(IDC_LISTE_NEW, "New...");
  if (kind_ == ListKind::stations) GetDlgItem(IDC_LISTE_DUPLICATE)->ShowWindow(SW_HIDE);
  // On line the records are only shown; aperiodic lists stay editable.
  if (context_.online && kind_ != ListKind::lists) {
    EnableDlgItems(*this, {IDC_LISTE_NEW, IDC_LISTE_DELETE, IDC_LISTE_DUPLICATE}, false);
    SetDlgItemText(IDC_LISTE_EDIT, "Configuration...");
  }
  FillList();
  return TRUE;
}

void CListeDlg::FillList() {
  auto& list = Item<CListBox>(IDC_LISTE_RECORDS);
  list.ResetContent();
  const records::Configuration& c = Records();
  const auto add = [&](std::string_view name) { list.AddString(std::string(name).c_str()); };
  switch (kind_) {
    case ListKind::stations:
      for (std::size_t i = 0; i < RecordCount(c, kind_); ++i) add(records::text_of(c.stations[i].name));
      break;
    case ListKind::variables:
      for (const records::VARIABLE4& v : c.variables) add(records::text_of(v.name));
      break;
    case ListKind::messages:
      for (const records::MESSAGE4& m : c.messages) add(records::text_of(m.name));
      break;
    case ListKind::lists:
      for (const records::LISTE_APER& l : c.lists) add(records::text_of(l.name));
      break;
  }
}

std::vector<std::size_t> CListeDlg::Selection() {
  const std::size_t count = RecordCount(Records(), kind_);
  std::vector<std::size_t> selection;
  if (tree_mode_) {
    // A tree item beyond the records (a message the session added on line) names no record.
    if (tree_record_ && *tree_record_ < count) selection.push_back(*tree_record_);
    return selection;
  }
  for (int line : Item<CListBox>(IDC_LISTE_RECORDS).GetSelectedIndices())
    if (static_cast<std::size_t>(line) < count) selection.push_back(static_cast<std::size_t>(line));
  return selection;
}

bool CListeDlg::OfflineOnly() const { return context_.online && kind_ != ListKind::lists; }

INT_PTR CListeDlg::RunEditor(std::size_t index, bool new_record) {
  CWnd* parent = tree_mode_ ? owner_ : this;
  switch (kind_) {
    case ListKind::stations: return EditStation(context_, parent, index);
    case ListKind::variables: return EditVariable(context_, parent, index, new_record);
    case ListKind::messages: return EditMessage(context_, parent, index);
    case ListKind::lists: return EditList(context_, parent, index);
  }
  return IDCANCEL;
}

void CListeDlg::InsertTreeItem(std::size_t index) {
  CArbreCtrl* tree = context_.tree;
  if (tree == nullptr) return;
  const records::Configuration& c = Records();
  switch (kind_) {
    case ListKind::stations: tree->InsertStationItem(static_cast<std::int16_t>(index)); break;
    case ListKind::variables: tree->InsertVariableItems(c.variables[index]); break;
    case ListKind::messages: tree->InsertMessageItem(c.messages[index]); break;
    case ListKind::lists: break;
  }
}

void CListeDlg::DeleteTreeItem(std::size_t index) {
  CArbreCtrl* tree = context_.tree;
  if (tree == nullptr) return;
  const records::Configuration& c = Records();
  switch (kind_) {
    case ListKind::stations: tree->DeleteStationItem(static_cast<std::int16_t>(index)); break;
    case ListKind::variables: tree->DeleteVariableItems(c.variables[index]); break;
    case ListKind::messages: tree->DeleteMessageItems(c.messages[index]); break;
    case ListKind::lists: break;
  }
}

void CListeDlg::Tell(const std::string& text) {
  // In tree mode there is no dialog window: the box stands over the main frame.
  CWnd* owner = tree_mode_ && owner_ != nullptr ? owner_ : this;
  owner->MessageBox(text.c_str());
}

void CListeDlg::MarkModified() {
  if (context_.document.IsModified()) return;
  context_.document.SetModifiedFlag();
  context_.document.UpdateTitle();
}

void CListeDlg::OnNew() {
  if (OfflineOnly()) return;
  if (const auto refusal = RefuseAdding(context_.document, kind_, 1)) {
    Tell(std::string(*refusal));
    return;
  }
  const std::optional<std::size_t> index = AppendNewRecord(Records(), kind_);
  if (!index) return;
  const std::uint32_t cost = RecordCost(Records(), kind_, *index);
  InsertTreeItem(*index);
  if (!tree_mode_) FillList();
  if (RunEditor(*index, true) != IDOK) {
    // Only the new record goes: the editor changed nothing else.
    if (*index < RecordCount(Records(), kind_)) {
      DeleteTreeItem(*index);
      RemoveLastRecord(Records(), kind_);
    }
    if (!tree_mode_) FillList();
    return;
  }
  context_.document.AddToMemoryEstimate(cost);
  // The station editor rewrites the stations file only for a changed entry; a new one is a change
  // whatever it holds.
  if (kind_ == ListKind::stations) context_.document.WriteWorkingFile(records::Section::stations);
  if (!tree_mode_) FillList();
  MarkModified();
}

void CListeDlg::OnEdit() {
  const std::vector<std::size_t> selection = Selection();
  if (tree_mode_ && selection.empty()) return;
  if (selection.empty()) {
    Tell(TextsOf(kind_).select);
    return;
  }
  if (selection.size() > 1) {
    Tell(TextsOf(kind_).select_one);
    return;
  }
  if (RunEditor(selection.front(), false) == IDOK && !tree_mode_) FillList();
}

bool CListeDlg::DeleteRecord(std::size_t index, bool tree_items) {
  CPlandrelDoc& document = context_.document;
  records::Configuration& c = Records();
  CArbreCtrl* tree = tree_items ? context_.tree : nullptr;
  switch (kind_) {
    case ListKind::stations: {
      const std::string name(records::text_of(c.stations[index].name));
      switch (RemoveStation(c, index)) {
        case StationRemoval::local_station: Tell(kLocalStationKept); return false;
        case StationRemoval::in_use: Tell(InUseText(kind_, name)); return false;
        case StationRemoval::no_such_station: return false;
        case StationRemoval::removed: break;
      }
      if (tree) tree->DeleteStationItem(static_cast<std::int16_t>(index));
      return true;
    }
    case ListKind::variables: {
      if (VariableInUse(c, index)) {
        Tell(InUseText(kind_, records::text_of(c.variables[index].name)));
        return false;
      }
      const RemovedVariable removed = RemoveVariable(document, index);
      if (tree) {
        tree->DeleteVariableItems(removed.record);
        tree->UpdateMessageItems(removed.messages_changed);
      }
      return true;
    }
    case ListKind::messages: {
      const records::MESSAGE4 removed = RemoveMessage(document, index);
      if (tree) tree->DeleteMessageItems(removed);
      return true;
    }
    case ListKind::lists: RemoveList(c, index); return true;
  }
  return false;
}

void CListeDlg::OnDelete() {
  if (OfflineOnly()) return;
  const std::vector<std::size_t> selection = Selection();
  if (selection.empty()) {
    if (!tree_mode_) Tell(TextsOf(kind_).select);
    return;
  }
  // Many variables or messages: the tree is rebuilt once, its expanded items expanded again.
  CArbreCtrl* tree = context_.tree;
  const bool rebuild = tree != nullptr && selection.size() > kItemByItemLimit &&
                       (kind_ == ListKind::variables || kind_ == ListKind::messages);
  const Expansion expansion = rebuild ? ExpandedItems(*tree) : Expansion{};
  // Ascending: each removal moves the later selected records down one place.
  std::vector<std::uint32_t> gone;  // the removed records' indexes before the deletion
  for (std::size_t line : selection)
    if (DeleteRecord(line - gone.size(), !rebuild)) gone.push_back(static_cast<std::uint32_t>(line));
  if (rebuild) {
    tree->BuildTree();
    // A variable's code is its index + 5000: it moves down one for each removed variable before it.
    ExpandAgain(*tree, expansion, [&](std::uint32_t code) -> std::optional<std::uint32_t> {
      if (kind_ != ListKind::variables) return code;
      const auto below = std::lower_bound(gone.begin(), gone.end(), code - kVariableCodeBase);
      if (below != gone.end() && *below == code - kVariableCodeBase) return std::nullopt;
      return code - static_cast<std::uint32_t>(below - gone.begin());
    });
  }
  const std::size_t removed = gone.size();
  if (!tree_mode_) FillList();
  if (removed == 0) return;
  MarkModified();
  for (records::Section section : SectionsOf(kind_)) {
    if (tree_mode_)
      context_.document.WriteWorkingFile(section);
    else
      context_.document.MarkWorkingFileStale(section);
  }
}

void CListeDlg::OnDuplicate() {
  if (kind_ == ListKind::stations || OfflineOnly()) return;
  const std::vector<std::size_t> selection = Selection();
  if (selection.empty()) {
    if (!tree_mode_) Tell(TextsOf(kind_).select);
    return;
  }
  if (const auto refusal = RefuseAdding(context_.document, kind_, selection.size())) {
    Tell(std::string(*refusal));
    return;
  }
  bool kept = false;
  for (std::size_t source : selection) {
    const std::optional<std::size_t> index = AppendCopy(context_.document, kind_, source);
    if (!index) break;
    // The copy's cost as it was made: the editor moves the estimate itself for what it changes.
    const std::uint32_t cost = RecordCost(Records(), kind_, *index);
    InsertTreeItem(*index);
    if (RunEditor(*index, true) != IDOK) {
      if (*index < RecordCount(Records(), kind_)) {
        DeleteTreeItem(*index);
        RemoveLastRecord(Records(), kind_);
      }
      continue;
    }
    context_.document.AddToMemoryEstimate(cost);
    kept = true;
  }
  if (!tree_mode_) FillList();
  if (kept) MarkModified();
}

bool CListeDlg::End() {
  if (kind_ == ListKind::variables) {
    if (const auto problem = MessageChannelsProblem(Records())) {
      Tell(std::string(*problem));
      return false;
    }
  }
  context_.document.WriteStaleWorkingFiles();
  if (kind_ == ListKind::lists && session_ != nullptr) session_->AperiodicListsChanged(!Records().lists.empty());
  return true;
}

void CListeDlg::OnOK() {
  if (End()) EndDialog(IDOK);
}

void CListeDlg::OnCancel() {
  if (End()) EndDialog(IDOK);
}

}  // namespace plandrel
