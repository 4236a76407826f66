#include "campaign/model/plan.h"

#include <algorithm>
#include <string_view>
#include <tuple>

#include "campaign/common/hashing.h"

namespace qavrel::campaign {

namespace {

// Files named in a file's shares_log_with at the most.
constexpr std::size_t shares_named = 10;

// A stored analysis stands for a file as long as the file, the tool and the
// naming are as they were and, for the file that owns its log, the log
// still holds its table.
bool still_stands(const Analysis& stored, const FoundFile& found, bool owns_log,
                  const LogWriters& writers, const PlanSettings& settings) {
  if (settings.force || !stored.ok) return false;
  if (stored.size != found.state.size || stored.mtime_ns != found.state.mtime_ns) return false;
  if (stored.tool_version != settings.tool_version || stored.chip != found.file.chip ||
      stored.config != found.file.config)
    return false;
  if (!owns_log || !settings.write_logs) return true;
  const auto writer = writers.find(hash_of(stored.log_path()));
  const bool wrote_log_last = writer != writers.end() && writer->second == stored.id;
  // A log that another program rewrote, truncated or removed is written again.
  return stored.log_written && found.log.size >= 0 && found.log.size == stored.log.size &&
         found.log.mtime_ns == stored.log.mtime_ns && wrote_log_last;
}

std::string_view folder_of(const std::string& path) {
  return std::string_view(path).substr(0, path.rfind('/') + 1);
}

// Files that share a log path (one folder, one chip and configuration):
// all are analysed, and the last by path writes the log.
void share_logs(const std::vector<FoundFile>& found, std::vector<FileResult>& results) {
  // The log's folder, chip and configuration, then the file's place.
  using Key = std::tuple<std::string_view, std::string_view, std::string_view, std::size_t>;
  std::vector<Key> keys;
  keys.reserve(found.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    const DataFile& file = found[i].file;
    keys.emplace_back(folder_of(file.path), file.chip, file.config, i);
  }
  std::sort(keys.begin(), keys.end());
  const auto same_log = [](const Key& a, const Key& b) {
    return std::get<0>(a) == std::get<0>(b) && std::get<1>(a) == std::get<1>(b) &&
           std::get<2>(a) == std::get<2>(b);
  };
  for (std::size_t first = 0; first < keys.size();) {
    std::size_t end = first + 1;
    while (end < keys.size() && same_log(keys[end], keys[first])) ++end;
    for (std::size_t a = first; a < end; ++a) {
      FileResult& result = results[std::get<3>(keys[a])];
      result.owns_log = a + 1 == end;
      // Named up to a few, so that many repeats stay a line, not a book.
      std::size_t named = 0;
      for (std::size_t b = first; b < end && named < shares_named; ++b)
        if (b != a) {
          result.shares_log_with +=
              (named++ == 0 ? "" : ", ") + found[std::get<3>(keys[b])].file.path;
        }
      if (end - first - 1 > named)
        result.shares_log_with += ", and " + std::to_string(end - first - 1 - named) + " more";
    }
    first = end;
  }
}

// For each chip and configuration, the latest file by path is the current
// measurement; the earlier ones are superseded by it.
void mark_superseded(std::vector<FileResult>& results) {
  // The chip, the configuration, then the place, which is path order.
  using Key = std::tuple<std::string_view, std::string_view, std::size_t>;
  std::vector<Key> keys;
  keys.reserve(results.size());
  for (std::size_t i = 0; i < results.size(); ++i)
    keys.emplace_back(results[i].analysis.chip, results[i].analysis.config, i);
  std::sort(keys.begin(), keys.end());
  for (std::size_t first = 0; first < keys.size();) {
    std::size_t end = first + 1;
    while (end < keys.size() && std::get<0>(keys[end]) == std::get<0>(keys[first]) &&
           std::get<1>(keys[end]) == std::get<1>(keys[first]))
      ++end;
    const std::size_t current = std::get<2>(keys[end - 1]);
    for (std::size_t k = first; k + 1 < end; ++k)
      results[std::get<2>(keys[k])].superseded_by = current;
    first = end;
  }
}

}  // namespace

void StoredOfFound::operator()(Analysis& stored) {
  while (next_ < found_.size() && found_[next_].file.path < stored.path) ++next_;
  if (next_ < found_.size() && found_[next_].file.path == stored.path)
    results_[next_].analysis = std::move(stored);
}

Plan plan_campaign(std::vector<FoundFile> found, std::vector<FileResult> stored,
                   const LogWriters& writers, const PlanSettings& settings) {
  Plan plan;
  plan.results = std::move(stored);
  plan.results.resize(found.size());
  share_logs(found, plan.results);
  for (std::size_t i = 0; i < found.size(); ++i) {
    FileResult& result = plan.results[i];
    FoundFile& file = found[i];
    // A file that could not be looked at can't be read either: what was
    // stored of it stands, even when every file is to be read again.
    if (result.analysis.id != 0 &&
        (file.unsearched ||
         still_stands(result.analysis, file, result.owns_log, writers, settings))) {
      ++plan.reused;
      continue;
    }
    result.analysis = Analysis();
    result.analysis.path = std::move(file.file.path);
    result.analysis.chip = std::move(file.file.chip);
    result.analysis.config = std::move(file.file.config);
    plan.to_analyse.push_back(i);
    plan.bytes_to_read += static_cast<std::uint64_t>(std::max<std::int64_t>(0, file.state.size));
  }
  mark_superseded(plan.results);
  return plan;
}

}  // namespace qavrel::campaign
