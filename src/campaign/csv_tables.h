// The campaign's tables for spreadsheets and dataframes: one row per data
// file (summary.csv), one per chip (chips.csv) and one per ratio
// (ratios.csv, long format).
#pragma once

#include <string>
#include <vector>

#include "campaign/chip_summary.h"
#include "campaign/file_result.h"

std::string summary_csv(const std::vector<FileResult>& results);
std::string chips_csv(const std::vector<ChipSummary>& chips,
                      const std::vector<FileResult>& results);
// ratios.csv is written a file at a time: its header, then the rows of
// each analysis that computed ratios.
std::string ratios_csv_header();
std::string ratios_csv_rows(const Analysis& analysis, const RatioTable& ratios);

// A number as the shortest text that reads back as the same double;
// not-a-number as "nan".
std::string full_precision(double value);
