// The campaign's report: one self-contained HTML page, with no script and
// nothing fetched, that shows the campaign at a glance, its chips worst
// first, and a colour map of every data file.
#pragma once

#include <functional>
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

// Hands the page to emit piece by piece; map_of(i) gives the colour map
// (SVG) of results[i] when its section comes, so that only one map is held
// at a time.
void html_report(const std::vector<FileResult>& results, const ReportContext& context,
                 const std::function<std::string(std::size_t)>& map_of,
                 const std::function<void(const std::string&)>& emit);
