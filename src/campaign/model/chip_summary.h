// Each chip as the campaign grades it: by its current measurements, one per
// configuration (the latest data file by path); the superseded ones are its
// history.
#pragma once

#include <string>
#include <vector>

#include "campaign/model/file_result.h"

namespace qavrel::campaign {

struct ChipSummary {
  std::string chip;
  Grade grade = Grade::a;  // the worst of its current measurements
  // The configuration of the current measurement that decided the grade
  // (among equal grades, the one with the largest |mean ratio|), and, where
  // it was graded from its ratios, that mean and its channel.
  std::string worst_config;
  bool has_worst = false;  // a mean and channel are known
  double worst = 0.0;
  int worst_channel = 0;
  std::vector<std::size_t> current;     // indices into the results, in path order
  std::vector<std::size_t> superseded;  // likewise
  std::size_t latest = 0;               // its latest data file, by path
  std::string page;                     // its page's file in chips/
};

// One summary per chip, in chip order, from graded results.
std::vector<ChipSummary> summarise_chips(const std::vector<FileResult>& results);

// Indices into chips, worst first: by grade, then by |mean ratio|.
std::vector<std::size_t> worst_first(const std::vector<ChipSummary>& chips);

}  // namespace qavrel::campaign
