// The cross-talk ratios of one analysis, and what grading reads of them.
#pragma once

#include <array>

#include "core/cross_talk.h"

namespace qavrel::campaign {

// By peak and observed channel; not-a-number where none was computed. The
// store keeps them, and the campaign holds those of one file at a time.
struct RatioTable {
  qavrel::Ratios values;
  RatioTable();
};

// The observed channel whose mean ratio over the peaks is largest in size.
struct WorstChannel {
  int column = 0;
  double abs_mean = 0.0;        // not-a-number when that mean is
  double standard_error = 0.0;  // of the mean, from the spread of the peaks
};

// An observed channel's signed mean ratio over the peaks, with its
// standard error: the sample deviation of the peaks (n - 1) over the
// square root of their number. Not-a-number where a peak's ratio is.
struct MeanRatio {
  double mean = 0.0;
  double standard_error = 0.0;
};

std::array<MeanRatio, qavrel::observed_channels> mean_ratios(const RatioTable& ratios);

// A not-a-number or infinite mean counts as the largest.
WorstChannel worst_channel(const RatioTable& ratios);

// For each observed channel, the mean of its absolute ratios over the
// peaks where they are finite; not-a-number where none is.
std::array<double, qavrel::observed_channels> mean_abs_ratios(const RatioTable& ratios);

}  // namespace qavrel::campaign
