// The analysis of one data file, the same as qavrel.exe's, with the same
// log beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "campaign/find/data_file.h"
#include "campaign/model/analysis.h"

namespace qavrel::campaign {

// Why the campaign won't write a log through a link that lands on target,
// or an empty string when it will.
using LinkRefused = std::function<std::string(const std::string& target)>;

struct AnalyseSettings {
  bool write_log = true;
  // How long a file that looks unfinished must have been left unchanged
  // before it is graded; 0 grades every file as it is read.
  std::int64_t settle_ns = 0;
  LinkRefused link_refused;
};

struct FileAnalysis {
  Analysis analysis;
  // The file looked unfinished (its text ends in the middle of a line, its
  // last train or its compressed stream is cut short) and changed less than
  // the settle time before it was read, or while it was read: nothing was
  // written, and it is left for a later run.
  bool still_written = false;
};

// Whether the data file, as the search found it, changed within the settle
// time and looks unfinished when read now, as analyse_data_file would
// leave it; a file that changed longer ago is not read.
bool still_being_written(const DataFile& file, std::int64_t settle_ns);

// Analyses the data file as qavrel.exe does with the file's chip and
// configuration as arguments, and writes the same log there when
// settings.write_log, unless the log already holds that very table. Unlike
// qavrel.exe it refuses a log that is not a regular file (a FIFO would hold
// the whole campaign up, a device take the table), and a log that is a link
// to a file that settings.link_refused gives a reason for (data, the store).
FileAnalysis analyse_data_file(const DataFile& file, const AnalyseSettings& settings,
                               RatioTable& ratios);

}  // namespace qavrel::campaign
