// The files that the designer writes into the working folder for the engine to download by path:
// the download image "trv" and the presence test's "ActiviteFIP.cnf" and "PresenceSta.cnf". Each
// has one name for every board, so for every designer of the folder, on this machine or another.
// A designer writes and downloads such a file in one turn: an exclusive wait-lock on the file's
// name + ".lock" (trv.lock), taken before the write and let go as soon as the download returns, so
// that another designer's write waits until this one's download has read the file. The turn never
// lasts across anything that waits for a user: its caller shows every failure after it.
#pragma once

#include <filesystem>
#include <functional>

namespace plandrel {

// Runs `write`, then, when it succeeded, `download`, both within the turn of `file`. Returns what
// `write` returned. A folder that cannot take the lock file gives no turn: both run as they are.
bool WriteAndDownload(const std::filesystem::path& file, const std::function<bool()>& write,
                      const std::function<void()>& download);

}  // namespace plandrel
