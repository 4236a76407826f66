// The run step: the planned analyses side by side on the worker pool, each
// followed by its map, and kept in the store with the record of that map.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "campaign/model/grades.h"
#include "campaign/model/plan.h"
#include "campaign/store/results_store.h"
#include "core/status.h"

namespace qavrel::campaign {

struct RunSettings {
  unsigned workers = 1;
  std::string output_folder;   // canonical; no log may be a link into it
  GradeLimits map_limits;      // that shape a map's colour scale
  std::int64_t settle_ns = 0;  // see AnalyseSettings
  bool show_progress = false;
};

struct RunOutcome {
  // made[k] is the analysis of plan.files[plan.to_analyse[k]], stored; one
  // that never started has an empty path.
  std::vector<Analysis> made;
  unsigned workers = 0;             // threads that could be made
  std::size_t analysed = 0;         // analyses made and stored
  std::vector<std::size_t> failed;  // places in made of those that failed, in path order
  // Places in made of files left for a later run as still being written,
  // in path order; neither stored nor counted as analysed.
  std::vector<std::size_t> still_written;
  std::vector<Status> map_failures;
  Status store_failure;        // why the store took no more; the run stopped there
  bool out_of_memory = false;  // a worker ran out of memory; the run stopped there
};

// Analyses plan.to_analyse, writing each map into output_folder/plots as
// it ends (not for a file still being written). The store first forgets what those maps and the
// folder as a whole were made from, as they are about to change. Once stop is set, or the store
// fails (which sets stop), nothing new starts; those in flight finish, and are stored when the
// store still works. When memory runs out, those already finished are stored, and the run ends
// there.
RunOutcome run_analyses(const Plan& plan, const RunSettings& settings, ResultsStore& store,
                        std::atomic<bool>& stop);

}  // namespace qavrel::campaign
