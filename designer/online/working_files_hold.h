// The working files of the board a designer works with are its own for its whole run. They are
// named by board in a working folder that every designer of the user shares, whatever machine it
// runs on, so the designer holds an advisory lock on "Plandrel" + BoardType + board number + ".lock"
// in that folder (Plandrel01.lock for PCI board 1). The system releases it when the designer ends,
// a crash included. A board whose working files another designer holds counts as used.
#pragma once

#include <cstdint>
#include <filesystem>

#include "base/file_lock.h"

namespace plandrel {

class WorkingFilesHold {
public:
    static std::filesystem::path File(const std::filesystem::path& working_folder, std::uint32_t board_type,
                                      std::uint16_t board_number);
    // Another designer holds the board's working files.
    static bool HeldByAnother(const std::filesystem::path& working_folder, std::uint32_t board_type,
                              std::uint16_t board_number);

    // Holds the board's working files, letting go of any held before; false when another designer
    // holds them, and then nothing is held. A folder that cannot take the lock file (read-only, say)
    // leaves them to this designer, unheld: true.
    bool Take(const std::filesystem::path& working_folder, std::uint32_t board_type, std::uint16_t board_number);
    bool Held() const { return lock_.held(); }

private:
    qbase::FileLock lock_;
};

}  // namespace plandrel
