// The first step of a campaign run: from the files found and the analyses
// stored, what each file's outputs will show, and which files must be read
// (again). A pure function: it looks at nothing but its arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "campaign/data_files.h"
#include "campaign/file_result.h"
#include "campaign/results_store.h"

struct PlanSettings {
  bool force = false;        // read every file again
  bool write_logs = true;    // each log's owner writes it
  std::string tool_version;  // of this run; another one's analyses don't stand
};

struct Plan {
  // One per file found, in path order: who owns each log, which file each
  // measurement was superseded by, the map names, and the stored analysis
  // wherever it still stands.
  std::vector<FileResult> results;
  std::vector<std::size_t> to_analyse;  // indices into results
  std::uint64_t bytes_to_read = 0;
  std::size_t reused = 0;  // results whose stored analysis stands
};

// found is in path order, each path once; stored holds the latest analysis
// of every path the store knows, found or not, in path order, and writers
// who last wrote each log.
Plan plan_campaign(std::vector<FoundFile> found, std::vector<Analysis> stored,
                   const LogWriters& writers, const PlanSettings& settings);
