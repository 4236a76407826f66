// The second step of a campaign run: the planned analyses, side by side on
// the worker pool, each followed by its plot and kept in the store.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "campaign/model/plan.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

struct RunSettings {
  unsigned workers = 1;
  bool write_logs = true;
  std::string plots;          // the folder of the maps
  std::string output_folder;  // canonical; no log may be a link into it
  double map_scale = 0.05;    // the ratio at which a map's colours are full
  bool show_progress = false;
};

struct RunOutcome {
  unsigned workers = 0;             // threads that could be made
  std::size_t analysed = 0;         // analyses made and stored
  std::vector<std::size_t> failed;  // results whose analysis failed, in path order
  std::vector<std::string> plot_failures;
  std::string store_failure;   // why the store took no more; the run stopped there
  bool out_of_memory = false;  // a worker ran out of memory; the run stopped there
};

// Analyses plan.to_analyse and puts each analysis in its result. Once stop
// is set, or the store fails (which sets stop), nothing new starts; those in
// flight finish, and are stored when the store still works. When memory
// runs out, those already finished are stored, and the run ends there.
RunOutcome run_analyses(Plan& plan, const RunSettings& settings, ResultsStore& store,
                        std::atomic<bool>& stop);

}  // namespace qavrel::campaign
