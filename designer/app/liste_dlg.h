// CListeDlg: the list dialog (dialog 142) of one kind of record (stations, variables, messages or
// aperiodic lists) with New, Edit, Delete and Duplicate, each of which runs the record's editor or
// one of the record commands of the model. The same object serves the configuration tree's context
// commands in tree mode: the main frame makes it without showing it and calls one command, which
// works on the tree's record instead of the list box's selection.
//
// Working files: a deletion in the dialog only marks its sections stale in the document (the editors
// rewrite their own sections as they save); End writes whatever is still stale. In tree mode a
// deletion rewrites the stations, variables and messages working files at once.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ui/afxwin.h"

#include "editor_context.h"
#include "model/record_commands.h"

namespace plandrel {

class FipSession;

inline constexpr UINT IDD_LISTE = 142;
inline constexpr int IDC_LISTE_LABEL = 1150;
inline constexpr int IDC_LISTE_RECORDS = 1151;
inline constexpr int IDC_LISTE_COMMANDS = 1152;
inline constexpr int IDC_LISTE_NEW = 1153;
inline constexpr int IDC_LISTE_EDIT = 1154;
inline constexpr int IDC_LISTE_DELETE = 1155;
inline constexpr int IDC_LISTE_DUPLICATE = 1156;

void RegisterListeDialog();

class CListeDlg : public CDialog {
 public:
  // `tree_mode` 1: driven from the tree without a window. `session`: the on-line session, told when
  // the aperiodic lists change (null off line).
  CListeDlg(CWnd* parent, const EditorContext& context, ListKind kind, int tree_mode, FipSession* session = nullptr);

  // Tree mode: the index of the record whose tree item the command was chosen on.
  void SetTreeRecord(std::size_t index) { tree_record_ = index; }

  BOOL OnInitDialog() override;
  // End, and closing the window: the kind's checks, then the stale working files.
  void OnOK() override;
  void OnCancel() override;

  void OnNew();
  void OnEdit();
  void OnDelete();
  void OnDuplicate();

  ListKind Kind() const { return kind_; }
  // Fills the list box with the kind's record names in document order, one line a record.
  void FillList();

 private:
  records::Configuration& Records();
  // The records the command works on, in ascending order: the list box's selected lines, or in tree
  // mode the tree's record when it is one of the kind.
  std::vector<std::size_t> Selection();
  // Runs the kind's editor on record `index`; `new_record` for New and Duplicate.
  INT_PTR RunEditor(std::size_t index, bool new_record);
  void InsertTreeItem(std::size_t index);
  void DeleteTreeItem(std::size_t index);
  // Removes record `index` when the kind's rules allow it (after telling why not), with its tree
  // items when `tree_items`; true when removed.
  bool DeleteRecord(std::size_t index, bool tree_items);
  void MarkModified();
  // A message box over the dialog, or over the main frame in tree mode.
  void Tell(const std::string& text);
  // A command the kind does not offer on line.
  bool OfflineOnly() const;
  bool End();

  CWnd* owner_ = nullptr;  // the editors' parent in tree mode
  EditorContext context_;
  ListKind kind_;
  int tree_mode_ = 0;
  FipSession* session_ = nullptr;
  std::optional<std::size_t> tree_record_;
};

}  // namespace plandrel
