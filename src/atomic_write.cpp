#include "atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <string>

namespace {

// The kernel's own limit on links followed while resolving one path.
constexpr int max_link_depth = 40;
constexpr int max_name_attempts = 100;
constexpr mode_t new_file_mode = 0666;  // the kernel takes the umask off

// Holds the signals that stop a run while the temporary file exists, so that
// the file is always removed or renamed before the process ends.
class StopSignalsHeld {
 public:
  StopSignalsHeld() {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stop_signals, signal);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &previous_);
  }
  ~StopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t previous_{};
};

// The directory part of path with its "/", or "" for a name in the working
// directory.
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links until path names what finally gets written; unlike
// realpath, the last target need not exist yet. False, with errno set, when
// the links never end.
bool follow_links(std::string& path) {
  for (int depth = 0; depth < max_link_depth; ++depth) {
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    // Not a link, or not there: whatever comes next reports the real reason.
    if (length < 0) return true;
    if (static_cast<std::size_t>(length) >= target.size()) break;
    target.resize(static_cast<std::size_t>(length));
    if (target.front() == '/')
      path = target;
    else
      path = directory_of(path).append(target);
  }
  errno = ELOOP;
  return false;
}

int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// Writes a device, FIFO or other special file in place, as opening it for
// writing always has.
int write_in_place(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, new_file_mode);
  if (fd < 0) return errno;
  int error = write_all(fd, text);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// Creates a new hidden file beside path, named after it. Returns its
// descriptor, or -1 with errno set.
int create_temporary(const std::string& path, std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  for (int attempt = 0; attempt < max_name_attempts; ++attempt) {
    temporary = path.substr(0, name_start) + "." + path.substr(name_start) + "." +
                std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_file_mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes the rename itself survive a power cut; a directory that can't be
// synced (some file systems refuse) has nothing more to lose.
void sync_directory(const std::string& path) {
  const std::string directory = directory_of(path);
  const int fd =
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Fills the open temporary file, gives it the replaced file's mode and
// owner, and closes it. Returns 0 or the errno of the step that failed.
int fill_temporary(int fd, std::string_view text, const struct stat* replaced) {
  int error = 0;
  if (replaced != nullptr) {
    // Only root may give the file back to its owner. Should even that fail,
    // the table is still worth more than who owns it.
    if (geteuid() == 0) {
      const int ignored = ::fchown(fd, replaced->st_uid, replaced->st_gid);
      static_cast<void>(ignored);
    }
    if (::fchmod(fd, replaced->st_mode & 07777) != 0) error = errno;
  }
  if (error == 0) error = write_all(fd, text);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

int write_atomically(const char* path, std::string_view text) {
  std::string target = path;
  if (!follow_links(target)) return errno;
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return write_in_place(target, text);
  // A file its owner made read-only stays refused, although the directory
  // would let it be replaced.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;

  const StopSignalsHeld held;
  std::string temporary;
  const int fd = create_temporary(target, temporary);
  if (fd < 0) {
    // A directory that is closed to new files while the file itself may be
    // written: only writing it in place is left.
    if (exists && (errno == EACCES || errno == EPERM)) return write_in_place(target, text);
    return errno;
  }
  int error = fill_temporary(fd, text, exists ? &existing : nullptr);
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return error;
  }
  sync_directory(target);
  return 0;
}
