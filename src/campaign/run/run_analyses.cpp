#include "campaign/run/run_analyses.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <unordered_set>

#include "campaign/common/hashing.h"
#include "campaign/report/colour_map.h"
#include "campaign/report/output_names.h"
#include "campaign/report/publish.h"
#include "campaign/run/progress.h"
#include "campaign/run/worker_pool.h"

namespace qavrel::campaign {

namespace {

constexpr auto commit_interval = std::chrono::milliseconds(500);

// What a worker hands back of one file.
struct Finished {
  Analysis analysis;
  RatioTable ratios;
  std::string plot_failure;
};

}  // namespace

RunOutcome run_analyses(Plan& plan, const RunSettings& settings, ResultsStore& store,
                        std::atomic<bool>& stop) {
  RunOutcome outcome;
  const std::vector<std::size_t>& jobs = plan.to_analyse;
  // Each job fills its own slot; the calling thread empties it.
  std::vector<std::unique_ptr<Finished>> slots(jobs.size());
  // No log may be a link to data, the campaign's or any named as data is,
  // nor into the output folder, where the store and the pages are.
  std::unordered_set<std::uint64_t> data_paths;
  for (const FileResult& result : plan.results) data_paths.insert(hash_of(result.analysis.path));
  const auto link_refused = [&](const std::string& target) -> std::string {
    const std::string name = target.substr(target.rfind('/') + 1);
    if (data_paths.count(hash_of(target)) != 0 || is_sample_name(name))
      return "it is a link to a data file";
    if (inside(target, settings.output_folder)) return "it is a link into the output folder";
    return {};
  };
  const auto work = [&](std::size_t job) {
    FileResult& result = plan.results[jobs[job]];
    const DataFile file{result.analysis.path, result.analysis.chip, result.analysis.config};
    auto finished = std::make_unique<Finished>();
    finished->analysis = analyse_data_file(file, settings.write_logs && result.owns_log,
                                           finished->ratios, link_refused);
    if (finished->analysis.has_ratios)
      finished->plot_failure = write_plot(settings.plots + "/" + plot_name(result.analysis),
                                          finished->analysis, finished->ratios, settings.map_scale);
    slots[job] = std::move(finished);
  };

  Progress progress(jobs.size(), plan.bytes_to_read, settings.show_progress);
  std::size_t done = 0;
  std::uint64_t bytes_read = 0;
  auto last_commit = std::chrono::steady_clock::now();
  const auto store_failed = [&](const std::string& why) {
    if (outcome.store_failure.empty()) outcome.store_failure = why;
    stop = true;
  };
  const auto take = [&](std::size_t job) {
    const std::unique_ptr<Finished> finished = std::move(slots[job]);
    FileResult& result = plan.results[jobs[job]];
    ++done;
    bytes_read += static_cast<std::uint64_t>(std::max<std::int64_t>(0, finished->analysis.size));
    std::string error;
    if (outcome.store_failure.empty() && !store.add(finished->analysis, finished->ratios, error))
      store_failed(error);
    if (!finished->plot_failure.empty()) outcome.plot_failures.push_back(finished->plot_failure);
    if (!finished->analysis.ok) outcome.failed.push_back(jobs[job]);
    result.plot_written = finished->plot_failure.empty() && finished->analysis.has_ratios;
    result.analysis = std::move(finished->analysis);
    ++outcome.analysed;
  };
  const auto tick = [&] {
    progress.update(done, bytes_read, outcome.failed.size());
    if (std::chrono::steady_clock::now() - last_commit < commit_interval) return;
    std::string error;
    if (outcome.store_failure.empty() && !store.commit(error)) store_failed(error);
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
  std::string error;
  if (outcome.store_failure.empty() && !store.commit(error)) store_failed(error);
  std::sort(outcome.failed.begin(), outcome.failed.end());
  return outcome;
}

}  // namespace qavrel::campaign
