#include "campaign/plan.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/log_path.h"

namespace {

// For each log, the path of the file whose table it last received, as far
// as the store knows: that of the newest stored analysis that wrote it.
std::unordered_map<std::string, const Analysis*> last_writers(
    const std::unordered_map<std::string, Analysis>& stored) {
  std::unordered_map<std::string, const Analysis*> writers;
  for (const auto& entry : stored) {
    const Analysis& analysis = entry.second;
    if (!analysis.log_written) continue;
    const Analysis*& writer = writers[analysis.log_path];
    if (writer == nullptr || writer->id < analysis.id) writer = &analysis;
  }
  return writers;
}

// A stored analysis stands for a file as long as the file, the tool and the
// naming are as they were and, for the file that owns its log, the log
// still holds its table.
bool still_stands(const Analysis& stored, const FoundFile& found, bool owns_log,
                  bool wrote_log_last, const PlanSettings& settings) {
  if (settings.force || !stored.ok) return false;
  if (stored.size != found.state.size || stored.mtime_ns != found.state.mtime_ns) return false;
  if (stored.tool_version != settings.tool_version || stored.chip != found.file.chip ||
      stored.config != found.file.config)
    return false;
  if (!owns_log || !settings.write_logs) return true;
  return stored.log_written && found.log_exists && wrote_log_last;
}

// A file name made of the chip and configuration; path separators and
// other awkward bytes become '_'.
std::string plot_stem(const Analysis& analysis) {
  std::string stem = analysis.chip + "_" + analysis.config;
  for (char& c : stem)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < ' ') c = '_';
  return stem;
}

// <chip>_<config>.svg, and ~2, ~3, ... for the files that share a chip and
// configuration (and their log) in name order, except the one whose table
// the log holds.
void name_plots(std::vector<FileResult>& results) {
  std::set<std::string> taken;
  for (FileResult& result : results)
    if (result.owns_log) {
      result.plot_name = plot_stem(result.analysis) + ".svg";
      taken.insert(result.plot_name);
    }
  for (FileResult& result : results) {
    if (result.owns_log) continue;
    for (int copy = 2; result.plot_name.empty() || !taken.insert(result.plot_name).second; ++copy)
      result.plot_name = plot_stem(result.analysis) + "~" + std::to_string(copy) + ".svg";
  }
}

}  // namespace

Plan plan_campaign(std::vector<FoundFile> found, std::unordered_map<std::string, Analysis> stored,
                   const PlanSettings& settings) {
  Plan plan;
  plan.results.resize(found.size());
  // Files that share a log path: all are analysed, the last by name writes it.
  std::map<std::string, std::vector<std::size_t>> by_log;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const DataFile& file = found[i].file;
    by_log[qavrel::log_path_for(file.path, file.chip, file.config)].push_back(i);
  }
  for (const auto& [log, sharing] : by_log) {
    for (const std::size_t i : sharing) {
      FileResult& result = plan.results[i];
      result.owns_log = i == sharing.back();
      for (const std::size_t other : sharing)
        if (other != i)
          result.shares_log_with +=
              (result.shares_log_with.empty() ? "" : ", ") + found[other].file.path;
    }
  }

  const auto writers = last_writers(stored);
  for (std::size_t i = 0; i < found.size(); ++i) {
    FileResult& result = plan.results[i];
    const FoundFile& file = found[i];
    const auto kept = stored.find(file.file.path);
    if (kept != stored.end()) {
      const auto writer = writers.find(kept->second.log_path);
      const bool wrote_log_last = writer != writers.end() && writer->second == &kept->second;
      if (still_stands(kept->second, file, result.owns_log, wrote_log_last, settings)) {
        result.analysis = std::move(kept->second);  // writers compares addresses only
        ++plan.reused;
        continue;
      }
    }
    result.analysis.path = file.file.path;
    result.analysis.chip = file.file.chip;
    result.analysis.config = file.file.config;
    plan.to_analyse.push_back(i);
    plan.bytes_to_read += static_cast<std::uint64_t>(std::max<std::int64_t>(0, file.state.size));
  }
  name_plots(plan.results);
  return plan;
}
