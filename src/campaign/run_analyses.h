// Analyses a campaign's data files side by side on worker threads, while
// the calling thread takes each result as it comes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "campaign/analysis.h"

struct AnalysisJob {
  DataFile file;
  bool write_log;         // the file owns its log path (see FileResult)
  std::string plot_path;  // where its colour map goes, right after the analysis
  double scale;           // of the map's colours
};

// Runs the jobs on up to workers threads, each analysis followed by its
// plot. on_result gets each analysis, its ratios and what failed of its
// plot (or nothing) on the calling thread; on_tick is called there a few times a second. Once
// stop is set no new job starts, and those in flight finish.
void run_analyses(
    const std::vector<AnalysisJob>& jobs, unsigned workers, const std::atomic<bool>& stop,
    const std::function<void(Analysis&, const RatioTable&, const std::string&)>& on_result,
    const std::function<void()>& on_tick);
