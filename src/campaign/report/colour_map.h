// A file's cross-talk as a colour map: its 15 peaks by 16 observed
// channels, in SVG, with channel and peak labels and a colour scale.
#pragma once

#include <string>

#include "campaign/model/analysis.h"
#include "campaign/model/grades.h"

namespace qavrel::campaign {

// A map's colour scale, in |ratio|: linear up to the A limit and
// logarithmic beyond, up to the map's own largest finite |ratio|, so that
// an A chip shows its pattern and a failing one shows which cells fail
// most. A map within A is linear up to its largest.
struct MapScale {
  double linear_end = 0.0;  // the A limit
  double end = 0.0;         // the map's largest finite |ratio|; the A limit when it has none
};

MapScale map_scale(const RatioTable& ratios, const GradeLimits& limits);

// Where a ratio falls on the scale: from -1 (the blue end) through 0 to 1
// (the red end), and at the ends beyond them.
double scale_position(double ratio, const MapScale& scale);

// The map of the result's ratios, on its own scale, with the grade limits
// marked on the legend and its largest |ratio| outlined. Not-a-number is
// grey. Each cell's title holds its ratio.
std::string colour_map_svg(const Analysis& analysis, const RatioTable& ratios,
                           const GradeLimits& limits);

}  // namespace qavrel::campaign
