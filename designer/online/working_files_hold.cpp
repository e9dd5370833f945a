#include "online/working_files_hold.h"

#include <string>

namespace plandrel {

std::filesystem::path WorkingFilesHold::File(const std::filesystem::path& working_folder, std::uint32_t board_type,
                                             std::uint16_t board_number) {
    return working_folder / ("Plandrel" + std::to_string(board_type) + std::to_string(board_number) + ".lock");
}

bool WorkingFilesHold::HeldByAnother(const std::filesystem::path& working_folder, std::uint32_t board_type,
                                     std::uint16_t board_number) {
    return qbase::FileLock::isHeld(File(working_folder, board_type, board_number));
}

bool WorkingFilesHold::Take(const std::filesystem::path& working_folder, std::uint32_t board_type,
                            std::uint16_t board_number) {
    lock_.release();
    bool conflict = false;
    lock_ = qbase::FileLock::tryTake(File(working_folder, board_type, board_number), qbase::FileLock::Kind::exclusive,
                                     &conflict);
    return !conflict;
}

}  // namespace plandrel
