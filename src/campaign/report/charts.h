// The campaign's pictures on its front page, as inline SVG with the
// numbers on hover: how the chips' cross-talk is spread, and which channels
// pick up the most of it across every chip.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "campaign/model/grades.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

// A histogram of the worst |mean ratio| of measurements, from 0 to twice
// the C limit (larger ones, and not-a-number, in a last bar), with the
// grade limits drawn on it.
std::string worst_ratio_histogram(const std::vector<double>& worst, const GradeLimits& limits);

// A bar per chip channel of its mean |ratio| across the campaign; even
// channels are observed when odd ones are pulsed, odd ones when even ones
// are, and their bars have their own colours.
std::string channel_means_chart(const std::array<ChannelMean, qavrel::nchan>& means);

}  // namespace qavrel::campaign
