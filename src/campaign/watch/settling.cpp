#include "campaign/watch/settling.h"

#include <algorithm>

namespace qavrel::campaign {

Settling::Settling(Clock::duration settle, Clock::duration batch_gap)
    : settle_(settle), batch_gap_(batch_gap) {}

void Settling::changed(const std::string& path, Clock::time_point now) { last_change_[path] = now; }

void Settling::look_at_everything() { everything_ = true; }

std::optional<Settling::Clock::duration> Settling::wait(Clock::time_point now) const {
  if (last_change_.empty() && !everything_) return std::nullopt;
  Clock::time_point due = now;
  if (!everything_) {
    due = std::min_element(last_change_.begin(), last_change_.end(),
                           [](const auto& a, const auto& b) { return a.second < b.second; })
              ->second +
          settle_;
  }
  if (last_batch_) due = std::max(due, *last_batch_ + batch_gap_);
  return std::max(due - now, Clock::duration::zero());
}

bool Settling::batch_due(Clock::time_point now) const {
  const std::optional<Clock::duration> left = wait(now);
  return left && *left == Clock::duration::zero();
}

std::unordered_set<std::string> Settling::start_batch(Clock::time_point now) {
  std::unordered_set<std::string> still_changing;
  for (auto change = last_change_.begin(); change != last_change_.end();) {
    if (now - change->second < settle_) {
      still_changing.insert(change->first);
      ++change;
    } else {
      change = last_change_.erase(change);
    }
  }
  everything_ = false;
  last_batch_ = now;
  return still_changing;
}

}  // namespace qavrel::campaign
