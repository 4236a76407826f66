// What the campaign's outputs show of one data file: its latest analysis,
// its grade, and how it stands beside the others.
#pragma once

#include <string>

#include "campaign/analysis.h"
#include "campaign/grades.h"

struct FileResult {
  Analysis analysis;
  Grade grade = Grade::not_analysed;
  // Other data files whose log has the same path; only the last by name
  // writes it (owns_log).
  std::string shares_log_with;
  bool owns_log = true;
  std::string plot_name;      // its map's file in plots/
  bool plot_written = false;  // by the analysis in this run

  // Why the file is flagged in the report: the failure, or the damage
  // that ended its reading early; empty for neither.
  std::string flag() const;
};
