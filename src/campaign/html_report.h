// The campaign's report: one self-contained HTML page, with no script and
// nothing fetched, that shows the campaign at a glance, its chips worst
// first, and a colour map of every data file.
#pragma once

#include <string>
#include <vector>

#include "campaign/data_files.h"
#include "campaign/file_result.h"

struct ReportContext {
  std::string latest_analysis;  // when the newest of the results was made
  GradeLimits limits;
  std::vector<SkippedFile> skipped;
  std::vector<std::string> search_failures;
};

// maps[i] is the colour map (SVG) of results[i].
std::string html_report(const std::vector<FileResult>& results,
                        const std::vector<std::string>& maps, const ReportContext& context);
