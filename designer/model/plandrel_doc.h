// CPlandrelDoc: the one configuration that the designer edits.
//
// The records live in a records::Configuration; the document adds the file it came from, the
// modified mark, the bus arbitrator priority, the controller memory estimate and the instruction
// cost. Each section of the configuration is mirrored by a working file of the selected board:
// the editors change the records and then call the writer of the section they changed, and every
// configuration file (and the download image) is assembled from the working files.
//
// The document does its own file input and output. Whatever it shows or asks goes through its
// DocumentHost. It lives on the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/document_host.h"
#include "model/selected_device.h"
#include "records/configuration.h"
#include "records/sections.h"
#include "records/working_files.h"

namespace plandrel {

class CPlandrelDoc {
 public:
  // Texts of the document's own messages.
  static constexpr std::string_view kErrorRecording = "Error recording configuration.";
  static constexpr std::string_view kInvalidFormat = "Cannot open file : invalid format.";
  static constexpr std::string_view kProblemCreating =
      "Warning :\nProblem creating intermediate files.";
  static constexpr std::string_view kProblemManaging =
      "Warning :\nProblem in intermediate files management.";
  static constexpr std::string_view kMemoryFull =
      "The FULLFIP memory space is full.\nRemove some configuration elements (variables, "
      "messages).";
  static constexpr std::string_view kConvertQuestion =
      "This file will be converted to Plandrel 4.0 format. \nDo you want to continue ?";
  // An allocation that fails while a file is read or written (the document is then unchanged).
  static constexpr std::string_view kNotEnoughMemory = "Not enough memory to complete this command.";
  static constexpr std::string_view kUntitled = "untitled";
  static constexpr std::string_view kOpenFilter =
      "Files Plandrel(*.cnf)|*.cnf|All files(*.*)|*.*||";
  static constexpr std::string_view kSaveFilter = "cnf (format 4)|*.cnf|cnf (format 3)|*.cnf||";

  // The working files are those of `device` in `working_folder`. The document starts untouched,
  // with the records of a new configuration in memory and no working file written.
  CPlandrelDoc(DocumentHost& host, std::filesystem::path working_folder, SelectedDevice device);

  CPlandrelDoc(const CPlandrelDoc&) = delete;
  CPlandrelDoc& operator=(const CPlandrelDoc&) = delete;

  // --- Commands ---
  // New configuration; false when the user cancels the save question.
  bool New();
  // File dialog, then ReadConfiguration; on success UpdateTitle and the recent-file list.
  bool Open();
  // Reads a configuration file of format 3 or 4 and writes the six working files. A file that
  // cannot be read, is foreign or damaged, or whose records contradict each other
  // (records::check_consistency) leaves the document as it was. A load that fails on the
  // working files or the memory limit keeps the records read and leaves the document untitled.
  bool ReadConfiguration(const std::filesystem::path& path);
  // Current configuration: rebuilds the document from the working files of the selected board.
  bool ReloadWorkingFiles();
  // Save over the document's file (an untitled document goes to SaveAs). False when nothing was
  // saved; the old file is then whole and the modified mark kept.
  bool Save();
  bool SaveAs();
  // Before the content is replaced or the program ends: false to cancel. A Yes whose Save fails
  // cancels too, so that unsaved changes are never dropped.
  bool SaveModified();
  // Main window title: "Plandrel - " + file name or "untitled" + " *" when modified.
  void UpdateTitle();
  std::string TitleText() const;

  // --- Files ---
  // Recomputes the message and variable table sizes and ba_size, then rewrites the param working
  // file; false when that file cannot be written.
  bool SizeTables();
  // Configuration files assembled from the working files, each after SizeTables. The destination
  // is replaced only when complete. Failures show "Error recording configuration.".
  bool WriteFormat4(const std::filesystem::path& destination);
  bool WriteFormat3(const std::filesystem::path& destination);
  // The format-4 download image "trv" in the working folder, which the engine's download reads.
  std::filesystem::path DownloadImagePath() const;
  bool WriteDownloadImage();

  // Section writer: recreates the section's working file from the records. On failure it shows
  // "Warning :\nProblem creating intermediate files." ("...management." for param) and the
  // previous file is kept.
  bool WriteWorkingFile(records::Section section);
  bool WriteAllWorkingFiles();
  // Sections whose records changed after their working file was last written (the list dialog's
  // deletions wait for its End). A successful write of a section clears its mark; a configuration
  // file or the download image writes the marked sections first, so that they are never assembled
  // from a stale working file.
  void MarkWorkingFileStale(records::Section section);
  bool IsWorkingFileStale(records::Section section) const;
  // Writes each marked section; false when one could not be written (it stays marked).
  bool WriteStaleWorkingFiles();
  // All six working files of the selected board can be opened for reading.
  bool WorkingFilesExist() const;
  const records::WorkingFiles& GetWorkingFiles() const { return working_; }
  const std::filesystem::path& GetWorkingFolder() const { return working_folder_; }
  SelectedDevice GetDevice() const { return device_; }

  // --- Names for copied records ---
  // name + "(i)" for the first i from 2 whose result no record of the kind bears; the name is
  // shortened so that the suffix fits in 32 characters. A name of exactly 32 characters is kept.
  std::string MakeUniqueVariableName(std::string_view name) const;
  std::string MakeUniqueMessageName(std::string_view name) const;
  std::string MakeUniqueListName(std::string_view name) const;

  // --- State ---
  // 1 from construction until the first successful New, Open or Current configuration.
  bool IsUntouched() const { return untouched_; }
  const std::filesystem::path& GetPathName() const { return path_; }
  const std::string& GetTitle() const { return title_; }
  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }

  records::Configuration& Records() { return records_; }
  const records::Configuration& Records() const { return records_; }

  // Bus arbitrator priority 0..15, kept beside the parameters and folded into election_count.
  int GetPriority() const { return priority_; }
  // Stores the priority (held to 0..15) and recomputes election_count with the local station's
  // physical address; call RefreshElectionCount after that address changes.
  void SetPriority(int priority);
  void RefreshElectionCount();

  // Controller memory estimate and its limit (0x7D00000); the editors test MemoryFits before they
  // add records and move the estimate as records are added and removed.
  static constexpr std::uint32_t kMemoryLimit = records::kMemoryLimit;
  std::uint32_t GetMemoryEstimate() const { return memory_estimate_; }
  void SetMemoryEstimate(std::uint32_t estimate) { memory_estimate_ = estimate; }
  // Adds a (possibly negative) amount, held to 0..0xFFFFFFFF.
  void AddToMemoryEstimate(std::int64_t amount);
  bool MemoryFits(std::uint32_t extra) const;
  // 1 + 5 per "ID_DAT(" instruction + 1 per other instruction of both sequences.
  std::uint32_t GetInstructionCost() const { return instruction_cost_; }
  void SetInstructionCost(std::uint32_t cost) { instruction_cost_ = cost; }

  DocumentHost& Host() { return host_; }

 private:
  void Inform(std::string_view text);
  // Fills priority, instruction cost and memory estimate from the records as a load does.
  void Summarise();
  bool WriteConfigurationFile(const std::filesystem::path& destination, records::Format format);
  bool ReadConfigurationFile(const std::filesystem::path& path);
  bool ReadWorkingFiles();
  // Runs a file command; an allocation failure inside it is told and makes it fail.
  template <class Command>
  bool Guarded(Command command);

  DocumentHost& host_;
  std::filesystem::path working_folder_;
  SelectedDevice device_;
  records::WorkingFiles working_;
  std::array<bool, records::kSections.size()> stale_{};

  bool untouched_ = true;
  bool modified_ = false;
  std::filesystem::path path_;  // empty = untitled
  std::string title_{kUntitled};
  records::Configuration records_;
  int priority_ = 0;
  std::uint32_t memory_estimate_ = 1;
  std::uint32_t instruction_cost_ = 1;
};

}  // namespace plandrel
