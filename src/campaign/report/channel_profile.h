// A chip's channel profile, on its page above the maps: each observed
// channel's signed mean ratio over the peaks, with its standard error, for
// each measurement shown, against the grade limits; in SVG, no script.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "campaign/model/grades.h"
#include "campaign/model/ratio_table.h"
#include "core/parity.h"

namespace qavrel::campaign {

// One measurement's points: its configuration, which channels were pulsed
// (the others are observed), and each observed channel's mean ratio.
struct ProfileSeries {
  std::string label;
  qavrel::Parity pulsed = qavrel::Parity::odd;
  std::array<MeanRatio, qavrel::observed_channels> means{};
};

// The profile in percent, channels on the x-axis: a point and an error
// bar of one standard error either side for each channel of each series,
// the A, B and C limits as labelled lines at plus and minus each, and
// each series' worst channel (the largest |mean|) ringed.
std::string channel_profile_svg(const std::vector<ProfileSeries>& series,
                                const GradeLimits& limits);

// What the caption under the profile says its marks are.
extern const char* const channel_profile_caption;

}  // namespace qavrel::campaign
