#include "model/plandrel_doc.h"

#include <algorithm>
#include <array>
#include <new>
#include <system_error>
#include <vector>

#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/general_param.h"
#include "records/instruction.h"

namespace plandrel {

namespace {

constexpr std::size_t kMaxName = 32;

// The first name + "(i)" for i = 2, 3, ... up to `last_try` that `taken` refuses, the base cut so
// that the suffix fits in kMaxName characters; the candidate of `last_try` when all are taken.
template <class Taken>
std::string unique_name(std::string_view name, std::size_t last_try, Taken taken) {
  if (name.size() == kMaxName) return std::string(name);
  name = name.substr(0, std::min(name.size(), kMaxName));
  std::string candidate;
  for (std::size_t i = 2; i <= last_try; ++i) {
    const std::string suffix = "(" + std::to_string(i) + ")";
    candidate = std::string(name.substr(0, kMaxName - std::min(suffix.size(), kMaxName))) + suffix;
    if (!taken(candidate)) break;
  }
  return candidate;
}

std::string file_part(const std::filesystem::path& path) {
  const std::string text = path.string();
  const std::size_t slash = text.find_last_of("\\/");
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace

CPlandrelDoc::CPlandrelDoc(DocumentHost& host, std::filesystem::path working_folder,
                           SelectedDevice device)
    : host_(host),
      working_folder_(std::move(working_folder)),
      device_(device),
      working_(working_folder_, static_cast<int>(device.board_type), device.board_number),
      records_(records::new_configuration()) {}

void CPlandrelDoc::Inform(std::string_view text) {
  host_.ShowMessage(text, MessageButtons::ok, MessageIcon::warning);
}

void CPlandrelDoc::Summarise() {
  priority_ = records::priority_from_election(records_.param.election_count,
                                              records::local_address(records_));
  instruction_cost_ = records::instruction_cost(records_.sequence1, records_.sequence2);
  memory_estimate_ = records::memory_estimate(records_, instruction_cost_);
}

// ---------------------------------------------------------------------------------------------
// Commands

bool CPlandrelDoc::New() {
  if (!SaveModified()) return false;
  path_.clear();
  title_ = kUntitled;
  modified_ = false;
  UpdateTitle();
  records_ = records::new_configuration();
  stale_ = {};
  priority_ = 0;
  memory_estimate_ = 1;
  instruction_cost_ = 1;
  WriteAllWorkingFiles();
  untouched_ = false;
  return true;
}

bool CPlandrelDoc::Open() {
  const auto chosen = host_.AskOpenPath({"cnf", "", std::string(kOpenFilter)});
  if (!chosen) return false;
  if (!ReadConfiguration(chosen->path)) return false;
  UpdateTitle();
  host_.AddToRecentFiles(path_);
  return true;
}

template <class Command>
bool CPlandrelDoc::Guarded(Command command) {
  try {
    return command();
  } catch (const std::bad_alloc&) {
    Inform(kNotEnoughMemory);
    return false;
  }
}

bool CPlandrelDoc::ReadConfiguration(const std::filesystem::path& path) {
  return Guarded([&] { return ReadConfigurationFile(path); });
}

bool CPlandrelDoc::ReadConfigurationFile(const std::filesystem::path& path) {
  // The magic first: a file that cannot be opened is told before the save question.
  std::vector<std::uint8_t> bytes;
  if (!records::read_file_head(path, records::kMagicSize, bytes)) {
    Inform(kErrorRecording);
    return false;
  }
  if (!SaveModified()) return false;
  // The save just made may have been to this very file: look at what it holds now.
  if (!records::read_file_head(path, records::kMagicSize, bytes)) {
    Inform(kErrorRecording);
    return false;
  }
  if (!records::format_of(bytes)) {
    Inform(kInvalidFormat);
    return false;
  }
  // Then the whole file, unless it is larger than any configuration can be.
  switch (records::read_whole_file(path, records::kLargestConfigurationFile, bytes)) {
    case records::FileRead::ok: break;
    case records::FileRead::too_large: Inform(kInvalidFormat); return false;
    case records::FileRead::cannot_open: Inform(kErrorRecording); return false;
  }

  records::Configuration loaded;
  records::LoadSummary summary;
  const records::Status decoded = records::decode_configuration(bytes, loaded, summary);
  if ((decoded != records::Status::ok && decoded != records::Status::memory_full) ||
      records::check_consistency(loaded) != records::Status::ok) {
    // Foreign, damaged, or records that no editor leaves and that the tree and the session would
    // follow without looking: nothing was taken from the file.
    Inform(kInvalidFormat);
    return false;
  }

  // The records are final before any working file is written (channels above 8 cleared, format
  // 3's local messages removed), so the working files never hold records the document dropped.
  records_ = std::move(loaded);
  stale_ = {};
  priority_ = summary.priority;
  instruction_cost_ = summary.instruction_cost;
  memory_estimate_ = summary.memory_estimate;

  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) absolute = path;

  bool ok = true;
  if (working_.write_all(records_) != records::Status::ok) {
    Inform(kProblemCreating);
    ok = false;
  } else if (decoded == records::Status::memory_full) {
    Inform(kMemoryFull);
    ok = false;
  }
  if (!ok) {
    path_.clear();
    title_ = kUntitled;
    UpdateTitle();
    return false;
  }

  path_ = absolute.lexically_normal();
  title_ = file_part(path_);
  untouched_ = false;
  if (modified_) {
    modified_ = false;
    UpdateTitle();
  }
  return true;
}

bool CPlandrelDoc::ReloadWorkingFiles() {
  return Guarded([this] { return ReadWorkingFiles(); });
}

bool CPlandrelDoc::ReadWorkingFiles() {
  records::Configuration loaded;
  for (records::Section section : records::kSections) {
    if (working_.read(section, loaded) != records::Status::ok) {
      records_ = std::move(loaded);  // what was read so far
      stale_ = {};
      Inform(section == records::Section::listes ? kProblemCreating : kProblemManaging);
      return false;
    }
  }
  // Files whose station indices point outside the station table, or whose records contradict
  // each other, are not taken at all: the tree and the checks follow them without looking.
  if (records::check_consistency(loaded) != records::Status::ok) {
    Inform(kProblemManaging);
    return false;
  }
  records_ = std::move(loaded);
  stale_ = {};
  // Keys are the tree's item codes: keep them 5000 + index and 35000 + index whatever the files
  // hold.
  records::renumber_keys(records_);
  Summarise();
  if (memory_estimate_ > kMemoryLimit) {
    Inform(kMemoryFull);
    return false;
  }
  path_.clear();
  title_ = kUntitled;
  modified_ = true;
  untouched_ = false;
  UpdateTitle();
  return true;
}

bool CPlandrelDoc::Save() {
  if (path_.empty()) return SaveAs();

  std::vector<std::uint8_t> head;
  if (!records::read_file_head(path_, records::kMagicSize, head) || head.size() < records::kMagicSize) {
    Inform(kErrorRecording);
    return false;
  }
  if (records::format_of(head) == records::Format::v3 &&
      host_.ShowMessage(kConvertQuestion, MessageButtons::yes_no, MessageIcon::question) !=
          MessageAnswer::yes)
    return false;

  if (!WriteFormat4(path_)) return false;
  if (modified_) {
    modified_ = false;
    UpdateTitle();
  }
  return true;
}

bool CPlandrelDoc::SaveAs() {
  const auto chosen = host_.AskSavePath({"cnf", "untitled.cnf", std::string(kSaveFilter)});
  if (!chosen) return false;
  const bool written =
      chosen->filter_index == 2 ? WriteFormat3(chosen->path) : WriteFormat4(chosen->path);
  if (!written) return false;

  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(chosen->path, error);
  path_ = (error ? chosen->path : absolute).lexically_normal();
  modified_ = false;
  UpdateTitle();
  title_ = file_part(path_);
  host_.AddToRecentFiles(path_);
  return true;
}

bool CPlandrelDoc::SaveModified() {
  if (!modified_) return true;
  std::string question = "Save changes to ";
  question += path_.empty() ? std::string(kUntitled) : path_.string();
  question += "?";
  switch (host_.ShowMessage(question, MessageButtons::yes_no_cancel, MessageIcon::warning)) {
    case MessageAnswer::yes: return Save();
    case MessageAnswer::no: return true;
    default: return false;
  }
}

std::string CPlandrelDoc::TitleText() const {
  std::string title = "Plandrel - ";
  title += path_.empty() ? std::string(kUntitled) : file_part(path_);
  if (modified_) title += " *";
  return title;
}

void CPlandrelDoc::UpdateTitle() { host_.SetMainTitle(TitleText()); }

// ---------------------------------------------------------------------------------------------
// Files

bool CPlandrelDoc::SizeTables() {
  records::size_tables(records_, instruction_cost_);
  return WriteWorkingFile(records::Section::param);
}

bool CPlandrelDoc::WriteConfigurationFile(const std::filesystem::path& destination,
                                          records::Format format) {
  return Guarded([&] {
    // The table sizes go into the param working file, from which the file is assembled.
    if (!WriteStaleWorkingFiles() || !SizeTables()) {
      Inform(kErrorRecording);
      return false;
    }
    const records::Status written = format == records::Format::v4
                                        ? working_.write_format4(destination)
                                        : working_.write_format3(destination);
    if (written != records::Status::ok) {
      Inform(kErrorRecording);
      return false;
    }
    return true;
  });
}

bool CPlandrelDoc::WriteFormat4(const std::filesystem::path& destination) {
  return WriteConfigurationFile(destination, records::Format::v4);
}

bool CPlandrelDoc::WriteFormat3(const std::filesystem::path& destination) {
  return WriteConfigurationFile(destination, records::Format::v3);
}

std::filesystem::path CPlandrelDoc::DownloadImagePath() const { return working_.download_image(); }

bool CPlandrelDoc::WriteDownloadImage() { return WriteFormat4(DownloadImagePath()); }

bool CPlandrelDoc::WriteWorkingFile(records::Section section) {
  if (working_.write(section, records_) == records::Status::ok) {
    stale_[static_cast<std::size_t>(section)] = false;
    return true;
  }
  Inform(section == records::Section::param ? kProblemManaging : kProblemCreating);
  return false;
}

bool CPlandrelDoc::WriteAllWorkingFiles() {
  for (records::Section section : records::kSections)
    if (!WriteWorkingFile(section)) return false;
  return true;
}

void CPlandrelDoc::MarkWorkingFileStale(records::Section section) { stale_[static_cast<std::size_t>(section)] = true; }

bool CPlandrelDoc::IsWorkingFileStale(records::Section section) const {
  return stale_[static_cast<std::size_t>(section)];
}

bool CPlandrelDoc::WriteStaleWorkingFiles() {
  bool ok = true;
  for (records::Section section : records::kSections)
    if (IsWorkingFileStale(section)) ok = WriteWorkingFile(section) && ok;
  return ok;
}

bool CPlandrelDoc::WorkingFilesExist() const { return working_.exist(); }

// ---------------------------------------------------------------------------------------------
// Names

std::string CPlandrelDoc::MakeUniqueVariableName(std::string_view name) const {
  return unique_name(name, records::kMaxVariables, [this](std::string_view candidate) {
    return std::any_of(
        records_.variables.begin(), records_.variables.end(),
        [&](const records::VARIABLE4& v) { return records::text_of(v.name) == candidate; });
  });
}

std::string CPlandrelDoc::MakeUniqueMessageName(std::string_view name) const {
  return unique_name(name, records::kMaxMessages, [this](std::string_view candidate) {
    return std::any_of(
        records_.messages.begin(), records_.messages.end(),
        [&](const records::MESSAGE4& m) { return records::text_of(m.name) == candidate; });
  });
}

std::string CPlandrelDoc::MakeUniqueListName(std::string_view name) const {
  // Every candidate differs, so one among the first lists.size() + 1 is free.
  return unique_name(name, records_.lists.size() + 2, [this](std::string_view candidate) {
    return std::any_of(
        records_.lists.begin(), records_.lists.end(),
        [&](const records::LISTE_APER& l) { return records::text_of(l.name) == candidate; });
  });
}

// ---------------------------------------------------------------------------------------------
// State

void CPlandrelDoc::SetPriority(int priority) {
  priority_ = std::clamp(priority, 0, records::kMaxPriority);
  RefreshElectionCount();
}

void CPlandrelDoc::RefreshElectionCount() {
  records_.param.election_count =
      records::election_count(priority_, records::local_address(records_));
}

void CPlandrelDoc::AddToMemoryEstimate(std::int64_t amount) {
  const std::int64_t sum = std::int64_t{memory_estimate_} + amount;
  memory_estimate_ = static_cast<std::uint32_t>(std::clamp<std::int64_t>(sum, 0, 0xFFFFFFFF));
}

bool CPlandrelDoc::MemoryFits(std::uint32_t extra) const {
  return std::uint64_t{memory_estimate_} + extra <= kMemoryLimit;
}

}  // namespace plandrel
