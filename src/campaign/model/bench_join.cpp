#include "campaign/model/bench_join.h"

#include <tuple>

#include "campaign/model/plan.h"

namespace qavrel::campaign {

namespace {

bool before(const Analysis& one, const Analysis& other) {
  return std::tie(one.path, one.bench) < std::tie(other.path, other.bench);
}

}  // namespace

JoinedBenches join_benches(std::vector<CampaignFile> own, std::vector<CampaignFile> others) {
  JoinedBenches joined_benches;
  std::vector<CampaignFile>& files = joined_benches.files;
  files.reserve(own.size() + others.size());
  std::size_t a = 0;
  std::size_t b = 0;
  while (a < own.size() || b < others.size()) {
    const bool take_own =
        b == others.size() || (a < own.size() && before(own[a].analysis, others[b].analysis));
    (take_own ? joined_benches.own_places : joined_benches.other_places).push_back(files.size());
    files.push_back(std::move(take_own ? own[a++] : others[b++]));
  }
  // Alone, a bench's files are marked already; the others may supersede
  // them, or be superseded.
  if (!joined_benches.other_places.empty()) mark_superseded(files);
  return joined_benches;
}

}  // namespace qavrel::campaign
