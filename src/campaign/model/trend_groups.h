// The campaign's trends: its current measurements grouped by when and
// where they were measured (the day, the bench, the board, the link), with
// the chips and the cross-talk of each group, so that a bad day or a bad
// board stands out.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "campaign/model/campaign_file.h"
#include "campaign/model/grading.h"

namespace qavrel::campaign {

// The group of files whose key could not be told.
extern const char* const unknown_group;

// A file's key in one grouping; unknown_group where it has none.
using GroupKey = std::function<std::string(const CampaignFile&)>;

// The day it was measured: the date of its measurement time.
std::string day_of(const CampaignFile& file);
// The board and the link, from the robot's name.
std::string board_of(const CampaignFile& file);
std::string link_of(const CampaignFile& file);
// The bench that analysed the file.
std::string bench_of(const CampaignFile& file);

struct TrendGroup {
  std::string key;
  // Indices into the grading's chips: each chip with a current
  // measurement in the group, once.
  std::vector<std::size_t> chips;
  // The worst |mean ratio| of each current measurement of the group that
  // was graded from its ratios.
  std::vector<double> worst;
};

// The current measurements grouped by key, in key order with the unknown
// group last. A chip counts in every group that holds one of its current
// measurements.
std::vector<TrendGroup> trend_groups(const std::vector<CampaignFile>& files, const Grading& grading,
                                     const GroupKey& key);

// The nearest-rank quantile q (0 to 1) of values; not-a-number ranks
// above every number. Not-a-number for no values.
double quantile(std::vector<double> values, double q);

}  // namespace qavrel::campaign
