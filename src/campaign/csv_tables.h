// The campaign's tables for spreadsheets and dataframes: one row per data
// file (summary.csv) and one per ratio (ratios.csv, long format).
#pragma once

#include <string>
#include <vector>

#include "campaign/file_result.h"

std::string summary_csv(const std::vector<FileResult>& results);
std::string ratios_csv(const std::vector<FileResult>& results);

// A number with every digit a double holds; not-a-number as "nan".
std::string full_precision(double value);
