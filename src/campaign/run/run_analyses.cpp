#include "campaign/run/run_analyses.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <unordered_set>

#include "campaign/common/hashing.h"
#include "campaign/find/data_files.h"
#include "campaign/find/naming.h"
#include "campaign/report/colour_map.h"
#include "campaign/report/output_file.h"
#include "campaign/report/output_names.h"
#include "campaign/run/analyse_file.h"
#include "campaign/run/progress.h"
#include "campaign/run/worker_pool.h"

namespace qavrel::campaign {

namespace {

constexpr auto commit_interval = std::chrono::milliseconds(500);
const std::atomic<bool> never{false};

// What a worker hands back of one file.
struct Finished {
  Analysis analysis;
  bool still_written = false;
  RatioTable ratios;
  Status map_written;
  bool map_placed = false;
  FileState map_state;  // once in place
};

}  // namespace

RunOutcome run_analyses(const Plan& plan, const RunSettings& settings, ResultsStore& store,
                        std::atomic<bool>& stop) {
  RunOutcome outcome;
  const std::vector<std::size_t>& jobs = plan.to_analyse;
  outcome.made.resize(jobs.size());
  if (jobs.empty()) return outcome;
  const std::string plots = settings.output_folder + "/plots/";
  {
    std::vector<std::string> changing{""};
    for (const std::size_t i : jobs)
      changing.push_back("plots/" + plot_name(plan.files[i].analysis));
    if (Status forgot = store.forget_outputs(changing); !forgot.ok()) {
      outcome.store_failure = forgot;
      return outcome;
    }
  }
  // Each job fills its own slot; the calling thread empties it.
  std::vector<std::unique_ptr<Finished>> slots(jobs.size());
  // No log may be a link to data, the campaign's or any named as data is,
  // nor into the output folder, where the store and the pages are.
  std::unordered_set<std::uint64_t> data_paths;
  for (const CampaignFile& file : plan.files) data_paths.insert(hash_of(file.analysis.path));
  AnalyseSettings analyse;
  analyse.settle_ns = settings.settle_ns;
  analyse.link_refused = [&](const std::string& target) -> std::string {
    const std::string name = target.substr(target.rfind('/') + 1);
    if (data_paths.count(hash_of(target)) != 0 || is_sample_name(name))
      return "it is a link to a data file";
    if (inside(target, settings.output_folder)) return "it is a link into the output folder";
    return {};
  };
  const auto work = [&](std::size_t job) {
    const CampaignFile& planned = plan.files[jobs[job]];
    DataFile file;
    file.path = planned.analysis.path;
    file.chip = planned.analysis.chip;
    file.config = planned.analysis.config;
    auto finished = std::make_unique<Finished>();
    AnalyseSettings these = analyse;
    these.write_log = planned.writes_log;
    FileAnalysis made = analyse_data_file(file, these, finished->ratios);
    finished->analysis = std::move(made.analysis);
    finished->analysis.bench = planned.analysis.bench;
    finished->still_written = made.still_written;
    if (finished->analysis.has_ratios) {
      const std::string map = plots + plot_name(finished->analysis);
      finished->map_written = write_output(
          map, colour_map_svg(finished->analysis, finished->ratios, settings.map_limits), never,
          finished->map_placed);
      if (finished->map_placed) finished->map_state = state_of(map);
    }
    slots[job] = std::move(finished);
  };

  Progress progress(jobs.size(), plan.bytes_to_read, settings.show_progress);
  std::size_t done = 0;
  std::uint64_t bytes_read = 0;
  auto last_commit = std::chrono::steady_clock::now();
  const auto store_failed = [&](Status why) {
    if (outcome.store_failure.ok()) outcome.store_failure = std::move(why);
    stop = true;
  };
  const auto take = [&](std::size_t job) {
    const std::unique_ptr<Finished> finished = std::move(slots[job]);
    Analysis& analysis = finished->analysis;
    ++done;
    bytes_read += static_cast<std::uint64_t>(std::max<std::int64_t>(0, analysis.size));
    if (finished->still_written) {
      outcome.still_written.push_back(job);
      outcome.made[job] = std::move(analysis);
      return;
    }
    if (outcome.store_failure.ok()) {
      // The map's record goes with the analysis it was made from, in one
      // transaction: neither is kept without the other.
      Status stored = store.add(analysis, finished->ratios);
      if (stored.ok() && finished->map_placed)
        stored = store.record_output(
            "plots/" + plot_name(analysis),
            {map_made_from(analysis, settings.map_limits), finished->map_state});
      if (!stored.ok()) store_failed(stored);
    }
    if (!finished->map_written.ok()) outcome.map_failures.push_back(finished->map_written);
    if (!analysis.ok) outcome.failed.push_back(job);
    outcome.made[job] = std::move(analysis);
    ++outcome.analysed;
  };
  const auto tick = [&] {
    progress.update(done, bytes_read, outcome.failed.size());
    if (std::chrono::steady_clock::now() - last_commit < commit_interval) return;
    if (outcome.store_failure.ok())
      if (Status committed = store.commit(); !committed.ok()) store_failed(committed);
    last_commit = std::chrono::steady_clock::now();
  };
  try {
    const PoolRun pool = run_pool(jobs.size(), settings.workers, stop, work, take, tick);
    outcome.workers = pool.workers - pool.out_of_memory;
  } catch (const std::bad_alloc&) {
    // Memory ran out even on the calling thread: what was analysed before
    // is kept, and the run stops.
    outcome.out_of_memory = true;
  }
  progress.finish();
  if (outcome.store_failure.ok())
    if (Status committed = store.commit(); !committed.ok()) store_failed(committed);
  std::sort(outcome.failed.begin(), outcome.failed.end());
  std::sort(outcome.still_written.begin(), outcome.still_written.end());
  return outcome;
}

}  // namespace qavrel::campaign
