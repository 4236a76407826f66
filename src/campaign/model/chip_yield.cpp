#include "campaign/model/chip_yield.h"

namespace qavrel::campaign {

bool passes(Grade grade) { return grade == Grade::a || grade == Grade::b || grade == Grade::c; }

ChipYield chip_yield(const Grading& grading) {
  ChipYield yield;
  yield.chips = grading.chips.size();
  for (const ChipSummary& chip : grading.chips)
    if (passes(chip.grade)) ++yield.passed;
  return yield;
}

ChipYield chip_yield(const Grading& grading, const std::vector<std::size_t>& chips) {
  ChipYield yield;
  yield.chips = chips.size();
  for (const std::size_t chip : chips)
    if (passes(grading.chips[chip].grade)) ++yield.passed;
  return yield;
}

std::string yield_percent(const ChipYield& yield) {
  if (yield.chips == 0) return "-";
  // Rounded down, so that 100% means every chip passed.
  const std::size_t tenths = yield.passed * 1000 / yield.chips;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

}  // namespace qavrel::campaign
