// Writes the campaign's outputs into its folder: summary.csv, ratios.csv,
// report.html and plots/<chip>_<config>.svg. Each goes through the atomic
// writing unit, and a file whose content is unchanged is left alone, so
// that a rerun with nothing new writes nothing.
#pragma once

#include <string>
#include <vector>

#include "campaign/html_report.h"

// Gives each result its plot name, then writes. Returns what failed.
std::vector<std::string> write_outputs(const std::string& directory,
                                       std::vector<FileResult>& results,
                                       const ReportContext& context);
