// The campaign's tables for spreadsheets and dataframes: one row per data
// file (summary.csv), one per chip (chips.csv) and one per ratio
// (ratios.csv, long format).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "campaign/model/chip_summary.h"
#include "campaign/model/file_result.h"

namespace qavrel::campaign {

// The tables are handed to emit a row at a time, so that a campaign's table
// is never whole in memory.
using EmitText = std::function<void(const std::string&)>;

void summary_csv(const std::vector<FileResult>& results, const EmitText& emit);
void chips_csv(const std::vector<ChipSummary>& chips, const std::vector<FileResult>& results,
               const EmitText& emit);
// ratios.csv is written a file at a time: its header, then the rows of
// each analysis that computed ratios.
std::string ratios_csv_header();
std::string ratios_csv_rows(const Analysis& analysis, const RatioTable& ratios);

// A number as the shortest text that reads back as the same double;
// not-a-number as "nan".
std::string full_precision(double value);

}  // namespace qavrel::campaign
