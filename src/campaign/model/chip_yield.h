// The campaign's yield: the share of its chips that pass, that is whose
// grade is A, B or C. A chip with no data, not analysed or failing counts
// against it, so that a chip nobody could grade is never taken as good.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "campaign/model/grading.h"

namespace qavrel::campaign {

struct ChipYield {
  std::size_t passed = 0;
  std::size_t chips = 0;
};

// Whether a chip of this grade passes.
bool passes(Grade grade);

// The yield over every chip of the campaign.
ChipYield chip_yield(const Grading& grading);

// The yield over some of its chips, given as indices into grading.chips.
ChipYield chip_yield(const Grading& grading, const std::vector<std::size_t>& chips);

// "95.2%", rounded down to one decimal; "-" when there are no chips.
std::string yield_percent(const ChipYield& yield);

}  // namespace qavrel::campaign
