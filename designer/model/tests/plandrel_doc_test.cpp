// The configuration document: new, open, save and their failures, titles, table sizes, the
// working files and the names of copies.
#include "model/plandrel_doc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "model/tests/scripted_host.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/format3.h"
#include "testing/unprivileged.h"

namespace plandrel {
namespace {

namespace fs = std::filesystem;
using records::Section;
using testing::ScriptedHost;

std::vector<std::uint8_t> contents(const fs::path& path) {
  std::vector<std::uint8_t> bytes;
  records::read_whole_file(path, records::kLargestConfigurationFile, bytes);
  return bytes;
}

void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  ASSERT_TRUE(records::write_file_atomically(path, bytes)) << path;
}

records::VARIABLE4 variable(std::string_view name, std::uint16_t identifier) {
  records::VARIABLE4 v;
  records::set_text(v.name, name);
  records::set_text(v.format, "%h");
  v.identifier = identifier;
  v.length = 1;
  v.channel = -1;
  return v;
}

records::MESSAGE4 message(std::string_view name, bool transmitted) {
  records::MESSAGE4 m;
  records::set_text(m.name, name);
  records::set_text(m.format, "%h");
  m.transmitted = transmitted ? 1 : 0;
  m.aperiodic = 1;
  m.remote_station = -1;
  return m;
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("QUORELLE_MACHINE_ROOT");
    folder_ = fs::path(root ? root : fs::temp_directory_path().c_str()) / "doc" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "work");
    doc_ = std::make_unique<CPlandrelDoc>(host_, folder_ / "work", SelectedDevice{1, 0});
  }
  void TearDown() override {
    doc_.reset();
    fs::remove_all(folder_);
  }

  // A configuration file written from `c` in format 4.
  fs::path file_of(const records::Configuration& c, std::string_view name) {
    const fs::path path = folder_ / name;
    write_bytes(path, records::encode_format4(c));
    return path;
  }

  // A new document with a few records whose working files are current, marked modified.
  void edited_document() {
    ASSERT_TRUE(doc_->New());
    auto& c = doc_->Records();
    c.variables = {variable("Pump", 0x10), variable("Valve", 0x11)};
    c.messages = {message("Order", true)};
    records::renumber_keys(c);
    ASSERT_TRUE(doc_->WriteAllWorkingFiles());
    doc_->SetModifiedFlag();
  }

  ScriptedHost host_;
  fs::path folder_;
  std::unique_ptr<CPlandrelDoc> doc_;
};

TEST_F(DocumentTest, NewWritesTheWorkingFilesOfANewConfiguration) {
  EXPECT_TRUE(doc_->IsUntouched());
  EXPECT_FALSE(doc_->WorkingFilesExist());
  ASSERT_TRUE(doc_->New());
  EXPECT_FALSE(doc_->IsUntouched());
  EXPECT_FALSE(doc_->IsModified());
  EXPECT_TRUE(doc_->WorkingFilesExist());
  EXPECT_EQ(host_.last_title(), "Plandrel - untitled");
  EXPECT_EQ(doc_->Records(), records::new_configuration());
  EXPECT_EQ(doc_->GetMemoryEstimate(), 1u);
  EXPECT_EQ(doc_->GetInstructionCost(), 1u);
  EXPECT_TRUE(fs::exists(folder_ / "work" / "variables01.trv"));
  EXPECT_TRUE(host_.shown.empty());
}

TEST_F(DocumentTest, TableSizesAtTheirEdges) {
  struct Case {
    std::size_t messages, variables;
    std::uint16_t message_table, variable_table;
  };
  for (const Case& k : {Case{0, 0, 4, 4}, Case{5, 4, 8, 8}, Case{8, 8, 8, 16},
                        Case{4096, 4095, 4096, 4096}, Case{4097, 2048, 4096, 4096}}) {
    ASSERT_TRUE(doc_->New());
    doc_->Records().messages.assign(k.messages, message("m", false));
    doc_->Records().variables.assign(k.variables, variable("v", 1));
    ASSERT_TRUE(doc_->SizeTables());
    records::Configuration written;
    ASSERT_EQ(doc_->GetWorkingFiles().read(Section::param, written), records::Status::ok);
    EXPECT_EQ(written.param.message_table_size, k.message_table) << k.messages;
    EXPECT_EQ(written.param.variable_table_size, k.variable_table) << k.variables;
  }
  // ba_size follows the instruction cost in blocks of 1000, and stays 0 without a bus arbitrator.
  doc_->SetInstructionCost(1001);
  ASSERT_TRUE(doc_->SizeTables());
  EXPECT_EQ(doc_->Records().param.ba_size, 2);
  doc_->Records().param.ba_size = 0;
  ASSERT_TRUE(doc_->SizeTables());
  EXPECT_EQ(doc_->Records().param.ba_size, 0);
}

TEST_F(DocumentTest, SavingOverALongerFileLeavesExactlyTheNewContent) {
  records::Configuration big = records::new_configuration();
  big.variables.assign(100, variable("v", 1));
  const fs::path path = file_of(big, "net.cnf");
  ASSERT_TRUE(doc_->ReadConfiguration(path));
  EXPECT_EQ(doc_->Records().variables.size(), 100u);

  doc_->Records().variables.clear();
  ASSERT_TRUE(doc_->WriteWorkingFile(Section::variables));
  doc_->SetModifiedFlag();
  ASSERT_TRUE(doc_->Save());
  // One station, no records, empty sequences: magic and sections add up to 356 bytes.
  EXPECT_EQ(fs::file_size(path), 356u);
  EXPECT_FALSE(doc_->IsModified());
  EXPECT_EQ(host_.last_title(), "Plandrel - net.cnf");
  const auto bytes = contents(path);
  records::Configuration read;
  records::LoadSummary summary;
  ASSERT_EQ(records::decode_configuration(bytes, read, summary), records::Status::ok);
  EXPECT_TRUE(read.variables.empty());
  EXPECT_EQ(read.param.variable_table_size, 4);  // the tables were sized before the write
}

TEST_F(DocumentTest, AFailedSaveKeepsTheOldFileAndTheModifiedMark) {
  records::Configuration old = records::new_configuration();
  old.variables.assign(3, variable("v", 1));
  const fs::path path = file_of(old, "net.cnf");
  ASSERT_TRUE(doc_->ReadConfiguration(path));
  const auto before = contents(path);

  doc_->Records().variables.clear();
  doc_->SetModifiedFlag();
  fs::remove(doc_->GetWorkingFiles().path(Section::messages));  // a working file gone
  EXPECT_FALSE(doc_->Save());
  EXPECT_EQ(contents(path), before);
  EXPECT_TRUE(doc_->IsModified());
  EXPECT_EQ(host_.texts().back(), "Error recording configuration.");

  // A destination that cannot be written: the old file there stays whole as well.
  ASSERT_TRUE(doc_->WriteAllWorkingFiles());
  host_.save_paths.push_back(FileDialogResult{folder_ / "missing-folder" / "x.cnf", 1});
  EXPECT_FALSE(doc_->SaveAs());
  EXPECT_TRUE(doc_->IsModified());
  EXPECT_EQ(doc_->GetPathName(), path);
  EXPECT_EQ(contents(path), before);
}

TEST_F(DocumentTest, AnUntitledSaveGoesToSaveAs) {
  edited_document();
  host_.save_paths.push_back(std::nullopt);  // cancelled: nothing saved
  EXPECT_FALSE(doc_->Save());
  ASSERT_EQ(host_.save_requests.size(), 1u);
  EXPECT_EQ(host_.save_requests[0].file_name, "untitled.cnf");
  EXPECT_EQ(host_.save_requests[0].default_extension, "cnf");
  EXPECT_EQ(host_.save_requests[0].filter, "cnf (format 4)|*.cnf|cnf (format 3)|*.cnf||");
  EXPECT_TRUE(doc_->IsModified());

  const fs::path path = folder_ / "plant.cnf";
  host_.save_paths.push_back(FileDialogResult{path, 1});
  EXPECT_TRUE(doc_->Save());
  EXPECT_FALSE(doc_->IsModified());
  EXPECT_EQ(doc_->GetPathName(), path);
  EXPECT_EQ(doc_->GetTitle(), "plant.cnf");
  EXPECT_EQ(host_.last_title(), "Plandrel - plant.cnf");
  EXPECT_EQ(host_.recent, std::vector<fs::path>{path});
  EXPECT_EQ(records::format_of(contents(path)), records::Format::v4);
}

TEST_F(DocumentTest, SaveAsFormat3AndTheConversionQuestionOnTheNextSave) {
  edited_document();
  const fs::path path = folder_ / "old.cnf";
  host_.save_paths.push_back(FileDialogResult{path, 2});
  ASSERT_TRUE(doc_->SaveAs());
  EXPECT_EQ(records::format_of(contents(path)), records::Format::v3);

  doc_->SetModifiedFlag();
  host_.answers.push_back(MessageAnswer::no);
  EXPECT_FALSE(doc_->Save());
  EXPECT_EQ(host_.shown.back().text,
            "This file will be converted to Plandrel 4.0 format. \nDo you want to continue ?");
  EXPECT_EQ(host_.shown.back().buttons, MessageButtons::yes_no);
  EXPECT_EQ(records::format_of(contents(path)), records::Format::v3);
  EXPECT_TRUE(doc_->IsModified());

  host_.answers.push_back(MessageAnswer::yes);
  EXPECT_TRUE(doc_->Save());
  EXPECT_EQ(records::format_of(contents(path)), records::Format::v4);
}

TEST_F(DocumentTest, SaveModifiedAnswers) {
  struct Case {
    MessageAnswer answer;
    bool writable;  // whether the save that Yes runs can succeed
    bool result;
    bool modified_after;
  };
  for (const Case& k :
       {Case{MessageAnswer::yes, true, true, false}, Case{MessageAnswer::no, true, true, true},
        Case{MessageAnswer::cancel, true, false, true},
        // A Yes whose save fails cancels: the changes are not dropped.
        Case{MessageAnswer::yes, false, false, true}}) {
    const fs::path path = file_of(records::new_configuration(), "mod.cnf");
    ASSERT_TRUE(doc_->ReadConfiguration(path));
    doc_->SetModifiedFlag();
    if (!k.writable) fs::remove(doc_->GetWorkingFiles().path(Section::stations));
    host_.shown.clear();
    host_.answers = {k.answer};
    EXPECT_EQ(doc_->SaveModified(), k.result);
    ASSERT_FALSE(host_.shown.empty());
    EXPECT_EQ(host_.shown[0].text, "Save changes to " + path.string() + "?");
    EXPECT_EQ(host_.shown[0].buttons, MessageButtons::yes_no_cancel);
    EXPECT_EQ(doc_->IsModified(), k.modified_after);
    doc_->SetModifiedFlag(false);
  }
  // Not modified: no question.
  host_.shown.clear();
  EXPECT_TRUE(doc_->SaveModified());
  EXPECT_TRUE(host_.shown.empty());
  // Untitled: the question names "untitled".
  ASSERT_TRUE(doc_->New());
  doc_->SetModifiedFlag();
  host_.answers = {MessageAnswer::cancel};
  EXPECT_FALSE(doc_->New());
  EXPECT_EQ(host_.shown.back().text, "Save changes to untitled?");
}

TEST_F(DocumentTest, ReopeningTheEditedFileAfterSavingItReadsTheSavedContent) {
  const fs::path path = file_of(records::new_configuration(), "same.cnf");
  ASSERT_TRUE(doc_->ReadConfiguration(path));
  doc_->Records().variables = {variable("Added", 9)};
  ASSERT_TRUE(doc_->WriteWorkingFile(Section::variables));
  doc_->SetModifiedFlag();
  host_.answers = {MessageAnswer::yes};
  ASSERT_TRUE(doc_->ReadConfiguration(path));
  ASSERT_EQ(doc_->Records().variables.size(), 1u);
  EXPECT_EQ(records::text_of(doc_->Records().variables[0].name), "Added");
}

TEST_F(DocumentTest, Titles) {
  struct Case {
    fs::path file;
    bool modified;
    std::string title;
  };
  for (const Case& k :
       {Case{"", false, "Plandrel - untitled"}, Case{"", true, "Plandrel - untitled *"},
        Case{"a/b/net.cnf", false, "Plandrel - net.cnf"},
        Case{"net.cnf", true, "Plandrel - net.cnf *"}}) {
    ASSERT_TRUE(doc_->New());
    if (!k.file.empty()) {
      fs::create_directories((folder_ / k.file).parent_path());
      ASSERT_TRUE(doc_->ReadConfiguration(file_of(records::new_configuration(), k.file.string())));
    }
    doc_->SetModifiedFlag(k.modified);
    doc_->UpdateTitle();
    EXPECT_EQ(host_.last_title(), k.title);
    EXPECT_EQ(doc_->TitleText(), k.title);
    doc_->SetModifiedFlag(false);
  }
}

TEST_F(DocumentTest, OpenReadsTheChosenFile) {
  const fs::path path = file_of(records::new_configuration(), "open.cnf");
  host_.open_paths = {std::nullopt, FileDialogResult{path, 1}};
  EXPECT_FALSE(doc_->Open());
  EXPECT_TRUE(doc_->IsUntouched());
  EXPECT_TRUE(doc_->Open());
  EXPECT_FALSE(doc_->IsUntouched());
  EXPECT_EQ(host_.open_requests[0].filter, "Files Plandrel(*.cnf)|*.cnf|All files(*.*)|*.*||");
  EXPECT_EQ(host_.last_title(), "Plandrel - open.cnf");
  EXPECT_EQ(host_.recent, std::vector<fs::path>{path});
}

TEST_F(DocumentTest, RecordsChangedOnOpeningReachTheWorkingFiles) {
  // Format 4: a message channel above 8 is cleared in the document and in the working file.
  records::Configuration c = records::new_configuration();
  c.messages = {message("M", true)};
  c.messages[0].channel = 9;
  ASSERT_TRUE(doc_->ReadConfiguration(file_of(c, "nine.cnf")));
  records::Configuration from_files;
  ASSERT_EQ(doc_->GetWorkingFiles().read(Section::messages, from_files), records::Status::ok);
  EXPECT_EQ(doc_->Records().messages[0].channel, 0);
  EXPECT_EQ(from_files.messages, doc_->Records().messages);

  // Format 3: the message between two variables of the same producer is gone from both.
  records::Configuration three = records::new_configuration();
  three.variables = {variable("A", 1), variable("B", 2)};
  three.variables[1].direction = 1;  // consumed locally: produced by the mirror
  three.messages = {message("Local", true), message("Across", true)};
  three.messages[0].source_identifier = 1;
  three.messages[0].destination_identifier = 1;
  three.messages[1].source_identifier = 1;
  three.messages[1].destination_identifier = 2;
  const fs::path path = folder_ / "three.cnf";
  write_bytes(path, records::encode_format3(three));
  ASSERT_TRUE(doc_->ReadConfiguration(path));
  ASSERT_EQ(doc_->Records().messages.size(), 1u);
  EXPECT_EQ(records::text_of(doc_->Records().messages[0].name), "Across");
  EXPECT_EQ(doc_->Records().messages[0].key, 35000);
  from_files = {};
  ASSERT_EQ(doc_->GetWorkingFiles().read(Section::messages, from_files), records::Status::ok);
  EXPECT_EQ(from_files.messages, doc_->Records().messages);
  EXPECT_EQ(doc_->Records().station_count, 2);
  EXPECT_EQ(records::text_of(doc_->Records().stations[1].name), "Mirror");

  // Saved as format 4, the file holds what the document holds.
  doc_->SetModifiedFlag();
  host_.answers = {MessageAnswer::yes};
  ASSERT_TRUE(doc_->Save());
  records::Configuration saved;
  records::LoadSummary summary;
  ASSERT_EQ(records::decode_configuration(contents(path), saved, summary), records::Status::ok);
  EXPECT_EQ(saved.messages, doc_->Records().messages);
  EXPECT_TRUE(saved.lists.empty());
}

TEST_F(DocumentTest, BadFilesLeaveTheDocumentAsItWas) {
  edited_document();
  const fs::path good = folder_ / "good.cnf";
  host_.save_paths.push_back(FileDialogResult{good, 1});
  ASSERT_TRUE(doc_->SaveAs());
  const records::Configuration before = doc_->Records();
  const auto saved_bytes = contents(good);

  auto full = records::encode_format4(before);
  std::vector<std::uint8_t> truncated(full.begin(), full.begin() + 300);
  std::vector<std::uint8_t> foreign{'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<std::uint8_t> bad_count = full;
  bad_count[11 + 262 + 2 + 2] = 0xFF;  // messages count 0xFFFF
  bad_count[11 + 262 + 2 + 2 + 1] = 0xFF;
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::string text;
  };
  for (const Case& k : {Case{"truncated.cnf", truncated, "Cannot open file : invalid format."},
                        Case{"foreign.cnf", foreign, "Cannot open file : invalid format."},
                        Case{"short.cnf", {'V', 'E'}, "Cannot open file : invalid format."},
                        Case{"count.cnf", bad_count, "Cannot open file : invalid format."}}) {
    write_bytes(folder_ / k.name, k.bytes);
    host_.shown.clear();
    EXPECT_FALSE(doc_->ReadConfiguration(folder_ / k.name)) << k.name;
    EXPECT_EQ(host_.texts(), std::vector<std::string>{k.text}) << k.name;
    EXPECT_EQ(doc_->Records(), before) << k.name;
    EXPECT_EQ(doc_->GetPathName(), good) << k.name;
  }
  host_.shown.clear();
  EXPECT_FALSE(doc_->ReadConfiguration(folder_ / "absent.cnf"));
  EXPECT_EQ(host_.texts(), std::vector<std::string>{"Error recording configuration."});
  // The document still saves, and what was saved is untouched.
  EXPECT_EQ(contents(good), saved_bytes);
  doc_->SetModifiedFlag();
  EXPECT_TRUE(doc_->Save());
  EXPECT_EQ(contents(good), saved_bytes);
}

TEST_F(DocumentTest, StationIndicesOutsideTheStationTableAreRefusedAtOpen) {
  edited_document();
  doc_->SetModifiedFlag(false);
  const records::Configuration before = doc_->Records();
  struct Case {
    const char* name;
    std::function<void(records::Configuration&)> damage;
    bool opens;
  };
  const Case cases[] = {
      {"local index equal to the count", [](auto& c) { c.local_station = c.station_count; }, false},
      {"no station at all", [](auto& c) { c.station_count = 0; }, false},
      {"producer equal to the count", [](auto& c) { c.variables[1].producer = 1; }, false},
      {"producer below -1", [](auto& c) { c.variables[0].producer = -2; }, false},
      {"no producer, consumed here",
       [](auto& c) {
         c.variables[0].producer = -1;
         c.variables[0].direction = 1;
         records::set_consumer(c.variables[0], 0, true);
         c.variables[0].consumer_count = 1;
       },
       true},
      {"remote station outside the table", [](auto& c) { c.messages[0].remote_station = 300; }, true},
  };
  for (const Case& k : cases) {
    records::Configuration c = before;
    k.damage(c);
    host_.shown.clear();
    EXPECT_EQ(doc_->ReadConfiguration(file_of(c, "damaged.cnf")), k.opens) << k.name;
    if (k.opens) continue;
    EXPECT_EQ(host_.texts(), std::vector<std::string>{"Cannot open file : invalid format."}) << k.name;
    EXPECT_EQ(doc_->Records(), before) << k.name;
  }

  // The same damage in the working files: Current configuration takes none of them.
  records::Configuration c = before;
  c.local_station = 1;
  ASSERT_EQ(doc_->GetWorkingFiles().write_all(c), records::Status::ok);
  CPlandrelDoc fresh(host_, folder_ / "work", SelectedDevice{1, 0});
  host_.shown.clear();
  EXPECT_FALSE(fresh.ReloadWorkingFiles());
  EXPECT_EQ(host_.texts(), std::vector<std::string>{"Warning :\nProblem in intermediate files management."});
  EXPECT_EQ(fresh.Records(), records::new_configuration());
  EXPECT_TRUE(fresh.IsUntouched());
}

TEST_F(DocumentTest, AFileLargerThanAnyConfigurationIsRefusedUnread) {
  edited_document();
  const records::Configuration before = doc_->Records();
  doc_->SetModifiedFlag(false);
  // A valid file followed by enough zeros to pass the largest configuration; the zeros take no
  // room on the disk, and reading them would take 64 GiB of memory.
  for (const std::uintmax_t size : {std::uintmax_t{records::kLargestConfigurationFile} + 1, std::uintmax_t{64} << 30}) {
    const fs::path path = file_of(before, "huge.cnf");
    fs::resize_file(path, size);
    host_.shown.clear();
    EXPECT_FALSE(doc_->ReadConfiguration(path)) << size;
    EXPECT_EQ(host_.texts(), std::vector<std::string>{"Cannot open file : invalid format."}) << size;
    EXPECT_EQ(doc_->Records(), before);
  }
  // At the largest size the file is read; what follows the last list is not looked at.
  const fs::path path = file_of(before, "largest.cnf");
  fs::resize_file(path, records::kLargestConfigurationFile);
  host_.shown.clear();
  EXPECT_TRUE(doc_->ReadConfiguration(path));
}

TEST_F(DocumentTest, SavingOverAFileTheUserMayNotWriteChangesNothing) {
  if (const std::string why = qtesting::noUnprivilegedUser(); !why.empty()) GTEST_SKIP() << why;
  const qtesting::UnprivilegedFolder folder;
  const fs::path work = folder.path() / "work";
  fs::create_directory(work);
  folder.handOver(work, fs::perms::owner_all);
  const fs::path target = folder.path() / "net.cnf";
  records::Configuration c = records::new_configuration();
  c.variables = {variable("Pump", 0x10)};
  write_bytes(target, records::encode_format4(c));
  const fs::perms read_only = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  folder.handOver(target, read_only);

  EXPECT_TRUE(qtesting::runUnprivileged([&] {
    ScriptedHost host;
    CPlandrelDoc doc(host, work, SelectedDevice{1, 0});
    if (!doc.ReadConfiguration(target)) return false;
    doc.Records().variables.clear();
    doc.SetModifiedFlag();
    return !doc.Save() && doc.IsModified() &&
           host.texts() == std::vector<std::string>{"Error recording configuration."};
  }));
  EXPECT_EQ(contents(target), records::encode_format4(c));
  EXPECT_EQ(fs::status(target).permissions(), read_only);
}

TEST_F(DocumentTest, ReloadWorkingFilesRebuildsAnUntitledModifiedDocument) {
  // Working files of a configuration with priority 3 at local address 5.
  records::Configuration c = records::new_configuration();
  c.stations[0].physical_address = 5;
  c.param.election_count = records::election_count(3, 5);
  c.variables = {variable("Pump", 1)};
  c.variables[0].key = 7777;  // a key the file holds wrongly
  ASSERT_EQ(doc_->GetWorkingFiles().write_all(c), records::Status::ok);

  ASSERT_TRUE(doc_->ReloadWorkingFiles());
  EXPECT_EQ(doc_->GetPriority(), 3);
  EXPECT_EQ(doc_->Records().variables[0].key, 5000);
  EXPECT_TRUE(doc_->IsModified());
  EXPECT_FALSE(doc_->IsUntouched());
  EXPECT_TRUE(doc_->GetPathName().empty());
  EXPECT_EQ(host_.last_title(), "Plandrel - untitled *");
  EXPECT_EQ(doc_->GetMemoryEstimate(), records::memory_estimate(doc_->Records(), 1));

  struct Case {
    Section missing;
    std::string text;
  };
  for (const Case& k :
       {Case{Section::messages, "Warning :\nProblem in intermediate files management."},
        Case{Section::listes, "Warning :\nProblem creating intermediate files."}}) {
    ASSERT_EQ(doc_->GetWorkingFiles().write_all(c), records::Status::ok);
    fs::remove(doc_->GetWorkingFiles().path(k.missing));
    host_.shown.clear();
    EXPECT_FALSE(doc_->ReloadWorkingFiles());
    EXPECT_EQ(host_.texts(), std::vector<std::string>{k.text});
  }
}

TEST_F(DocumentTest, UniqueNamesForCopies) {
  auto& c = doc_->Records();
  c.variables = {variable("Pump", 1)};
  EXPECT_EQ(doc_->MakeUniqueVariableName("Pump"), "Pump(2)");
  c.variables.push_back(variable("Pump(2)", 2));
  EXPECT_EQ(doc_->MakeUniqueVariableName("Pump"), "Pump(3)");
  const std::string full(32, 'x');
  EXPECT_EQ(doc_->MakeUniqueVariableName(full), full);
  c.messages = {message("Order", true)};
  EXPECT_EQ(doc_->MakeUniqueMessageName("Order"), "Order(2)");

  // Every length below 32 ends with a name of at most 32 characters that no list bears, even when
  // the first candidates are all taken.
  for (std::size_t length = 0; length < 32; ++length) {
    const std::string name(length, 'L');
    c.lists.clear();
    for (int taken = 0; taken < 12; ++taken) {
      records::LISTE_APER list;
      records::set_text(list.name, taken == 0 ? name : doc_->MakeUniqueListName(name));
      list.identifiers = {1};
      c.lists.push_back(list);
    }
    const std::string unique = doc_->MakeUniqueListName(name);
    EXPECT_LE(unique.size(), 32u) << length;
    for (const auto& list : c.lists) EXPECT_NE(records::text_of(list.name), unique) << length;
  }
  c.lists.resize(1);
  records::set_text(c.lists[0].name, std::string(31, 'L'));
  EXPECT_EQ(doc_->MakeUniqueListName(std::string(31, 'L')), std::string(29, 'L') + "(2)");
}

TEST_F(DocumentTest, PriorityAndMemoryEstimate) {
  ASSERT_TRUE(doc_->New());
  doc_->Records().stations[0].physical_address = 4;
  doc_->SetPriority(20);  // held to 15
  EXPECT_EQ(doc_->GetPriority(), 15);
  EXPECT_EQ(doc_->Records().param.election_count, records::election_count(15, 4));
  doc_->SetMemoryEstimate(CPlandrelDoc::kMemoryLimit - 32);
  EXPECT_TRUE(doc_->MemoryFits(32));
  EXPECT_FALSE(doc_->MemoryFits(33));
  doc_->AddToMemoryEstimate(-std::int64_t{CPlandrelDoc::kMemoryLimit});
  EXPECT_EQ(doc_->GetMemoryEstimate(), 0u);
}

}  // namespace
}  // namespace plandrel
