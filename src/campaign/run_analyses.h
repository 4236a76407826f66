// Analyses a campaign's data files side by side on worker threads, while
// the calling thread takes each result as it comes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "campaign/analysis.h"

struct AnalysisJob {
  DataFile file;
  bool write_log;  // the file owns its log path (see FileResult)
};

// Runs the jobs on up to workers threads. on_result gets each analysis on
// the calling thread; on_tick is called there a few times a second. Once
// stop is set no new job starts, and those in flight finish.
void run_analyses(const std::vector<AnalysisJob>& jobs, unsigned workers,
                  const std::atomic<bool>& stop, const std::function<void(Analysis&)>& on_result,
                  const std::function<void()>& on_tick);
