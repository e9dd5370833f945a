#include "online/download_turn.h"

#include "base/file_lock.h"

namespace plandrel {

bool WriteAndDownload(const std::filesystem::path& file, const std::function<bool()>& write,
                      const std::function<void()>& download) {
  const qbase::FileLock turn = qbase::FileLock::wait(file.string() + ".lock", qbase::FileLock::Kind::exclusive);
  if (!write()) return false;
  download();
  return true;
}

}  // namespace plandrel
