// The campaign's pictures on its front page, as inline SVG with the
// numbers on hover: how the chips' cross-talk is spread, which channels
// pick up the most of it across every chip, and how the yield and the
// cross-talk go by day, bench, board and link. Each is drawn from
// aggregates, never an element per file, so the page stays small however
// large the campaign.
#pragma once

#include <array>
#include <iterator>
#include <string>
#include <vector>

#include "campaign/model/grades.h"
#include "campaign/model/grading.h"
#include "campaign/model/trend_groups.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

// The grades a value graded from ratios can have, in the order a bar
// stacks them.
constexpr Grade ratio_grades[] = {Grade::a, Grade::b, Grade::c, Grade::fail};
constexpr std::size_t ratio_grade_count = std::size(ratio_grades);

// Counts of worst |mean ratio| in bins of equal width from 0 up to twice
// the C limit, each bin holding the values above its lower edge up to its
// upper one (so a value on a limit lies below it, as grading counts it),
// and a last, overflow bin for every value above the axis, not-a-number
// included. Each bin counts its values by grade, in ratio_grades' order.
struct WorstHistogram {
  double end = 0.0;  // the axis's end, where the overflow starts
  std::vector<std::array<long, ratio_grade_count>> bins;
};

WorstHistogram worst_histogram(const std::vector<double>& worst, const GradeLimits& limits);

// The histogram drawn: each bar stacked in its values' grade colours, the
// overflow bar labelled with its lower bound and count, the grade limits
// drawn, and both axes titled.
std::string worst_ratio_histogram(const std::vector<double>& worst, const GradeLimits& limits);

// A bar per chip channel of its mean |ratio| across the campaign (not the
// |mean ratio| that grades use); even channels are observed when odd ones
// are pulsed, odd ones when even ones are, and their bars have their own
// colours.
std::string channel_means_chart(const std::array<ChannelMean, qavrel::nchan>& means);

// A row per group, at most trend_rows of them: its chips and their yield,
// and the median and 90th percentile of the worst |mean ratio| of its
// current measurements, against the grade limits.
constexpr std::size_t trend_rows = 100;
std::string trend_chart(const std::vector<TrendGroup>& groups, const Grading& grading,
                        const std::string& label);

}  // namespace qavrel::campaign
