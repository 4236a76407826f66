// What the campaign's outputs show of one data file: its latest analysis,
// its grade, and how it stands beside the others.
#pragma once

#include <string>

#include "campaign/model/analysis.h"
#include "campaign/model/grades.h"

namespace qavrel::campaign {

struct FileResult {
  static constexpr std::size_t current = static_cast<std::size_t>(-1);

  Analysis analysis;
  Grade grade = Grade::not_analysed;
  // The later measurement of the same chip and configuration (an index
  // into the results) that supersedes this one, or current.
  std::size_t superseded_by = current;
  // Other data files whose log has the same path; only the last by name
  // writes it (owns_log).
  std::string shares_log_with;
  bool owns_log = true;
  bool plot_written = false;  // by the analysis in this run

  // Why the file is flagged in the report: the failure, or the damage
  // that ended its reading early; empty for neither.
  std::string flag() const;
};

}  // namespace qavrel::campaign
