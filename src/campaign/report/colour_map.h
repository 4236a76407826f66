// A file's cross-talk as a colour map: its 15 peaks by 16 observed
// channels, in SVG, with channel and peak labels and a colour scale.
#pragma once

#include <string>

#include "campaign/model/analysis.h"

namespace qavrel::campaign {

// The map of the result's ratios. Colours run from blue (-scale) through
// white (0) to red (+scale); beyond the scale they stay at its ends, and
// not-a-number is grey. Each cell's title holds its ratio.
std::string colour_map_svg(const Analysis& analysis, const RatioTable& ratios, double scale);

}  // namespace qavrel::campaign
