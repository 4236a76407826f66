#include "core/atomic_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <string>
#include <string_view>

namespace qavrel {
namespace {

// The kernel's own limit on links followed while resolving one path.
constexpr int max_link_depth = 40;
constexpr int max_name_attempts = 100;
constexpr mode_t new_file_mode = 0666;  // the kernel takes the umask off

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

// The temporaries this process has named so far: each takes the next
// count, so that a name of this process's id with a count not yet reached
// was left by another process that had the same id (a container's).
std::atomic<unsigned> temporaries_named{0};

// Creates a new hidden file beside path, named after it. Returns its
// descriptor, or -1 with errno set.
int create_temporary(const std::string& path, std::string& temporary) {
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  for (int attempt = 0; attempt < max_name_attempts; ++attempt) {
    temporary = path.substr(0, name_start) +
                temporary_name(path.substr(name_start), getpid(), temporaries_named++);
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_file_mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Whether a process of that id runs: one of another user's still counts.
bool process_runs(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// Who made a temporary file, as its name says: .<name>.<pid>-<count>.tmp.
struct Maker {
  long pid = -1;  // -1 for a name of another kind
  unsigned long count = 0;
};

Maker temporary_maker(std::string_view name) {
  constexpr std::string_view ending = ".tmp";
  if (name.size() < 2 || name.front() != '.' || name.size() <= ending.size() ||
      name.substr(name.size() - ending.size()) != ending)
    return {};
  name.remove_suffix(ending.size());
  const std::size_t dash = name.rfind('-');
  const std::size_t dot = name.rfind('.', dash);
  if (dash == std::string_view::npos || dot == std::string_view::npos || dot == 0) return {};
  const std::string_view pid = name.substr(dot + 1, dash - dot - 1);
  const std::string_view count = name.substr(dash + 1);
  const auto digits = [](std::string_view text) {
    return !text.empty() && text.size() < 12 &&
           text.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if (!digits(pid) || !digits(count)) return {};
  return {std::stol(std::string(pid)), std::stoul(std::string(count))};
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

// The signals that stop a run: held while a temporary file exists.
sigset_t stop_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&signals, signal);
  return signals;
}

// Only root may give a file back to another owner. Should even that fail,
// the content is still worth more than who owns it.
void give_back(int fd, const struct stat& replaced) {
  if (geteuid() != 0 || (replaced.st_uid == geteuid() && replaced.st_gid == getegid())) return;
  const int ignored = ::fchown(fd, replaced.st_uid, replaced.st_gid);
  static_cast<void>(ignored);
}

// A buffer's worth of text is written at a time.
constexpr std::size_t buffer_size = std::size_t{64} * 1024;

}  // namespace

std::string temporary_name(const std::string& name, long pid, unsigned count) {
  const std::string ending = "." + std::to_string(pid) + "-" + std::to_string(count) + ".tmp";
  // The temporary file must fit wherever its file does: a long name is
  // cut short in it.
  const std::size_t room = NAME_MAX - 1 - ending.size();
  return "." + name.substr(0, room) + ending;
}

bool is_stale_temporary(std::string_view name) {
  const Maker maker = temporary_maker(name);
  if (maker.pid <= 0) return false;
  if (maker.pid == getpid()) return maker.count >= temporaries_named;
  return !process_runs(maker.pid);
}

bool is_foreign_temporary(std::string_view name) {
  const Maker maker = temporary_maker(name);
  return maker.pid > 0 && (maker.pid != getpid() || maker.count >= temporaries_named);
}

namespace {

template <typename Predicate>
std::size_t remove_temporaries(const std::string& directory, std::string_view prefix,
                               Predicate removable) {
  DIR* const listing = ::opendir(directory.c_str());
  if (listing == nullptr) return 0;
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.compare(0, prefix.size() + 1, "." + std::string(prefix)) != 0) continue;
    if (removable(name) && ::unlinkat(::dirfd(listing), entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(listing);
  return removed;
}

}  // namespace

std::size_t remove_stale_temporaries(const std::string& directory, std::string_view prefix) {
  return remove_temporaries(directory, prefix, is_stale_temporary);
}

std::size_t remove_foreign_temporaries(const std::string& directory) {
  return remove_temporaries(directory, "", is_foreign_temporary);
}

AtomicFile::~AtomicFile() { abandon(); }

Status AtomicFile::open(const char* path, Durability durability) {
  return Status::from_errno(start(path, durability));
}

int AtomicFile::start(const char* path, Durability durability) {
  target_ = path;
  durability_ = durability;
  if (!follow_links(target_)) return error_ = errno;
  replacing_ = ::stat(target_.c_str(), &replaced_) == 0;
  const auto write_in_place = [this] {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, new_file_mode);
    return error_ = fd_ < 0 ? errno : 0;
  };
  // A device, FIFO or other special file is written as opening it for
  // writing always has.
  if (replacing_ && !S_ISREG(replaced_.st_mode)) return write_in_place();
  // A file its owner made read-only stays refused, although the directory
  // would let it be replaced.
  if (replacing_ && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
    return error_ = errno;

  const sigset_t held = stop_signals();
  pthread_sigmask(SIG_BLOCK, &held, &previous_signals_);
  signals_held_ = true;
  fd_ = create_temporary(target_, temporary_);
  if (fd_ < 0) {
    const int error = errno;
    temporary_.clear();
    abandon();
    // A directory that is closed to new files while the file itself may be
    // written: only writing it in place is left.
    if (replacing_ && (error == EACCES || error == EPERM)) return write_in_place();
    return error_ = error;
  }
  if (replacing_) {
    give_back(fd_, replaced_);
    if (::fchmod(fd_, replaced_.st_mode & 07777) != 0) error_ = errno;
  }
  return error_;
}

int AtomicFile::flush() {
  if (error_ == 0) error_ = write_all(fd_, buffer_);
  buffer_.clear();
  return error_;
}

Status AtomicFile::write(std::string_view text) {
  if (error_ != 0 || fd_ < 0) return Status::from_errno(error_ != 0 ? error_ : EBADF);
  buffer_.append(text);
  return Status::from_errno(buffer_.size() >= buffer_size ? flush() : 0);
}

Status AtomicFile::commit() {
  if (fd_ < 0) return Status::from_errno(error_ != 0 ? error_ : EBADF);
  flush();
  const bool sync = !temporary_.empty() && durability_ == Durability::synced;
  if (error_ == 0 && sync && ::fsync(fd_) != 0) error_ = errno;
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  if (error_ == 0 && !temporary_.empty()) {
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
      error_ = errno;
    } else {
      temporary_.clear();
      if (sync) sync_directory(target_);
    }
  }
  abandon();
  return Status::from_errno(error_);
}

// Closes and removes what is left of an unfinished file, and lets the
// held signals through.
void AtomicFile::abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  if (signals_held_) pthread_sigmask(SIG_SETMASK, &previous_signals_, nullptr);
  signals_held_ = false;
}

Status write_atomically(const char* path, std::string_view text) {
  AtomicFile file;
  if (Status opened = file.open(path); !opened.ok()) return opened;
  // A failed write fails the commit too.
  static_cast<void>(file.write(text));
  return file.commit();
}

}  // namespace qavrel
