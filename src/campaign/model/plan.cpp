#include "campaign/model/plan.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <tuple>

#include "campaign/common/hashing.h"
#include "core/log_path.h"

namespace qavrel::campaign {

namespace {

// Files named in a file's shares_log_with at the most.
constexpr std::size_t shares_named = 10;

// A stored analysis stands for a file as long as the file, the tool and the
// naming are as they were and, for the file that writes its log, the log
// still holds its table. A failure of the data itself stands as the data
// does; a file that could not be opened, or whose log could not be
// written, is tried again, as what stood in its way may be gone.
bool still_stands(const Analysis& stored, const DataFile& found, bool writes_log,
                  const LogWriters& writers, const PlanSettings& settings) {
  if (settings.force || stored.data_state() != found.state) return false;
  if (stored.tool_version != settings.tool_version || stored.chip != found.chip ||
      stored.config != found.config)
    return false;
  if (!stored.ok) return stored.failure == Failure::read || stored.failure == Failure::parity;
  if (!writes_log) return true;
  const auto writer = writers.find(hash_of(stored.log_path()));
  const bool wrote_log_last = writer != writers.end() && writer->second == stored.id;
  // A log that another program rewrote, truncated or removed is written again.
  return stored.log_written && found.log.size >= 0 && found.log == stored.log && wrote_log_last;
}

// Files whose logs have one path (one folder, and a chip and configuration
// that spell the same name): all are analysed, the last by path owns the
// log, and each names the others.
void share_logs(const std::vector<std::string>& log_paths, const std::vector<DataFile>& found,
                std::vector<CampaignFile>& files) {
  std::vector<std::size_t> order(found.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  // By log path, then by the file's place, which is path order.
  std::sort(order.begin(), order.end(), [&log_paths](std::size_t a, std::size_t b) {
    return std::tie(log_paths[a], a) < std::tie(log_paths[b], b);
  });
  for (std::size_t first = 0; first < order.size();) {
    std::size_t end = first + 1;
    while (end < order.size() && log_paths[order[end]] == log_paths[order[first]]) ++end;
    for (std::size_t a = first; a < end; ++a) {
      CampaignFile& file = files[order[a]];
      file.owns_log = a + 1 == end;
      // Named up to a few, so that many repeats stay a line, not a book.
      std::size_t named = 0;
      for (std::size_t b = first; b < end && named < shares_named; ++b)
        if (b != a) file.shares_log_with += (named++ == 0 ? "" : ", ") + found[order[b]].path;
      if (end - first - 1 > named)
        file.shares_log_with += ", and " + std::to_string(end - first - 1 - named) + " more";
    }
    first = end;
  }
}

}  // namespace

// For each chip and configuration, the file measured last (the last by
// path among those measured at one time) is the current measurement; the
// earlier ones are superseded by it.
void mark_superseded(std::vector<CampaignFile>& files) {
  // The chip, the configuration, the time, then the place, which is path
  // order.
  using Key = std::tuple<std::string_view, std::string_view, std::int64_t, std::size_t>;
  std::vector<Key> keys;
  keys.reserve(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].superseded_by = CampaignFile::current;
    keys.emplace_back(files[i].analysis.chip, files[i].analysis.config,
                      files[i].measured.instant_ns, i);
  }
  std::sort(keys.begin(), keys.end());
  for (std::size_t first = 0; first < keys.size();) {
    std::size_t end = first + 1;
    while (end < keys.size() && std::get<0>(keys[end]) == std::get<0>(keys[first]) &&
           std::get<1>(keys[end]) == std::get<1>(keys[first]))
      ++end;
    const std::size_t current = std::get<3>(keys[end - 1]);
    for (std::size_t k = first; k + 1 < end; ++k)
      files[std::get<3>(keys[k])].superseded_by = current;
    first = end;
  }
}

Plan plan_campaign(std::vector<DataFile> found, std::vector<Analysis> stored,
                   const LogWriters& writers, const PlanSettings& settings) {
  Plan plan;
  plan.files.resize(found.size());
  {
    std::vector<std::string> log_paths;
    log_paths.reserve(found.size());
    for (const DataFile& file : found)
      log_paths.push_back(qavrel::log_path_for(file.path, file.chip, file.config));
    share_logs(log_paths, found, plan.files);
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    CampaignFile& file = plan.files[i];
    DataFile& data = found[i];
    file.measured = std::move(data.measured);
    file.writes_log = file.owns_log && settings.write_logs;
    Analysis& analysis = stored[i];
    // A file that could not be looked at can't be read either: what was
    // stored of it stands, even when every file is to be read again.
    if (analysis.id != 0 &&
        (data.unsearched || still_stands(analysis, data, file.writes_log, writers, settings))) {
      file.analysis = std::move(analysis);
      ++plan.reused;
      continue;
    }
    file.analysis.bench = settings.bench;
    file.analysis.path = std::move(data.path);
    file.analysis.chip = std::move(data.chip);
    file.analysis.config = std::move(data.config);
    plan.to_analyse.push_back(i);
    plan.bytes_to_read += static_cast<std::uint64_t>(std::max<std::int64_t>(0, data.state.size));
  }
  mark_superseded(plan.files);
  return plan;
}

std::vector<CampaignFile> with_analyses(Plan plan, std::vector<Analysis> made,
                                        const std::vector<bool>& left) {
  for (std::size_t k = 0; k < made.size() && k < plan.to_analyse.size(); ++k)
    if (!made[k].path.empty()) plan.files[plan.to_analyse[k]].analysis = std::move(made[k]);
  if (std::find(left.begin(), left.end(), true) == left.end()) return std::move(plan.files);
  drop_marked(plan.files, left);
  // A file left out may have been the current measurement of its chip.
  mark_superseded(plan.files);
  return std::move(plan.files);
}

}  // namespace qavrel::campaign
