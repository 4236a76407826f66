#include "campaign/watch/tree_watch.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "core/log_path.h"

namespace qavrel::campaign {

namespace {

// What a folder's watch reports: files written and closed, changed,
// renamed in or out, made or removed, and folders made, moved or removed.
constexpr std::uint32_t watched_events = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                                         IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF |
                                         IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

}  // namespace

TreeWatch::TreeWatch(const SearchRules& rules, bool any_file)
    : rules_(rules), any_file_(any_file) {}

TreeWatch::~TreeWatch() {
  if (fd_ >= 0) ::close(fd_);
}

Status TreeWatch::open() {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  return fd_ >= 0 ? Status() : Status::from_errno(errno);
}

bool TreeWatch::counts(const std::string& name) const {
  if (any_file_) return true;
  return rules_.pattern != nullptr ? rules_.pattern->matches(name) : is_sample_name(name);
}

bool TreeWatch::watch(const std::string& folder) {
  if (folder == rules_.output_folder || inside(folder, rules_.output_folder)) return false;
  const int descriptor = ::inotify_add_watch(fd_, folder.c_str(), watched_events);
  if (descriptor < 0) {
    if (errno == ENOSPC) limit_reached_ = true;
    return false;
  }
  // A folder watched again (moved within the tree) keeps its descriptor.
  const auto [known, is_new] = folders_.emplace(descriptor, folder);
  if (!is_new) {
    descriptors_.erase(known->second);
    known->second = folder;
  }
  descriptors_[folder] = descriptor;
  return true;
}

bool TreeWatch::add_folder(const std::string& folder) {
  return descriptors_.count(folder) == 0 && watch(folder);
}

void TreeWatch::add_root(const std::string& root) {
  roots_.insert(root);
  const std::string above = root.substr(0, std::max<std::size_t>(root.rfind('/'), 1));
  const int descriptor = ::inotify_add_watch(fd_, above.c_str(), watched_events);
  if (descriptor < 0) {
    if (errno == ENOSPC) limit_reached_ = true;
    return;
  }
  // The same folder may be watched for itself too, as a folder of data.
  if (folders_.count(descriptor) == 0) above_roots_.insert(descriptor);
  folders_.emplace(descriptor, above);
}

void TreeWatch::forget(const std::string& folder) {
  for (auto watched = folders_.begin(); watched != folders_.end();) {
    if (watched->second != folder && !inside(watched->second, folder)) {
      ++watched;
      continue;
    }
    ::inotify_rm_watch(fd_, watched->first);
    descriptors_.erase(watched->second);
    above_roots_.erase(watched->first);
    watched = folders_.erase(watched);
  }
}

void TreeWatch::add_tree(const std::string& top, std::vector<std::string>& changed) {
  std::vector<std::string> folders{top};
  while (!folders.empty()) {
    const std::string folder = std::move(folders.back());
    folders.pop_back();
    if (!watch(folder)) continue;
    DIR* const listing = ::opendir(folder.c_str());
    if (listing == nullptr) continue;
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string path = folder;
      path += '/';
      path += name;
      unsigned char type = entry->d_type;
      struct stat info {};
      if (type == DT_UNKNOWN && ::lstat(path.c_str(), &info) == 0)
        type = S_ISDIR(info.st_mode) ? DT_DIR : DT_REG;
      if (type == DT_DIR)
        folders.push_back(path);
      else if (!qavrel::is_log_name(name) && counts(name))
        changed.push_back(path);
    }
    ::closedir(listing);
  }
}

WatchEvents TreeWatch::read() {
  WatchEvents events;
  alignas(inotify_event) char buffer[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got <= 0) break;
    for (const char* at = buffer; at < buffer + got;) {
      inotify_event event{};
      std::memcpy(&event, at, sizeof event);
      const std::string name = event.len > 0 ? std::string(at + sizeof event) : std::string();
      at += sizeof event + event.len;
      if ((event.mask & IN_Q_OVERFLOW) != 0) {
        events.overflowed = true;
        continue;
      }
      const auto folder = folders_.find(event.wd);
      if (folder == folders_.end()) continue;
      if ((event.mask & IN_IGNORED) != 0) {
        descriptors_.erase(folder->second);
        folders_.erase(folder);
        continue;
      }
      if (name.empty()) {
        // The folder itself went or moved: what it held went with it. A
        // folder moved away keeps its watches, now under paths that are
        // not its own: they go. One moved within the tree was watched
        // again where it came, under its new path.
        if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
          const std::string gone = folder->second;
          events.changed.push_back(gone);
          struct stat info {};
          if ((event.mask & IN_MOVE_SELF) != 0 && ::stat(gone.c_str(), &info) != 0) forget(gone);
        }
        continue;
      }
      std::string path = folder->second;
      path += '/';
      path += name;
      // Above a root, only the root itself counts.
      if (above_roots_.count(event.wd) != 0) {
        if (roots_.count(path) == 0) continue;
        if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) add_tree(path, events.changed);
        events.changed.push_back(path);
        continue;
      }
      if ((event.mask & IN_ISDIR) != 0) {
        if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0)
          add_tree(path, events.changed);
        else if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0)
          events.changed.push_back(path);
      } else if (qavrel::is_log_name(name)) {
        events.logs.push_back(path);
      } else if (counts(name)) {
        events.changed.push_back(path);
      }
    }
  }
  return events;
}

}  // namespace qavrel::campaign
