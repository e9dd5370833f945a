// The working files of one board: one file per section in the working folder, named
// section + BoardType digit + board number + ".trv" (ba01.trv for PCI board 1), and the download
// image "trv" that the engine reads. Configuration files are assembled from the working files.
#pragma once

#include <filesystem>

#include "records/config_format.h"
#include "records/configuration.h"
#include "records/sections.h"
#include "records/status.h"

namespace records {

class WorkingFiles {
 public:
  WorkingFiles(std::filesystem::path folder, int board_type, int board_number);

  std::filesystem::path path(Section section) const;
  // The format-4 image handed to the engine's download: the working folder + "trv".
  std::filesystem::path download_image() const;

  // WorkingFilesExist: every one of the six files can be opened for reading.
  bool exist() const;

  // Section writer: recreates the section's file from `configuration`; cannot_create_working_file
  // on failure (the previous file is kept).
  Status write(Section section, const Configuration& configuration) const;
  // All six, in file order; stops at the first failure.
  Status write_all(const Configuration& configuration) const;

  // Reads one section's file into `configuration`, records and keys as stored; cannot_open when the
  // file is missing, a damage result when it is damaged (then `configuration` is unchanged).
  Status read(Section section, Configuration& configuration) const;

  // WriteFormat4: the magic and then each section copied from its working file. WriteFormat3: the
  // same walk converted to format 3. cannot_open when a working file is missing, a damage result
  // when one is damaged, cannot_write when the destination cannot be written; the destination is
  // replaced only when the whole file was written.
  Status write_format4(const std::filesystem::path& destination) const;
  Status write_format3(const std::filesystem::path& destination) const;

 private:
  Status read_all(Configuration& configuration) const;

  std::filesystem::path folder_;
  int board_type_;
  int board_number_;
};

// ReadFormat3/ReadFormat4 of a configuration file: decodes it (decode_configuration), writes the
// six working files, and returns ok, cannot_open, invalid_format, a damage result (nothing changed,
// no working file written), cannot_create_working_file or memory_full (records kept in
// `configuration` in both cases).
Status load_configuration_file(const std::filesystem::path& file, const WorkingFiles& working,
                               Configuration& configuration, LoadSummary& summary);

}  // namespace records
