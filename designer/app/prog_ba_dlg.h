// CProgBADlg: "Bus arbitrator programming", the modal editor of the local bus arbitrator's two
// macro sequences, of the slot time that every date counts in, and of the BA program file that may
// stand in for the sequences. Its changes live in a BaProgramEdit until Save; the list boxes show
// that edit's lines between "BEGIN" and "END". On line it only shows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "model/ba_program_edit.h"
#include "model/plandrel_doc.h"
#include "model/timing_table.h"
#include "ui/afxwin.h"

namespace plandrel {

inline constexpr UINT IDD_PROG_BA = 131;
inline constexpr int IDC_BA_PROGRAMS = 1201;
inline constexpr int IDC_BA_SEQUENCE1 = 1202;
inline constexpr int IDC_BA_SEQUENCE2 = 1203;
inline constexpr int IDC_BA_DEFAULT1 = 1204;
inline constexpr int IDC_BA_DEFAULT2 = 1205;
inline constexpr int IDC_BA_COPY_TO2 = 1206;  // ">>"
inline constexpr int IDC_BA_COPY_TO1 = 1207;  // "<<"
inline constexpr int IDC_BA_SLOT = 1208;
inline constexpr int IDC_BA_EDIT_GROUP = 1209;
inline constexpr int IDC_BA_INSTRUCTIONS = 1210;
inline constexpr int IDC_BA_ARGUMENT_GROUP = 1211;
inline constexpr int IDC_BA_SELECT = 1212;
inline constexpr int IDC_BA_ARGUMENT = 1213;
inline constexpr int IDC_BA_DATE_GROUP = 1214;
inline constexpr int IDC_BA_MINIMUM = 1215;
inline constexpr int IDC_BA_MAXIMUM = 1216;
inline constexpr int IDC_BA_WISHED = 1217;
inline constexpr int IDC_BA_ACTUAL = 1218;
inline constexpr int IDC_BA_INSERT = 1219;
inline constexpr int IDC_BA_DELETE = 1220;
inline constexpr int IDC_BA_FILE_GROUP = 1221;
inline constexpr int IDC_BA_FILE = 1222;
inline constexpr int IDC_BA_PATH = 1223;
inline constexpr int IDC_BA_BROWSE = 1224;
inline constexpr int IDC_BA_HELP = 1225;
// Labels of the argument and date groups, enabled with their group.
inline constexpr int IDC_BA_MINIMUM_LABEL = 1226;
inline constexpr int IDC_BA_MAXIMUM_LABEL = 1227;
inline constexpr int IDC_BA_WISHED_LABEL = 1228;
inline constexpr int IDC_BA_ACTUAL_LABEL = 1229;
inline constexpr int IDC_BA_MS1 = 1230;
inline constexpr int IDC_BA_MS2 = 1231;
inline constexpr int IDC_BA_MS3 = 1232;
inline constexpr int IDC_BA_MS4 = 1233;
inline constexpr int IDC_BA_ARGUMENT_LABEL = 1234;

// The editor's own texts.
inline constexpr std::string_view kBaMemoryFull =
    "The FULLFIP memory space is full.\nRemove some variables or messages in the configuration.";
inline constexpr std::string_view kSelectTarget = "Select a target for insertion.";
inline constexpr std::string_view kSelectInstruction = "Select an instruction.";
inline constexpr std::string_view kEnterParameter = "Enter a parameter.";
inline constexpr std::string_view kTimePositive = "A time is positive.";
inline constexpr std::string_view kEnterFileName = "Enter a  file name.";
// Browse can bring a path that BA_PARAM cannot hold; the field keeps 260 characters.
inline constexpr std::string_view kPathTooLong = "The file name is too long.\nThe maximum length is 260 characters.";
inline constexpr std::string_view kIdentifierCaption = "Identifier (hexadecimal)";
inline constexpr std::string_view kEventCaption = "Event number (hexadecimal)";

void RegisterProgBaTemplate();

class CProgBADlg : public CDialog {
 public:
  // Chooses a variable identifier for an ID_DAT or ID_MSG line; none when cancelled.
  using IdentifierPicker = std::function<std::optional<std::uint16_t>(CWnd& parent)>;

  CProgBADlg(CWnd* parent, CPlandrelDoc& document, const TimingTable& timing, bool online);

  // The identifier picker of "Select...". Without one the identifier is typed into the argument
  // edit, as an event number is.
  void SetIdentifierPicker(IdentifierPicker picker) { picker_ = std::move(picker); }

  BOOL OnInitDialog() override;
  void OnOK() override;

  const BaProgramEdit& Edit() const { return edit_; }

 private:
  CListBox& List(std::size_t sequence) { return Item<CListBox>(sequence == 0 ? IDC_BA_SEQUENCE1 : IDC_BA_SEQUENCE2); }
  void FillSequence(std::size_t sequence);
  void FillSequences();
  void ShowFileMode();
  void ShowEditGroups();
  void Refuse(std::string_view text, int focus);
  // The target of Insert and Delete: sequence 0 or 1 with a selection, or none.
  std::optional<std::size_t> SelectedSequence();

  void OnSequenceSelected(std::size_t sequence);
  void OnInstructionSelected();
  void OnSelectIdentifier();
  void UpdateActual(const char* format);
  void OnInsert();
  void OnDelete();
  void OnCopy(std::size_t from);
  void OnSlotSelected();
  void OnDefaultProgram(std::size_t sequence);
  void OnFileClicked();
  void OnBrowse();

  CPlandrelDoc& document_;
  const TimingTable& timing_;
  const bool online_;
  BaProgramEdit edit_;
  IdentifierPicker picker_;
};

}  // namespace plandrel
