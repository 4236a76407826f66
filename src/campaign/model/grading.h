// The grading step, between planning and publishing: each file's grade,
// and each chip's, from the files' analyses and the grade limits. A chip is
// graded by its current measurements, one per configuration; the
// superseded ones are its history.
#pragma once

#include <string>
#include <vector>

#include "campaign/model/campaign_file.h"
#include "campaign/model/grades.h"

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
  std::vector<std::size_t> current;     // indices into the files, in path order
  std::vector<std::size_t> superseded;  // likewise
  std::size_t latest = 0;  // its data file measured last (the last by path among equals)
  // The data file of the current measurement that decided the grade: the
  // one to look at first.
  std::size_t worst_file = 0;
};

struct Grading {
  GradeLimits limits;
  std::vector<Grade> of_file;            // by file
  std::vector<ChipSummary> chips;        // in chip order
  std::vector<std::size_t> worst_first;  // indices into chips: by grade, then by |mean ratio|
};

Grading grade_campaign(const std::vector<CampaignFile>& files, const GradeLimits& limits);

// How many chips are graded grade or worse.
std::size_t chips_at_least(const Grading& grading, Grade grade);

// For ranking, not-a-number counts as worse than any number.
double severity(double worst);

}  // namespace qavrel::campaign
