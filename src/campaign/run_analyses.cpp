#include "campaign/run_analyses.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "campaign/outputs.h"

namespace {

constexpr auto tick_interval = std::chrono::milliseconds(100);

struct Finished {
  Analysis analysis;
  RatioTable ratios;
  std::string plot_failure;
};

// Results on their way from the workers to the calling thread.
struct Handover {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<Finished> results;
  unsigned workers_running = 0;
};

}  // namespace

void run_analyses(
    const std::vector<AnalysisJob>& jobs, unsigned workers, const std::atomic<bool>& stop,
    const std::function<void(Analysis&, const RatioTable&, const std::string&)>& on_result,
    const std::function<void()>& on_tick) {
  Handover handover;
  std::atomic<std::size_t> next_job{0};
  const unsigned count =
      std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(jobs.size())));
  handover.workers_running = count;
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < count; ++i) {
    threads.emplace_back([&] {
      for (;;) {
        const std::size_t job = next_job++;
        if (stop || job >= jobs.size()) break;
        Finished finished;
        finished.analysis = analyse_data_file(jobs[job].file, jobs[job].write_log, finished.ratios);
        if (!finished.analysis.parity.empty())
          finished.plot_failure =
              write_plot(jobs[job].plot_path, finished.analysis, finished.ratios, jobs[job].scale);
        const std::lock_guard<std::mutex> lock(handover.mutex);
        handover.results.push_back(std::move(finished));
        handover.arrived.notify_one();
      }
      const std::lock_guard<std::mutex> lock(handover.mutex);
      --handover.workers_running;
      handover.arrived.notify_one();
    });
  }
  for (;;) {
    std::deque<Finished> arrived;
    bool done = false;
    {
      std::unique_lock<std::mutex> lock(handover.mutex);
      handover.arrived.wait_for(lock, tick_interval, [&] {
        return !handover.results.empty() || handover.workers_running == 0;
      });
      arrived.swap(handover.results);
      done = handover.workers_running == 0;
    }
    for (Finished& finished : arrived)
      on_result(finished.analysis, finished.ratios, finished.plot_failure);
    on_tick();
    if (done) break;
  }
  for (std::thread& thread : threads) thread.join();
}
