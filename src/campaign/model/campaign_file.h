// One data file of the campaign from the plan to the outputs: the analysis
// that stands for it, and how it stands beside the others.
#pragma once

#include <cstddef>
#include <string>

#include "campaign/model/analysis.h"

namespace qavrel::campaign {

struct CampaignFile {
  static constexpr std::size_t current = static_cast<std::size_t>(-1);

  Analysis analysis;         // the latest stored, where it stands, or the one this run made
  MeasurementTime measured;  // as this run's search found it
  // The later measurement of the same chip and configuration (an index
  // into the campaign's files) that supersedes this one, or current.
  std::size_t superseded_by = current;
  // Other data files whose log has the same path; only the last by name
  // owns it, and only that one's table is written into it.
  std::string shares_log_with;
  bool owns_log = true;
  bool writes_log = true;  // owns it, and the run writes logs

  // Whether the log holds this file's table, as this campaign wrote it.
  bool log_written() const { return writes_log && analysis.log_written; }
  // Why the file is flagged in the report: the failure, or the damage
  // that ended its reading early; empty for neither.
  std::string flag() const;
};

}  // namespace qavrel::campaign
