#include "campaign/find/data_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "campaign/common/hashing.h"
#include "campaign/find/measurement_time.h"
#include "core/atomic_write.h"
#include "core/log_path.h"

namespace qavrel::campaign {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t nanoseconds_per_second = 1000000000;

// Why a file can't be data whatever its name says, or empty when it can be.
std::string never_data(const std::string& path, const SearchRules& rules) {
  if (qavrel::is_log_name(fs::path(path).filename().string()))
    return "a table this tool writes, never sample data";
  if (inside(path, rules.output_folder)) return "it lies in the output folder";
  return {};
}

std::string not_regular(mode_t mode) {
  if (S_ISFIFO(mode)) return "not a regular file but a FIFO";
  if (S_ISSOCK(mode)) return "not a regular file but a socket";
  if (S_ISBLK(mode) || S_ISCHR(mode)) return "not a regular file but a device";
  return "not a regular file";
}

// Names the file and adds it to the search, or lists it as skipped.
void take(const std::string& path, const SearchRules& rules, Search& found) {
  DataFile file;
  file.path = path;
  const std::string file_name = fs::path(path).filename().string();
  const Status named = rules.pattern != nullptr ? rules.pattern->name(file_name, file)
                                                : name_by_rule(file_name, file);
  if (named.ok())
    take_named(std::move(file), rules, found);
  else
    found.skipped.push_back({path, named.reason()});
}

FileState state_from(const struct stat& info) {
  return {info.st_size, info.st_mtim.tv_sec * nanoseconds_per_second + info.st_mtim.tv_nsec,
          info.st_ctim.tv_sec * nanoseconds_per_second + info.st_ctim.tv_nsec};
}

}  // namespace

void list_folder(const std::string& folder, const SearchRules& rules, Search& found,
                 std::vector<std::string>& subfolders) {
  DIR* const listing = ::opendir(folder.c_str());
  // A folder that may not be read may hold data: a failure, not a pass.
  const auto cannot_search = [&found, &folder](int error) {
    found.failures.push_back(folder + ": " + std::strerror(error));
    found.unsearched.push_back(folder);
  };
  if (listing == nullptr) {
    cannot_search(errno);
    return;
  }
  found.listed_folders.insert(hash_of(folder));
  const int fd = ::dirfd(listing);
  const std::size_t folders_before = subfolders.size();
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder;
    path += '/';
    path += name;
    if (qavrel::is_log_name(name)) {
      struct stat log {};
      // Looked at by name in its folder, as the data files are.
      if (name.front() == '.' && qavrel::is_stale_temporary(name))
        found.stale_temporaries.push_back(path);
      else
        found.log_states[hash_of(path)] =
            ::fstatat(fd, entry->d_name, &log, 0) == 0 ? state_from(log) : FileState{};
      continue;
    }
    unsigned char type = entry->d_type;
    struct stat info {};
    if (type == DT_UNKNOWN && ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
      type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
    if (type == DT_DIR) {
      subfolders.push_back(path);
      continue;
    }
    if (!(rules.pattern != nullptr ? rules.pattern->matches(name) : is_sample_name(name))) continue;
    // A link to a file is taken as the file.
    if (::fstatat(fd, entry->d_name, &info, 0) != 0) {
      const int why = errno;
      // Names that may be listed but not looked at: a folder that may be
      // read but not searched, which may hold data all the same.
      if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        cannot_search(errno);
        found.listed_folders.erase(hash_of(folder));
        subfolders.resize(folders_before);
        break;
      }
      found.skipped.push_back({path, why == ENOENT ? "a link to nothing" : std::strerror(why)});
    } else if (S_ISREG(info.st_mode)) {
      found.states[hash_of(path)] = state_from(info);
      take(path, rules, found);
    } else if (!S_ISDIR(info.st_mode)) {
      found.skipped.push_back({path, not_regular(info.st_mode)});
    }
  }
  ::closedir(listing);
}

void search_below(const std::string& top, const SearchRules& rules, Search& found) {
  std::vector<std::string> folders{top};
  while (!folders.empty()) {
    const std::string folder = std::move(folders.back());
    folders.pop_back();
    // Links to folders are not followed, so that every path is canonical.
    if (folder == rules.output_folder || inside(folder, rules.output_folder)) continue;
    list_folder(folder, rules, found, folders);
  }
}

bool inside(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() &&
         path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

std::string canonical_path(const std::string& path) {
  const fs::path given(path);
  const fs::path name = given.filename();
  std::error_code error;
  if (!name.empty() && name != "." && name != "..") {
    const fs::path folder = given.parent_path();
    const fs::path real = fs::canonical(folder.empty() ? fs::path(".") : folder, error);
    if (!error) return (real / name).string();
  }
  const fs::path resolved = fs::weakly_canonical(given, error);
  return error ? fs::absolute(given).lexically_normal().string() : resolved.string();
}

void take_named(DataFile file, const SearchRules& rules, Search& found) {
  const std::string why = never_data(file.path, rules);
  if (why.empty())
    found.files.push_back(std::move(file));
  else
    found.skipped.push_back({file.path, why});
}

Search find_data_files(const std::vector<std::string>& paths, const SearchRules& rules,
                       const SearchBelow& search_folder) {
  Search found;
  for (const std::string& path : paths) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) {
      const std::string top = fs::canonical(path, error).string();
      if (search_folder)
        search_folder(top, found);
      else
        search_below(top, rules, found);
    } else if (fs::exists(status)) {
      take(canonical_path(path), rules, found);
    } else if (error && error != std::errc::no_such_file_or_directory) {
      // A path that can't be looked at may hold data: what was stored
      // under it stands, as for a folder that can't be listed.
      found.failures.push_back(path + ": " + error.message());
      found.unsearched.push_back(canonical_path(path));
    } else {
      found.failures.push_back(path + ": no such file");
    }
  }
  sort_and_merge(found);
  return found;
}

void sort_and_merge(Search& found) {
  const auto by_path = [](const auto& a, const auto& b) { return a.path < b.path; };
  const auto same_path = [](const auto& a, const auto& b) { return a.path == b.path; };
  std::stable_sort(found.files.begin(), found.files.end(), by_path);
  // A file found again under another name (a folder searched, and a
  // manifest) is said to have been taken as first found.
  // A file found again under the same name keeps the most trusted
  // measurement time of the two (a manifest's, over its name's).
  for (std::size_t i = 1; i < found.files.size(); ++i) {
    DataFile& first = found.files[i - 1];
    DataFile& again = found.files[i];
    if (first.path != again.path) continue;
    if (first.chip != again.chip || first.config != again.config)
      found.notes.push_back(again.path + " is named twice, as chip " + first.chip + ", " +
                            first.config + " and as chip " + again.chip + ", " + again.config +
                            "; the first is taken");
    else if (!again.measured.at.empty() &&
             (first.measured.at.empty() || again.measured.from < first.measured.from))
      first.measured = again.measured;
    // A third name of the file is weighed against what the first kept.
    again.measured = first.measured;
  }
  found.files.erase(std::unique(found.files.begin(), found.files.end(), same_path),
                    found.files.end());
  std::stable_sort(found.skipped.begin(), found.skipped.end(), by_path);
  found.skipped.erase(std::unique(found.skipped.begin(), found.skipped.end(), same_path),
                      found.skipped.end());
  // Folders are listed in the order the system gives; the outputs are not.
  std::sort(found.failures.begin(), found.failures.end());
  found.failures.erase(std::unique(found.failures.begin(), found.failures.end()),
                       found.failures.end());
}

FileState state_of(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? state_from(info) : FileState{};
}

bool lies_unsearched(const std::string& path, const Search& found) {
  return std::any_of(found.unsearched.begin(), found.unsearched.end(),
                     [&path](const std::string& folder) { return inside(path, folder); });
}

void take_unsearched(std::vector<DataFile> last_seen, Search& found) {
  const auto by_path = [](const DataFile& file, const std::string& path) {
    return file.path < path;
  };
  const std::size_t searched = found.files.size();
  for (DataFile& file : last_seen) {
    const auto end = found.files.begin() + static_cast<std::ptrdiff_t>(searched);
    const auto at = std::lower_bound(found.files.begin(), end, file.path, by_path);
    if ((at != end && at->path == file.path) || !lies_unsearched(file.path, found)) continue;
    file.unsearched = true;
    found.files.push_back(std::move(file));
  }
  sort_and_merge(found);
}

void look_at(Search& found) {
  for (DataFile& file : found.files) {
    if (file.unsearched) {
      fill_measurement_time(file);
      continue;
    }
    const std::string log_path = qavrel::log_path_for(file.path, file.chip, file.config);
    const std::string_view folder = std::string_view(log_path).substr(0, log_path.rfind('/'));
    // A log the folder's listing did not show is not there.
    if (found.listed_folders.count(hash_of(folder)) == 0) {
      file.log = state_of(log_path);
    } else {
      const auto log = found.log_states.find(hash_of(log_path));
      file.log = log != found.log_states.end() ? log->second : FileState{};
    }
    const auto listed = found.states.find(hash_of(file.path));
    file.state = listed != found.states.end() ? listed->second : state_of(file.path);
    fill_measurement_time(file);
  }
  // What the listings showed has served: its memory goes back.
  std::unordered_map<std::uint64_t, FileState>().swap(found.states);
  std::unordered_map<std::uint64_t, FileState>().swap(found.log_states);
}

}  // namespace qavrel::campaign
