// The worker pool: every job once, nothing new after a stop, and what a
// job throws comes back to the caller.
#include "campaign/run/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace qavrel::campaign;

TEST(WorkerPool, RunsEveryJobOnceAndStartsNothingAfterAStop) {
  std::atomic<bool> stop{false};
  std::vector<int> runs(100, 0);
  std::vector<std::size_t> handed;
  int ticks = 0;
  const PoolRun run = run_pool(
      runs.size(), 3, stop, [&runs](std::size_t job) { ++runs[job]; },
      [&handed](std::size_t job) { handed.push_back(job); }, [&ticks] { ++ticks; });
  EXPECT_EQ(run.workers, 3u);
  EXPECT_EQ(run.finished, runs.size());
  EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 100);
  std::sort(handed.begin(), handed.end());
  for (std::size_t i = 0; i < handed.size(); ++i) EXPECT_EQ(handed[i], i);
  EXPECT_GE(ticks, 1);

  // A job that stops the run: those in flight finish, no new one starts.
  std::atomic<int> started{0};
  const PoolRun stopped = run_pool(
      100, 2, stop,
      [&](std::size_t job) {
        ++started;
        if (job == 3) stop = true;
      },
      [](std::size_t) {}, [] {});
  EXPECT_EQ(stopped.finished, static_cast<std::size_t>(started));
  EXPECT_LE(started, 5);
}

// A job that throws ends the run once the others in flight have finished,
// and the caller gets what it threw.
TEST(WorkerPool, WhatAJobThrowsReachesTheCaller) {
  for (const unsigned workers : {1u, 4u}) {
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    EXPECT_THROW(run_pool(
                     1000, workers, stop,
                     [&started](std::size_t job) {
                       ++started;
                       if (job == 2) throw std::runtime_error("broken");
                       std::this_thread::sleep_for(std::chrono::milliseconds(1));
                     },
                     [](std::size_t) {}, [] {}),
                 std::runtime_error);
    EXPECT_LT(started, 100) << workers;
  }
}

// A worker whose job runs out of memory gives the job back and ends; the
// job is done once all the same, by another worker or the caller.
TEST(WorkerPool, MemoryRunningOutCostsAWorkerNotAJob) {
  for (const unsigned workers : {1u, 3u}) {
    std::atomic<bool> stop{false};
    std::atomic<bool> thrown{false};
    std::vector<int> done(50, 0);
    const PoolRun run = run_pool(
        done.size(), workers, stop,
        [&thrown](std::size_t job) {
          if (job == 5 && !thrown.exchange(true)) throw std::bad_alloc();
        },
        [&done](std::size_t job) { ++done[job]; }, [] {});
    EXPECT_EQ(run.out_of_memory, 1u) << workers;
    EXPECT_EQ(run.finished, done.size()) << workers;
    EXPECT_EQ(std::count(done.begin(), done.end(), 1), 50) << workers;
  }
}

}  // namespace
