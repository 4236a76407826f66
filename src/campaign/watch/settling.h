// When a watch reads what changed: a file once it has rested (no change
// seen for the settle time), files that rest together in one batch, and
// batches no closer together than a gap, however fast files arrive. Times
// come from the caller, so that the rule is tested without waiting.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace qavrel::campaign {

class Settling {
 public:
  using Clock = std::chrono::steady_clock;

  Settling(Clock::duration settle, Clock::duration batch_gap);

  // A change was seen to the file (or folder) at path.
  void changed(const std::string& path, Clock::time_point now);
  // Everything must be looked at again (events were lost, or a rescan is
  // due): the next batch comes as soon as the gap allows.
  void look_at_everything();

  // Whether a batch is due: a file has rested, or everything must be
  // looked at, and the last batch is at least the gap behind.
  bool batch_due(Clock::time_point now) const;
  // Starts a batch: forgets the files that rested, and returns those still
  // changing, which the batch leaves for a later one.
  std::unordered_set<std::string> start_batch(Clock::time_point now);
  // How long until a batch may be due; none while nothing is waiting.
  std::optional<Clock::duration> wait(Clock::time_point now) const;

 private:
  Clock::duration settle_;
  Clock::duration batch_gap_;
  std::unordered_map<std::string, Clock::time_point> last_change_;
  bool everything_ = false;
  std::optional<Clock::time_point> last_batch_;
};

}  // namespace qavrel::campaign
