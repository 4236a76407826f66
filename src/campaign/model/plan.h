// The first step of a campaign run: from the files found and the analyses
// stored, which files must be read (again), who owns each log, and which
// measurements are current. A pure function: it looks at nothing but its
// arguments.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "campaign/find/data_file.h"
#include "campaign/model/campaign_file.h"

namespace qavrel::campaign {

struct PlanSettings {
  bool force = false;        // read every file again
  bool write_logs = true;    // each log's owner writes it
  std::string tool_version;  // of this run; another one's analyses don't stand
  std::string bench;         // that reads the files
};

// For each log, by a hash of its path, the id of the newest analysis that
// wrote it.
using LogWriters = std::unordered_map<std::uint64_t, std::int64_t>;

struct Plan {
  // One per file found, in path order, with the stored analysis wherever
  // it still stands; those to be read hold only their path and naming.
  std::vector<CampaignFile> files;
  std::vector<std::size_t> to_analyse;  // indices into files
  std::uint64_t bytes_to_read = 0;
  std::size_t reused = 0;  // files whose stored analysis stands
};

// For each chip and configuration, the file measured last (the last in
// files' order among those measured at one time) is the current
// measurement; the earlier ones are superseded by it.
void mark_superseded(std::vector<CampaignFile>& files);

// found is in path order, each path once; stored[i] is the latest analysis
// the store holds of found[i] (id 0 where it holds none), and writers tells
// who last wrote each log.
Plan plan_campaign(std::vector<DataFile> found, std::vector<Analysis> stored,
                   const LogWriters& writers, const PlanSettings& settings);

// The campaign's files once the run has made the planned analyses:
// made[k] is that of files[to_analyse[k]]. Files marked in left (by their
// place in files; none when empty) are left out, as files still being
// written, which the run leaves for the next.
std::vector<CampaignFile> with_analyses(Plan plan, std::vector<Analysis> made,
                                        const std::vector<bool>& left = {});

// Removes the items marked, keeping the order of the rest.
template <typename T>
void drop_marked(std::vector<T>& items, const std::vector<bool>& marked) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i < marked.size() && marked[i]) continue;
    // Moving an item onto itself would empty it.
    if (kept != i) items[kept] = std::move(items[i]);
    ++kept;
  }
  items.resize(kept);
}

}  // namespace qavrel::campaign
