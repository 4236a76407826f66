#include "campaign/data_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/log_path.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t nanoseconds_per_second = 1000000000;

bool inside(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() &&
         path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// Why a file can't be data whatever its name says, or empty when it can be.
std::string never_data(const std::string& path, const SearchRules& rules) {
  if (qavrel::is_log_name(fs::path(path).filename().string()))
    return "a table this tool writes, never sample data";
  if (inside(path, rules.output_folder)) return "it lies in the output folder";
  return {};
}

std::string not_regular(fs::file_type type) {
  switch (type) {
    case fs::file_type::fifo:
      return "not a regular file but a FIFO";
    case fs::file_type::socket:
      return "not a regular file but a socket";
    case fs::file_type::block:
    case fs::file_type::character:
      return "not a regular file but a device";
    default:
      return "not a regular file";
  }
}

// Names the file and adds it to found, or lists it as skipped.
void take(const std::string& path, const SearchRules& rules, FoundFiles& found) {
  DataFile file;
  file.path = path;
  std::string reason;
  const std::string file_name = fs::path(path).filename().string();
  const bool named = rules.pattern != nullptr ? rules.pattern->name(file_name, file, reason)
                                              : name_by_rule(file_name, file, reason);
  if (named)
    take_named(std::move(file), rules, found);
  else
    found.skipped.push_back({path, reason});
}

// Searches a canonical directory: what lies below it is canonical too, as
// links to directories are not followed.
void search(const std::string& directory, const SearchRules& rules, FoundFiles& found) {
  if (directory == rules.output_folder || inside(directory, rules.output_folder)) return;
  std::error_code error;
  fs::recursive_directory_iterator entries(directory, fs::directory_options::skip_permission_denied,
                                           error);
  for (; !error && entries != fs::recursive_directory_iterator(); entries.increment(error)) {
    const fs::directory_entry& entry = *entries;
    if (entry.path() == rules.output_folder) {
      entries.disable_recursion_pending();
      continue;
    }
    const std::string file_name = entry.path().filename().string();
    if (qavrel::is_log_name(file_name)) continue;
    if (!(rules.pattern != nullptr ? rules.pattern->matches(file_name) : is_sample_name(file_name)))
      continue;
    std::error_code ignored;
    const fs::file_status status = entry.status(ignored);
    if (fs::is_directory(status)) continue;
    if (fs::is_regular_file(status))
      take(entry.path().string(), rules, found);
    else
      found.skipped.push_back({entry.path().string(), not_regular(status.type())});
  }
  if (error) found.failures.push_back(directory + ": " + error.message());
}

}  // namespace

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

void take_named(DataFile file, const SearchRules& rules, FoundFiles& found) {
  const std::string why = never_data(file.path, rules);
  if (why.empty())
    found.files.push_back(std::move(file));
  else
    found.skipped.push_back({file.path, why});
}

FoundFiles find_data_files(const std::vector<std::string>& paths, const SearchRules& rules) {
  FoundFiles found;
  for (const std::string& path : paths) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status))
      search(fs::canonical(path, error).string(), rules, found);
    else if (fs::exists(status))
      take(canonical_path(path), rules, found);
    else
      found.failures.push_back(path + ": " + (error ? error.message() : "no such file"));
  }
  sort_and_merge(found);
  return found;
}

void sort_and_merge(FoundFiles& found) {
  const auto by_path = [](const auto& a, const auto& b) { return a.path < b.path; };
  const auto same_path = [](const auto& a, const auto& b) { return a.path == b.path; };
  std::stable_sort(found.files.begin(), found.files.end(), by_path);
  found.files.erase(std::unique(found.files.begin(), found.files.end(), same_path),
                    found.files.end());
  std::stable_sort(found.skipped.begin(), found.skipped.end(), by_path);
  found.skipped.erase(std::unique(found.skipped.begin(), found.skipped.end(), same_path),
                      found.skipped.end());
}

FileState state_of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {info.st_size, info.st_mtim.tv_sec * nanoseconds_per_second + info.st_mtim.tv_nsec};
}

std::vector<FoundFile> look_at(std::vector<DataFile> files) {
  std::vector<FoundFile> found;
  found.reserve(files.size());
  for (DataFile& file : files) {
    struct stat log {};
    const std::string log_path = qavrel::log_path_for(file.path, file.chip, file.config);
    const bool log_exists = ::stat(log_path.c_str(), &log) == 0;
    const FileState state = state_of(file.path);
    found.push_back({std::move(file), state, log_exists});
  }
  return found;
}
