#include "campaign/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qavrel::campaign {

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

Status FolderLock::take(const std::string& folder) {
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return Status::failure("cannot open " + folder + ": " + std::strerror(errno));
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return {};
  return Status::failure(errno == EWOULDBLOCK
                             ? "another qavrel-campaign is using " + folder
                             : "cannot lock " + folder + ": " + std::strerror(errno));
}

}  // namespace qavrel::campaign
