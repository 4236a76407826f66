// What the outputs are made from, and all of it: the campaign's files with
// their analyses, the grading, and what the search said. Every page and
// table is a function of these and of the store's contents by analysis.
#pragma once

#include <string>
#include <vector>

#include "campaign/find/data_files.h"
#include "campaign/model/campaign_file.h"
#include "campaign/model/grading.h"

namespace qavrel::campaign {

struct SearchReport {
  std::vector<SkippedFile> skipped;          // in path order
  std::vector<std::string> search_failures;  // sorted
};

struct ReportInputs {
  const std::vector<CampaignFile>& files;
  const Grading& grading;
  const SearchReport& search;
  bool ratios_csv = false;  // ratios.csv is one of the outputs
  // The folders given (canonical): pages show paths under them, and each
  // is a bench, by its last path component.
  std::vector<std::string> folders = {};
  bool shared_store = false;  // the analyses are in a PostgreSQL store, not campaign.sqlite

  Grade grade(std::size_t file) const { return grading.of_file[file]; }
  const GradeLimits& limits() const { return grading.limits; }
};

}  // namespace qavrel::campaign
