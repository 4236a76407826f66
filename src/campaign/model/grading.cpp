#include "campaign/model/grading.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>

namespace qavrel::campaign {

namespace {

std::vector<ChipSummary> summarise_chips(const std::vector<CampaignFile>& files,
                                         const std::vector<Grade>& grades) {
  std::map<std::string, ChipSummary> by_chip;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Analysis& analysis = files[i].analysis;
    ChipSummary& chip = by_chip[analysis.chip];
    // Files come in path order: the last of those measured last.
    const bool first_seen = chip.current.empty() && chip.superseded.empty();
    if (first_seen || files[i].measured.instant_ns >= files[chip.latest].measured.instant_ns)
      chip.latest = i;
    if (files[i].superseded_by != CampaignFile::current) {
      chip.superseded.push_back(i);
      continue;
    }
    const Grade grade = grades[i];
    const bool graded = from_ratios(grade);
    const double worst = graded ? severity(analysis.worst.abs_mean) : -1.0;
    const bool decides =
        chip.current.empty() || grade > chip.grade ||
        (grade == chip.grade && worst > (chip.has_worst ? severity(chip.worst) : -1.0));
    chip.current.push_back(i);
    if (!decides) continue;
    chip.grade = grade;
    chip.worst_config = analysis.config;
    chip.worst_file = i;
    chip.has_worst = graded;
    chip.worst = graded ? analysis.worst.abs_mean : 0.0;
    chip.worst_channel = graded ? analysis.worst_channel_number() : 0;
  }
  std::vector<ChipSummary> chips;
  chips.reserve(by_chip.size());
  for (auto& [name, chip] : by_chip) {
    chip.chip = name;
    chips.push_back(std::move(chip));
  }
  return chips;
}

std::vector<std::size_t> worst_first(const std::vector<ChipSummary>& chips) {
  std::vector<std::size_t> order(chips.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&chips](std::size_t a, std::size_t b) {
    if (chips[a].grade != chips[b].grade) return chips[a].grade > chips[b].grade;
    const double worst_a = chips[a].has_worst ? severity(chips[a].worst) : -1.0;
    const double worst_b = chips[b].has_worst ? severity(chips[b].worst) : -1.0;
    return worst_a > worst_b;
  });
  return order;
}

}  // namespace

Grading grade_campaign(const std::vector<CampaignFile>& files, const GradeLimits& limits) {
  Grading grading;
  grading.limits = limits;
  grading.of_file.reserve(files.size());
  for (const CampaignFile& file : files) grading.of_file.push_back(grade_of(file.analysis, limits));
  grading.chips = summarise_chips(files, grading.of_file);
  grading.worst_first = worst_first(grading.chips);
  return grading;
}

std::size_t chips_at_least(const Grading& grading, Grade grade) {
  return static_cast<std::size_t>(
      std::count_if(grading.chips.begin(), grading.chips.end(),
                    [grade](const ChipSummary& chip) { return chip.grade >= grade; }));
}

double severity(double worst) {
  return std::isnan(worst) ? std::numeric_limits<double>::infinity() : worst;
}

}  // namespace qavrel::campaign
