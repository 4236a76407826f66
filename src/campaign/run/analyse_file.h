// The analysis of one data file, the same as qavrel.exe's, with the same
// log beside it.
#pragma once

#include <functional>
#include <string>

#include "campaign/find/data_file.h"
#include "campaign/model/analysis.h"

namespace qavrel::campaign {

// Why the campaign won't write a log through a link that lands on target,
// or an empty string when it will.
using LinkRefused = std::function<std::string(const std::string& target)>;

// Analyses the data file as qavrel.exe does with the file's chip and
// configuration as arguments, and writes the same log there when write_log,
// unless the log already holds that very table. Unlike qavrel.exe it
// refuses a log that is not a regular file (a FIFO would hold the whole
// campaign up, a device take the table), and a log that is a link to a file
// that link_refused gives a reason for (data, the store).
Analysis analyse_data_file(const DataFile& file, bool write_log, RatioTable& ratios,
                           const LinkRefused& link_refused);

}  // namespace qavrel::campaign
