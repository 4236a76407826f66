#include "campaign/model/chip_summary.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "campaign/report/html_page.h"
#include "campaign/report/output_names.h"

namespace qavrel::campaign {

std::vector<ChipSummary> summarise_chips(const std::vector<FileResult>& results) {
  std::map<std::string, ChipSummary> by_chip;
  for (std::size_t i = 0; i < results.size(); ++i) {
    const FileResult& result = results[i];
    const Analysis& analysis = result.analysis;
    ChipSummary& chip = by_chip[analysis.chip];
    chip.latest = i;
    if (result.superseded_by != FileResult::current) {
      chip.superseded.push_back(i);
      continue;
    }
    const bool graded = from_ratios(result.grade);
    const double worst = graded ? severity(analysis.worst.abs_mean) : -1.0;
    const bool decides =
        chip.current.empty() || result.grade > chip.grade ||
        (result.grade == chip.grade && worst > (chip.has_worst ? severity(chip.worst) : -1.0));
    chip.current.push_back(i);
    if (!decides) continue;
    chip.grade = result.grade;
    chip.worst_config = analysis.config;
    chip.has_worst = graded;
    chip.worst = graded ? analysis.worst.abs_mean : 0.0;
    chip.worst_channel = graded ? analysis.worst_channel_number() : 0;
  }
  std::vector<ChipSummary> chips;
  chips.reserve(by_chip.size());
  for (auto& [name, chip] : by_chip) {
    chip.chip = name;
    chip.page = chip_page_name(name);
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

}  // namespace qavrel::campaign
