// The campaign's tables for spreadsheets and dataframes: one row per data
// file (summary.csv), one per chip (chips.csv) and one per ratio
// (ratios.csv, long format). Every field is UTF-8, so that Python's csv
// module and pandas read them as they are: a byte of a name that is not
// shows as U+FFFD, as on the pages, and summary.csv's last column,
// path_bytes, holds such a path's exact bytes, percent-escaped.
#pragma once

#include <functional>
#include <string>

#include "campaign/report/report_inputs.h"

namespace qavrel::campaign {

// The tables are handed to emit a row at a time, so that a campaign's table
// is never whole in memory.
using EmitText = std::function<void(const std::string&)>;

void summary_csv(const ReportInputs& inputs, const EmitText& emit);
void chips_csv(const ReportInputs& inputs, const EmitText& emit);
// ratios.csv is written a file at a time: its header, then the rows of
// each analysis that computed ratios.
std::string ratios_csv_header();
std::string ratios_csv_rows(const Analysis& analysis, const RatioTable& ratios);

}  // namespace qavrel::campaign
