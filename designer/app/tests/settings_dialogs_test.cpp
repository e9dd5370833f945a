// The BA program editor, its default-program parameters and the general settings dialog, run
// without a display on the main frame's document and tree, as the frame's commands open them.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "config_gene_dlg.h"
#include "frame_fixture.h"
#include "model/tests/document_fixture.h"
#include "param_prog_def_dlg.h"
#include "prog_ba_dlg.h"
#include "records/byte_codec.h"
#include "select_var_id_dlg.h"
#include "ui/testing.h"

namespace plandrel {
namespace {

using testing::MainFrameTest;

class SettingsDialogs : public MainFrameTest {
 protected:
  void SetUp() override {
    MainFrameTest::SetUp();
    ASSERT_TRUE(document_->New());
    ASSERT_EQ(frame_->Tree()->BuildTree(), 0u);
    // As a load computes it, so that the BA features move a real estimate.
    document_->SetMemoryEstimate(records::memory_estimate(document_->Records(), document_->GetInstructionCost()));
  }

  // Runs the command; each dialog it opens is worked by the script for its template.
  void Run(UINT command, std::map<UINT, std::function<void(CDialog&)>> scripts) {
    qui::testing::ScriptedDialogs dialogs([&](CDialog& dialog) {
      opened_.push_back(dialog.TemplateId());
      if (auto it = scripts.find(dialog.TemplateId()); it != scripts.end()) it->second(dialog);
    });
    ASSERT_TRUE(frame_->RunCommand(command));
  }
  void SetSequences(const std::vector<std::string>& one, const std::vector<std::string>& two) {
    testing::SetBaSequences(*document_, one, two);
  }
  static std::vector<std::string> Lines(CDialog& d, int id) {
    std::vector<std::string> lines;
    CListBox& list = d.Item<CListBox>(id);
    for (int i = 0; i < list.GetCount(); ++i) lines.push_back(list.GetText(i));
    return lines;
  }
  static std::vector<std::string> Stored(const std::vector<records::INSTRUCTION>& sequence) {
    return testing::SequenceTexts(sequence);
  }
  // The texts of the root's children.
  std::vector<std::string> RootChildren() {
    std::vector<std::string> texts;
    CArbreCtrl& tree = *frame_->Tree();
    for (HTREEITEM item = tree.GetChildItem(tree.GetRootItem()); item; item = tree.GetNextSiblingItem(item))
      texts.push_back(tree.GetItemText(item));
    return texts;
  }
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    for (const auto& box : prompts_.Boxes()) texts.push_back(box.text);
    prompts_.Clear();
    return texts;
  }
  static void InsertDate(CDialog& d, int instruction, const char* wished) {
    d.SelectDlgItem(IDC_BA_INSTRUCTIONS, instruction);
    d.TypeDlgItemText(IDC_BA_WISHED, wished);
    d.ClickDlgItem(IDC_BA_INSERT);
  }
  static void InsertArgument(CDialog& d, int instruction, const char* argument) {
    d.SelectDlgItem(IDC_BA_INSTRUCTIONS, instruction);
    d.TypeDlgItemText(IDC_BA_ARGUMENT, argument);
    d.ClickDlgItem(IDC_BA_INSERT);
  }
  // ID_DAT or ID_MSG with the identifier that the picker's script chooses.
  static void InsertPicked(CDialog& d, int instruction) {
    d.SelectDlgItem(IDC_BA_INSTRUCTIONS, instruction);
    d.ClickDlgItem(IDC_BA_SELECT);
    d.ClickDlgItem(IDC_BA_INSERT);
  }
  static void PickTyped(CDialog& d, const char* identifier) {
    d.ClickDlgItem(IDC_CONFIGURED_IDENTIFIER);
    d.TypeDlgItemText(IDC_TYPED_IDENTIFIER, identifier);
    d.ClickDlgItem(IDOK);
  }

  qui::testing::ScriptedPrompts prompts_;
  std::vector<UINT> opened_;
};

TEST_F(SettingsDialogs, InsertPositionsAndSaveIntoTheWorkingFiles) {
  SetSequences({"ID_DAT(100)", "WAIT(CA)"}, {});
  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [](CDialog& d) {
         EXPECT_EQ(Lines(d, IDC_BA_SEQUENCE1), (std::vector<std::string>{"BEGIN", "ID_DAT(100)", "WAIT(12.625 ms)", "END"}));
         EXPECT_EQ(d.GetDlgItemText(IDC_BA_MAXIMUM), "255.938");
         d.SelectDlgItem(IDC_BA_SEQUENCE1, 0);  // "BEGIN": the first instruction
         InsertArgument(d, 5, "fb");
         d.SelectDlgItem(IDC_BA_SEQUENCE1, 0, false);
         d.SelectDlgItem(IDC_BA_SEQUENCE1, 4);  // "END": appended
         InsertDate(d, 3, "0.09375");           // 1.5 units: the half goes down
         EXPECT_EQ(d.GetDlgItemText(IDC_BA_ACTUAL), "0.062500");
         d.SelectDlgItem(IDC_BA_SEQUENCE2, 1);  // selecting in one list clears the other
         EXPECT_TRUE(d.Item<CListBox>(IDC_BA_SEQUENCE1).GetSelectedIndices().empty());
         InsertPicked(d, 1);                    // into the empty sequence 2
         d.ClickDlgItem(IDOK);
       }},
      {IDD_SELECT_VAR_ID, [](CDialog& d) { PickTyped(d, "1a"); }}});
  EXPECT_EQ(Stored(document_->Records().sequence1),
            (std::vector<std::string>{"SUSPEND(FB)", "ID_DAT(100)", "WAIT(CA)", "SEND_MSG(1)"}));
  EXPECT_EQ(Stored(document_->Records().sequence2), (std::vector<std::string>{"ID_MSG(1A)"}));
  EXPECT_EQ(document_->GetInstructionCost(), 1u + 5 + 1 + 1 + 1 + 1);
  EXPECT_TRUE(document_->IsModified());
  records::Configuration back;
  ASSERT_EQ(document_->GetWorkingFiles().read(records::Section::ba, back), records::Status::ok);
  EXPECT_EQ(Stored(back.sequence1), Stored(document_->Records().sequence1));
  EXPECT_EQ(Stored(back.sequence2), Stored(document_->Records().sequence2));
}

TEST_F(SettingsDialogs, IdentifiersOfIdDatAndIdMsgComeFromThePicker) {
  records::VARIABLE4 v;
  v.channel = -1;
  document_->Records().variables = {v, v};
  records::set_text(document_->Records().variables[0].name, "Pump");
  document_->Records().variables[0].identifier = 0x1A;
  records::set_text(document_->Records().variables[1].name, "Valve");
  document_->Records().variables[1].identifier = 0x2B;
  int picks = 0;
  Run(kCmdBusArbitrator,
      {{IDD_PROG_BA, [](CDialog& d) {
          d.SelectDlgItem(IDC_BA_SEQUENCE1, 1);  // "END"
          d.SelectDlgItem(IDC_BA_INSTRUCTIONS, 0);
          EXPECT_TRUE(d.GetDlgItem(IDC_BA_SELECT)->IsWindowEnabled());
          EXPECT_EQ(d.GetDefID(), static_cast<DWORD>(IDC_BA_SELECT));
          d.TypeDlgItemText(IDC_BA_ARGUMENT, "77");  // read-only: the picker gives the identifier
          EXPECT_EQ(d.GetDlgItemText(IDC_BA_ARGUMENT), "");
          d.ClickDlgItem(IDC_BA_SELECT);  // cancelled: nothing chosen
          EXPECT_EQ(d.GetDlgItemText(IDC_BA_ARGUMENT), "");
          d.ClickDlgItem(IDC_BA_SELECT);  // a configured variable
          EXPECT_EQ(d.GetDlgItemText(IDC_BA_ARGUMENT), "2B");
          EXPECT_EQ(d.GetDefID(), static_cast<DWORD>(IDC_BA_INSERT));
          d.ClickDlgItem(IDC_BA_INSERT);
          d.SelectDlgItem(IDC_BA_INSTRUCTIONS, 1);
          d.ClickDlgItem(IDC_BA_SELECT);  // a typed identifier
          d.ClickDlgItem(IDC_BA_INSERT);
          d.SelectDlgItem(IDC_BA_INSTRUCTIONS, 5);  // an event number is still typed
          EXPECT_FALSE(d.GetDlgItem(IDC_BA_SELECT)->IsWindowEnabled());
          d.TypeDlgItemText(IDC_BA_ARGUMENT, "3");
          d.ClickDlgItem(IDC_BA_INSERT);
          d.ClickDlgItem(IDOK);
        }},
       {IDD_SELECT_VAR_ID, [&picks](CDialog& d) {
          if (++picks == 1) return;
          if (picks == 3) return PickTyped(d, "a11");
          d.SelectDlgItem(IDC_VARIABLES_LIST, 1);
          d.ClickDlgItem(IDOK);
        }}});
  EXPECT_EQ(picks, 3);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Stored(document_->Records().sequence1),
            (std::vector<std::string>{"ID_DAT(2B)", "ID_MSG(A11)", "SUSPEND(3)"}));
}

TEST_F(SettingsDialogs, EditorRefusalsWithTheirTexts) {
  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [this](CDialog& d) {
         d.SelectDlgItem(IDC_BA_INSTRUCTIONS, 4);
         d.ClickDlgItem(IDC_BA_INSERT);
         d.SelectDlgItem(IDC_BA_SEQUENCE1, 1);
         d.SelectDlgItem(IDC_BA_INSTRUCTIONS, 4);
         d.ClickDlgItem(IDC_BA_INSERT);  // no time
         for (const char* bad : {"nan", "inf", "abc"}) InsertDate(d, 4, bad);
         InsertDate(d, 4, "-1");
         InsertDate(d, 4, "1e40");  // beyond the latest date: brought to it
         for (const char* argument : {"0", "FC", "", "xyz"}) InsertArgument(d, 5, argument);
         // An identifier comes only from the picker: its edit takes no typing.
         for (const char* argument : {"10000", "-1"}) InsertArgument(d, 0, argument);
         d.ClickDlgItem(IDC_BA_DELETE);  // only "END" is selected: nothing goes
         d.SelectDlgItem(IDC_BA_SEQUENCE1, 2, false);
         d.ClickDlgItem(IDC_BA_DELETE);
         EXPECT_EQ(Lines(d, IDC_BA_SEQUENCE1), (std::vector<std::string>{"BEGIN", "WAIT(255.938 ms)", "END"}));
       }}});
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Select a target for insertion.", "Enter a parameter.", "Enter a parameter.",
                         "Enter a parameter.", "Enter a parameter.", "A time is positive.",
                         "An event number must be higher than 1", "An event number must be lower than FB",
                         "Enter a parameter.", "Enter a parameter.", "Enter a parameter.", "Enter a parameter.",
                         "Select an instruction."}));
  // The script ended without Save: the dialog was cancelled and nothing reached the document.
  EXPECT_TRUE(document_->Records().sequence1.empty());
  EXPECT_FALSE(document_->IsModified());
}

TEST_F(SettingsDialogs, SlotTimeChangeRequantisesTheShownDatesAndSavesTheirUnits) {
  SetSequences({"WAIT(CA)"}, {"SEND_APER(FFF)"});
  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [](CDialog& d) {
         CComboBox& slot = d.Item<CComboBox>(IDC_BA_SLOT);
         EXPECT_EQ(slot.GetLBText(3), "2500");
         d.SelectDlgItem(IDC_BA_INSTRUCTIONS, 4);
         d.TypeDlgItemText(IDC_BA_WISHED, "1");
         d.SelectDlgItem(IDC_BA_SLOT, 1);
         EXPECT_EQ(d.GetDlgItemText(IDC_BA_ACTUAL), "1");
         EXPECT_EQ(d.GetDlgItemText(IDC_BA_MAXIMUM), "1023.75");
         EXPECT_EQ(Lines(d, IDC_BA_SEQUENCE1), (std::vector<std::string>{"BEGIN", "WAIT(12.5 ms)", "END"}));
         EXPECT_EQ(Lines(d, IDC_BA_SEQUENCE2), (std::vector<std::string>{"BEGIN", "SEND_APER(256 ms)", "END"}));
         // Typed text that is none of the four choices gives way to the selected one.
         d.TypeDlgItemText(IDC_BA_SLOT, "300");
         d.GotoDlgCtrl(d.GetDlgItem(IDC_BA_WISHED));
         EXPECT_EQ(slot.GetCurSel(), 1);
         d.ClickDlgItem(IDOK);
       }}});
  EXPECT_EQ(Stored(document_->Records().sequence1), (std::vector<std::string>{"WAIT(32)"}));
  EXPECT_EQ(Stored(document_->Records().sequence2), (std::vector<std::string>{"SEND_APER(400)"}));
  records::Configuration back;
  ASSERT_EQ(document_->GetWorkingFiles().read(records::Section::param, back), records::Status::ok);
  EXPECT_EQ(back.param.slot_time, 1);
}

TEST_F(SettingsDialogs, CancelAfterEachChangeLeavesTheDocumentAsItWas) {
  SetSequences({"ID_DAT(1)", "WAIT(10)"}, {"SUSPEND(2)"});
  records::VARIABLE4 v;
  v.identifier = 0x44;
  v.length = 2;
  v.channel = -1;
  document_->Records().variables.push_back(v);
  const records::Configuration before = document_->Records();
  const std::uint32_t estimate = document_->GetMemoryEstimate();
  const std::uint32_t cost = document_->GetInstructionCost();
  const std::vector<std::string> tree = RootChildren();

  const std::vector<std::function<void(CDialog&)>> changes = {
      [](CDialog& d) { d.SelectDlgItem(IDC_BA_SEQUENCE1, 1); d.ClickDlgItem(IDC_BA_DELETE); },
      [](CDialog& d) { d.ClickDlgItem(IDC_BA_COPY_TO2); },
      [](CDialog& d) { d.ClickDlgItem(IDC_BA_COPY_TO1); },
      [](CDialog& d) { d.SelectDlgItem(IDC_BA_SLOT, 3); },
      [](CDialog& d) { d.SelectDlgItem(IDC_BA_SEQUENCE2, 0); InsertDate(d, 2, "3"); },
      [](CDialog& d) { d.ClickDlgItem(IDC_BA_DEFAULT1); },
      [](CDialog& d) { d.ClickDlgItem(IDC_BA_FILE); d.TypeDlgItemText(IDC_BA_PATH, "/tmp/p.ba"); },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    Run(kCmdBusArbitrator, {{IDD_PROG_BA, [&](CDialog& d) { changes[i](d); d.ClickDlgItem(IDCANCEL); }},
                            {IDD_PARAM_PROG_DEF, [](CDialog& d) { d.TypeDlgItemText(IDC_DEF_CYCLE, "4"); d.ClickDlgItem(IDOK); }}});
    EXPECT_EQ(document_->Records(), before) << "change " << i;
    EXPECT_EQ(document_->GetMemoryEstimate(), estimate) << "change " << i;
    EXPECT_EQ(document_->GetInstructionCost(), cost) << "change " << i;
    EXPECT_FALSE(document_->IsModified()) << "change " << i;
  }

  const std::vector<std::function<void(CDialog&)>> settings = {
      [](CDialog& d) { d.ClickDlgItem(IDC_GENE_BA); },
      [](CDialog& d) { d.SelectDlgItem(IDC_GENE_SPEED, 2); },
      [](CDialog& d) { d.ClickDlgItem(IDC_GENE_TURNAROUND_UP); },
      [](CDialog& d) { d.TypeDlgItemText(IDC_GENE_PRIORITY, "9"); d.ClickDlgItem(IDC_GENE_WORLDFIP); },
  };
  for (std::size_t i = 0; i < settings.size(); ++i) {
    Run(kCmdGeneralSettings, {{IDD_CONFIG_GENE, [&](CDialog& d) { settings[i](d); d.ClickDlgItem(IDCANCEL); }}});
    EXPECT_EQ(document_->Records(), before) << "setting " << i;
    EXPECT_EQ(document_->GetMemoryEstimate(), estimate) << "setting " << i;
    EXPECT_EQ(document_->GetPriority(), 0);
    EXPECT_EQ(RootChildren(), tree) << "setting " << i;
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(SettingsDialogs, FileModeNeedsAPathAndStoresIt) {
  const records::Configuration before = document_->Records();
  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [this, &before](CDialog& d) {
         EXPECT_FALSE(d.GetDlgItem(IDC_BA_PATH)->IsWindowEnabled());
         d.ClickDlgItem(IDC_BA_FILE);
         EXPECT_FALSE(d.GetDlgItem(IDC_BA_SEQUENCE1)->IsWindowEnabled());
         EXPECT_FALSE(d.GetDlgItem(IDC_BA_DEFAULT1)->IsWindowEnabled());
         EXPECT_TRUE(d.GetDlgItem(IDC_BA_BROWSE)->IsWindowEnabled());
         d.ClickDlgItem(IDOK);
         EXPECT_FALSE(d.IsEnded());
         EXPECT_EQ(Boxes(), std::vector<std::string>{"Enter a  file name."});
         EXPECT_EQ(document_->Records(), before);
         // A chosen path that BA_PARAM cannot hold is refused; one it can is taken.
         prompts_.ChooseFileAnswer("/" + std::string(300, 'x') + ".ba");
         d.ClickDlgItem(IDC_BA_BROWSE);
         EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(kPathTooLong)});
         prompts_.ChooseFileAnswer("/programs/cycle.ba");
         d.ClickDlgItem(IDC_BA_BROWSE);
         ASSERT_EQ(prompts_.FileRequests().size(), 1u);
         EXPECT_EQ(prompts_.FileRequests()[0].fileName, "*.ba");
         EXPECT_EQ(prompts_.FileRequests()[0].filter, "Files progBA (*.ba)|*.ba||");
         EXPECT_EQ(prompts_.FileRequests()[0].title, "Select");
         d.ClickDlgItem(IDOK);
         EXPECT_TRUE(d.IsEnded());
       }}});
  EXPECT_EQ(document_->Records().ba.program_from_file, 1);
  EXPECT_EQ(records::text_of(document_->Records().ba.program_path), "/programs/cycle.ba");

  // Opened again in file mode: the sequences are disabled, a path typed over is stored too.
  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [](CDialog& d) {
         EXPECT_EQ(d.IsDlgButtonChecked(IDC_BA_FILE), BST_CHECKED);
         EXPECT_FALSE(d.GetDlgItem(IDC_BA_INSERT)->IsWindowEnabled());
         EXPECT_EQ(d.GetDlgItemText(IDC_BA_PATH), "/programs/cycle.ba");
         d.TypeDlgItemText(IDC_BA_PATH, "/programs/other.ba");
         d.ClickDlgItem(IDOK);
       }}});
  EXPECT_EQ(records::text_of(document_->Records().ba.program_path), "/programs/other.ba");
}

TEST_F(SettingsDialogs, DefaultProgramThroughItsParameters) {
  records::VARIABLE4 v;
  v.identifier = 0x1A;
  v.length = 4;
  v.channel = -1;
  document_->Records().variables = {v, v};
  document_->Records().variables[1].identifier = 0x2B;
  document_->Records().messages.resize(1);
  document_->Records().messages[0].aperiodic = 1;
  SetSequences({}, {"WAIT(1)"});
  Run(kCmdBusArbitrator,
      {{IDD_PROG_BA, [](CDialog& d) {
          d.ClickDlgItem(IDC_BA_DEFAULT1);
          EXPECT_EQ(Lines(d, IDC_BA_SEQUENCE1), (std::vector<std::string>{"BEGIN", "ID_DAT(1A)", "ID_DAT(2B)",
                                                                           "SEND_MSG(255.938 ms)", "SEND_APER(255.938 ms)",
                                                                           "WAIT(255.938 ms)", "END"}));
          d.ClickDlgItem(IDOK);
        }},
       {IDD_PARAM_PROG_DEF, [this](CDialog& d) {
          EXPECT_EQ(d.GetDlgItemText(IDC_DEF_FRAMES), "WorldFip");
          EXPECT_EQ(d.GetDlgItemText(IDC_DEF_SPEED), "1000");
          EXPECT_EQ(d.GetDlgItemText(IDC_DEF_TURNAROUND), "10");
          EXPECT_EQ(d.GetDlgItemText(IDC_DEF_SLOT), "62.5");
          // 8 x (2 x 12 + 16) bits = 0.32 ms, 4 frames of 0.01 ms: 0.36 ms, 5.76 units of 62.5 µs.
          EXPECT_EQ(d.GetDlgItemText(IDC_DEF_MINIMUM), "0.375");
          EXPECT_EQ(d.GetDlgItemText(IDC_DEF_MAXIMUM), "255.938");
          d.ClickDlgItem(IDOK);
          EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(kEnterCycle)});
          d.ClickDlgItem(IDC_DEF_APERIODIC);
          d.TypeDlgItemText(IDC_DEF_CYCLE, "1e40");  // lowered to the maximum without a message
          d.ClickDlgItem(IDOK);
          EXPECT_EQ(d.GetDlgItemText(IDC_DEF_CYCLE), "255.938");
          EXPECT_TRUE(Boxes().empty());
        }}});
  EXPECT_EQ(Stored(document_->Records().sequence1),
            (std::vector<std::string>{"ID_DAT(1A)", "ID_DAT(2B)", "SEND_MSG(FFF)", "SEND_APER(FFF)", "WAIT(FFF)"}));
  EXPECT_EQ(document_->GetInstructionCost(), 1u + 5 + 5 + 1 + 1 + 1 + 1);
}

TEST_F(SettingsDialogs, OnLineBothEditorsOnlyShow) {
  SetSequences({"WAIT(1)"}, {});
  host_.online = true;
  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [](CDialog& d) {
         for (int id : {IDOK, IDC_BA_INSERT, IDC_BA_DELETE, IDC_BA_SLOT, IDC_BA_DEFAULT1, IDC_BA_COPY_TO2})
           EXPECT_FALSE(d.GetDlgItem(id)->IsWindowEnabled()) << id;
         EXPECT_EQ(d.GetDefID(), static_cast<DWORD>(IDCANCEL));
         d.ClickDlgItem(IDC_BA_FILE);
         EXPECT_EQ(d.IsDlgButtonChecked(IDC_BA_FILE), BST_UNCHECKED);
         d.PressEnter();
       }}});
  Run(kCmdGeneralSettings, {{IDD_CONFIG_GENE, [](CDialog& d) {
         EXPECT_FALSE(d.GetDlgItem(IDOK)->IsWindowEnabled());
         EXPECT_FALSE(d.GetDlgItem(IDC_GENE_SILENCE_UP)->IsWindowEnabled());
         EXPECT_TRUE(d.Item<CEdit>(IDC_GENE_TURNAROUND).IsReadOnly());
         d.ClickDlgItem(IDC_GENE_BA);
         EXPECT_EQ(d.IsDlgButtonChecked(IDC_GENE_BA), BST_CHECKED);
         d.PressEnter();
       }}});
  EXPECT_EQ(opened_, (std::vector<UINT>{IDD_PROG_BA, IDD_CONFIG_GENE}));
  EXPECT_FALSE(document_->IsModified());
}

TEST_F(SettingsDialogs, GeneralSettingsCorrectTypedTimesAndFollowTheBaFeaturesInTheTree) {
  Run(kCmdGeneralSettings, {{IDD_CONFIG_GENE, [this](CDialog& d) {
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_TURNAROUND), "10");
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_SILENCE), "150");
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_DELAY), "958.32");
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_ELECTION), "56.98");
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_PADDING), "7530");
         EXPECT_TRUE(d.GetDlgItem(IDC_GENE_CLOCK)->IsWindowVisible());
         d.TypeDlgItemText(IDC_GENE_TURNAROUND, "5");
         d.GotoDlgCtrl(d.GetDlgItem(IDC_GENE_SILENCE));
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_TURNAROUND), "10");
         for (const char* bad : {"nan", "inf", ""}) {
           d.TypeDlgItemText(IDC_GENE_SILENCE, bad);
           d.GotoDlgCtrl(d.GetDlgItem(IDC_GENE_TURNAROUND));
           EXPECT_EQ(d.GetDlgItemText(IDC_GENE_SILENCE), "150") << bad;
         }
         d.TypeDlgItemText(IDC_GENE_SILENCE, "1e40");
         d.GotoDlgCtrl(d.GetDlgItem(IDC_GENE_TURNAROUND));
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_SILENCE), "355");
         d.TypeDlgItemText(IDC_GENE_PRIORITY, "x");
         d.GotoDlgCtrl(d.GetDlgItem(IDC_GENE_TURNAROUND));
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_PRIORITY), "0");
         d.SelectDlgItem(IDC_GENE_SPEED, 2);
         EXPECT_FALSE(d.GetDlgItem(IDC_GENE_CLOCK)->IsWindowVisible());
         d.ClickDlgItem(IDC_GENE_BA);
         EXPECT_FALSE(d.GetDlgItem(IDC_GENE_DELAY)->IsWindowEnabled());
         d.TypeDlgItemText(IDC_GENE_TURNAROUND, "1000");  // Save applies this edit's correction first
         d.ClickDlgItem(IDOK);
       }}});
  EXPECT_EQ(prompts_.Beeps(), 3);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"The turn around time is too small.\nThe minimum value is 10 µs.",
                                               "The silence time is too high.\nThe maximum value is 355 µs.",
                                               std::string(kPriorityRange),
                                               "The turn around time is too high.\nThe maximum value is 101.3 µs."}));
  const records::GENERAL_PARAM& param = document_->Records().param;
  EXPECT_EQ(param.speed, 2);
  EXPECT_EQ(param.speed_constant, 80);
  EXPECT_EQ(param.turnaround, 63);
  EXPECT_EQ(param.silence, 63);
  EXPECT_EQ(param.ba_size, 0);
  EXPECT_TRUE(document_->IsModified());
  EXPECT_EQ(RootChildren(), std::vector<std::string>{"Local station"});
  EXPECT_FALSE(frame_->State().bus_arbitrator);

  // On, off and on again in one run: one item, put back by the one Save.
  Run(kCmdGeneralSettings, {{IDD_CONFIG_GENE, [](CDialog& d) {
         for (int i = 0; i < 3; ++i) d.ClickDlgItem(IDC_GENE_BA);
         d.ClickDlgItem(IDOK);
       }}});
  EXPECT_EQ(RootChildren(), (std::vector<std::string>{"Local bus arbitrator", "Local station"}));
  records::Configuration back;
  ASSERT_EQ(document_->GetWorkingFiles().read(records::Section::param, back), records::Status::ok);
  EXPECT_EQ(back.param.ba_size, 1);
  EXPECT_EQ(back.param.turnaround, 63);
}

// Values that only a damaged file holds: both editors open, show what they can and change nothing
// on Cancel; a Save then keeps the lines it cannot read as they were.
TEST_F(SettingsDialogs, DamagedValuesFromAFile) {
  SetSequences({"WAIT(ZZ)", "WAIT(", "ID_DAT(1234567)", "WAIT(C8)"}, {});
  records::GENERAL_PARAM& param = document_->Records().param;
  param.speed = 3;
  param.clock_multiplier = 2;
  param.speed_constant = 0;
  param.slot_time = 9;
  const records::Configuration before = document_->Records();
  Run(kCmdGeneralSettings, {{IDD_CONFIG_GENE, [](CDialog& d) {
         EXPECT_EQ(d.Item<CComboBox>(IDC_GENE_SPEED).GetCurSel(), CB_ERR);
         EXPECT_EQ(d.GetDlgItemText(IDC_GENE_TURNAROUND), "10");  // read with the 1 Mbit/s entry
         d.ClickDlgItem(IDCANCEL);
       }}});
  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [](CDialog& d) {
         EXPECT_EQ(Lines(d, IDC_BA_SEQUENCE1),
                   (std::vector<std::string>{"BEGIN", "WAIT(ZZ)", "WAIT(", "ID_DAT(1234567)", "WAIT(C8)", "END"}));
         EXPECT_EQ(d.Item<CComboBox>(IDC_BA_SLOT).GetLBText(0), "0");
         EXPECT_EQ(d.GetDlgItemText(IDC_BA_MAXIMUM), "0");
         d.ClickDlgItem(IDCANCEL);
       }}});
  EXPECT_EQ(document_->Records(), before);
  EXPECT_FALSE(document_->IsModified());

  Run(kCmdBusArbitrator, {{IDD_PROG_BA, [](CDialog& d) {
         d.SelectDlgItem(IDC_BA_SEQUENCE1, 5);
         InsertArgument(d, 5, "2");
         d.ClickDlgItem(IDOK);
       }}});
  EXPECT_EQ(Stored(document_->Records().sequence1),
            (std::vector<std::string>{"WAIT(ZZ)", "WAIT(", "ID_DAT(1234567)", "WAIT(C8)", "SUSPEND(2)"}));
  EXPECT_EQ(document_->Records().param.slot_time, 9);
}

TEST_F(SettingsDialogs, TreeDoubleClickAndConfigurationCommandOpenTheirEditors) {
  CArbreCtrl& tree = *frame_->Tree();
  tree.ExpandAll();
  const HTREEITEM root = tree.GetRootItem();
  const HTREEITEM arbitrator = tree.GetChildItem(root);
  {
    qui::testing::ScriptedDialogs dialogs([&](CDialog& d) { opened_.push_back(d.TemplateId()); });
    tree.ClickItem(root, NM_DBLCLK);
    tree.ClickItem(arbitrator, NM_DBLCLK);
    // On line, the "Configuration..." of the same two items opens them view-only.
    host_.online = true;
    host_.session = std::make_unique<testing::FakeSession>();
    for (HTREEITEM item : {root, arbitrator}) {
      prompts_.MenuAnswer(kCmdConfiguration);
      tree.ClickItem(item, NM_RCLICK);
      testing::pump();
    }
  }
  EXPECT_EQ(opened_, (std::vector<UINT>{IDD_CONFIG_GENE, IDD_PROG_BA, IDD_CONFIG_GENE, IDD_PROG_BA}));
}

}  // namespace
}  // namespace plandrel
