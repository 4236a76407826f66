// The worker pool: every job once, nothing new after a stop, and what a
// job throws comes back to the caller. Where the order of threads matters,
// gates make it explicit, so that no assertion depends on scheduling.
#include "campaign/run/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace qavrel::campaign;

// Opens once count threads have arrived, or once opened by hand.
class Gate {
 public:
  explicit Gate(int count) : count_(count) {}
  void arrive_and_wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (--count_ <= 0) changed_.notify_all();
    changed_.wait(lock, [this] { return count_ <= 0; });
  }
  void open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    count_ = 0;
    changed_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return count_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_;
};

TEST(WorkerPool, RunsEveryJobOnceEachHandedBackOnce) {
  for (const unsigned workers : {1u, 3u, 8u}) {
    std::atomic<bool> stop{false};
    std::vector<std::atomic<int>> runs(200);
    std::vector<int> handed(runs.size(), 0);
    int ticks = 0;
    const PoolRun run = run_pool(
        runs.size(), workers, stop, [&runs](std::size_t job) { ++runs[job]; },
        [&handed](std::size_t job) { ++handed[job]; }, [&ticks] { ++ticks; });
    EXPECT_EQ(run.workers, workers);
    EXPECT_EQ(run.finished, runs.size());
    for (std::size_t job = 0; job < runs.size(); ++job) {
      EXPECT_EQ(runs[job], 1) << job;
      EXPECT_EQ(handed[job], 1) << job;
    }
  }
}

// Two workers each hold a job; one sets stop while both are inside theirs.
// Those two finish and are handed back; no third job ever starts.
TEST(WorkerPool, NothingStartsAfterAStop) {
  std::atomic<bool> stop{false};
  Gate both_started(2);
  Gate stopped(1);
  std::atomic<int> started{0};
  std::vector<std::size_t> handed;
  const PoolRun run = run_pool(
      100, 2, stop,
      [&](std::size_t job) {
        ++started;
        both_started.arrive_and_wait();
        if (job == 0) {
          stop = true;
          stopped.open();
        }
        stopped.wait();
      },
      [&handed](std::size_t job) { handed.push_back(job); }, [] {});
  EXPECT_EQ(started, 2);
  EXPECT_EQ(run.finished, 2u);
  std::sort(handed.begin(), handed.end());
  EXPECT_EQ(handed, (std::vector<std::size_t>{0, 1}));
}

// A job that throws ends the run once the others in flight have finished,
// and the caller gets what it threw; no job starts after it.
TEST(WorkerPool, WhatAJobThrowsReachesTheCaller) {
  for (const unsigned workers : {1u, 4u}) {
    std::atomic<bool> stop{false};
    std::atomic<int> after{0};
    std::atomic<bool> thrown{false};
    EXPECT_THROW(run_pool(
                     1000, workers, stop,
                     [&](std::size_t job) {
                       if (thrown) {
                         ++after;
                         std::this_thread::sleep_for(std::chrono::milliseconds(2));
                       }
                       if (job == 2) {
                         thrown = true;
                         throw std::runtime_error("broken");
                       }
                     },
                     [](std::size_t) {}, [] {}),
                 std::runtime_error);
    // Jobs may start between the throw and the pool's catch, the more so
    // on a busy machine; the 997 left all running would take half a
    // second, far longer than that.
    EXPECT_LT(after, 500) << workers;
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
