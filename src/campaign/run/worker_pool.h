// Runs any numbered jobs on worker threads, while the calling thread takes
// each finished one in turn. It knows nothing of what the jobs do.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace qavrel::campaign {

struct PoolRun {
  unsigned workers = 0;        // threads that could be made
  unsigned out_of_memory = 0;  // of those, the ones that ran out of memory and ended
  std::size_t finished = 0;    // jobs run, each also handed to done
};

// Runs work(i) for each i below count, in order, on up to `workers` threads,
// and calls done(i) on the calling thread once work(i) has returned; tick()
// runs there a few times a second. Once stop is set no new job starts, and
// those in flight finish. The pool makes do with what the system allows:
// with fewer threads than asked for where no more can be made, and without
// a worker whose job ran out of memory (the job is run again by another).
// Jobs left without a worker run on the calling thread. Anything else a job
// throws stops the run, and is thrown again once the workers have ended.
PoolRun run_pool(std::size_t count, unsigned workers, const std::atomic<bool>& stop,
                 const std::function<void(std::size_t)>& work,
                 const std::function<void(std::size_t)>& done, const std::function<void()>& tick);

}  // namespace qavrel::campaign
