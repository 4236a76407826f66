// A chip's page: its current measurements, one colour map each, and below
// them its superseded ones as its history, the latest first (the 20 latest
// with their maps); damaged, failed or no-data files are flagged with the
// reason. The page is made from the chip's own files alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "campaign/report/report_inputs.h"

namespace qavrel::campaign {

// The page of chip; map_of(i) gives the colour map (SVG) of file i, or an
// empty string for a file with no ratios; profile_of(files) the channel
// profile of those files (its current measurements with ratios), drawn
// above the maps when there are any.
std::string chip_page(
    const ChipSummary& chip, const ReportInputs& inputs,
    const std::function<std::string(std::size_t)>& map_of,
    const std::function<std::string(const std::vector<std::size_t>&)>& profile_of);

}  // namespace qavrel::campaign
