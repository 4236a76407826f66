// The report's front page, report.html: the campaign at a glance, small
// enough to open at once however large the campaign. It links to a page per
// chip, and to the lists of chips in index/.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "campaign/find/data_files.h"
#include "campaign/model/chip_summary.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

struct ReportContext {
  std::string latest_analysis;  // when the newest of the results was made
  GradeLimits limits;
  std::vector<SkippedFile> skipped;
  std::vector<std::string> search_failures;
};

// What the front page shows beyond the results and chips.
struct FrontPageFacts {
  std::vector<std::size_t> worst_first;  // indices into chips
  std::array<ChannelMean, qavrel::nchan> channel_means{};
  bool ratios_csv = false;  // whether ratios.csv is there to link to
};

std::string front_page(const std::vector<FileResult>& results,
                       const std::vector<ChipSummary>& chips, const ReportContext& context,
                       const FrontPageFacts& facts);

// index/problems.html: every failure and every skipped name.
std::string problems_page(const std::vector<FileResult>& results, const ReportContext& context);

}  // namespace qavrel::campaign
