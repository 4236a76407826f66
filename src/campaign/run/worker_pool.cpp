#include "campaign/run/worker_pool.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace qavrel::campaign {

namespace {

constexpr auto tick_interval = std::chrono::milliseconds(100);
// A job needs little stack; the system's default (8 MiB) would let a limit
// on the address space allow only a few dozen workers.
constexpr std::size_t worker_stack_size = std::size_t{512} * 1024;

// A thread with a small stack, joined when it goes out of scope.
class Worker {
 public:
  explicit Worker(std::function<void()> body) : body_(std::move(body)) {}
  ~Worker() {
    if (started_) pthread_join(thread_, nullptr);
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // False when the system makes no more threads.
  bool start() {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_attr_setstacksize(&attributes, worker_stack_size);
    started_ = pthread_create(&thread_, &attributes, &Worker::run, this) == 0;
    pthread_attr_destroy(&attributes);
    return started_;
  }

 private:
  static void* run(void* worker) {
    static_cast<Worker*>(worker)->body_();
    return nullptr;
  }

  std::function<void()> body_;
  pthread_t thread_{};
  bool started_ = false;
};

// The jobs, and the finished ones on their way from the workers to the
// calling thread.
class Jobs {
 public:
  Jobs(std::size_t count, const std::atomic<bool>& stop) : count_(count), stop_(stop) {}

  // The next job to run; false once stopped or out of jobs.
  bool take(std::size_t& job) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ || failure_) return false;
    if (!again_.empty()) {
      job = again_.front();
      again_.pop_front();
      return true;
    }
    if (next_ >= count_) return false;
    job = next_++;
    return true;
  }

  void finished(std::size_t job) {
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(job);
    changed_.notify_one();
  }

  // A worker gives its job back, to be run again, and ends.
  void give_back(std::size_t job) {
    const std::lock_guard<std::mutex> lock(mutex_);
    again_.push_back(job);
    ++out_of_memory_;
    end_worker();
  }

  // A worker's job threw: the run stops.
  void fail(std::exception_ptr failure) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::move(failure);
    end_worker();
  }

  void start_worker() {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++running_;
  }

  void worker_ended() {
    const std::lock_guard<std::mutex> lock(mutex_);
    end_worker();
  }

  // Waits a tick at most for finished jobs; false once no worker runs and
  // all have been handed over.
  bool wait(std::vector<std::size_t>& finished) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, tick_interval, [this] { return !finished_.empty() || running_ == 0; });
    finished.clear();
    finished.swap(finished_);
    return running_ > 0 || !finished.empty();
  }

  unsigned out_of_memory() const { return out_of_memory_; }
  std::exception_ptr failure() const { return failure_; }

 private:
  void end_worker() {
    --running_;
    changed_.notify_one();
  }

  const std::size_t count_;
  const std::atomic<bool>& stop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;
  std::deque<std::size_t> again_;
  std::vector<std::size_t> finished_;
  unsigned running_ = 0;
  unsigned out_of_memory_ = 0;
  std::exception_ptr failure_;
};

}  // namespace

PoolRun run_pool(std::size_t count, unsigned workers, const std::atomic<bool>& stop,
                 const std::function<void(std::size_t)>& work,
                 const std::function<void(std::size_t)>& done, const std::function<void()>& tick) {
  PoolRun run;
  Jobs jobs(count, stop);
  const auto worker = [&] {
    for (std::size_t job = 0; jobs.take(job);) {
      try {
        work(job);
      } catch (const std::bad_alloc&) {
        jobs.give_back(job);
        return;
      } catch (...) {
        jobs.fail(std::current_exception());
        return;
      }
      jobs.finished(job);
    }
    jobs.worker_ended();
  };
  std::vector<std::unique_ptr<Worker>> threads;
  const auto wanted = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, workers), count));
  for (unsigned i = 0; i < wanted; ++i) {
    jobs.start_worker();
    threads.push_back(std::make_unique<Worker>(worker));
    if (!threads.back()->start()) {
      // The system allows no more threads (a process limit, no memory for
      // a stack): the ones made do the work.
      threads.pop_back();
      jobs.worker_ended();
      break;
    }
  }
  run.workers = static_cast<unsigned>(threads.size());

  std::vector<std::size_t> finished;
  while (!threads.empty() && jobs.wait(finished)) {
    for (const std::size_t job : finished) {
      ++run.finished;
      done(job);
    }
    tick();
  }
  threads.clear();  // joins them
  run.out_of_memory = jobs.out_of_memory();
  if (jobs.failure()) std::rethrow_exception(jobs.failure());
  // What no worker was left to do, the calling thread does.
  for (std::size_t job = 0; jobs.take(job); tick()) {
    work(job);
    ++run.finished;
    done(job);
  }
  return run;
}

}  // namespace qavrel::campaign
