// Writes the campaign's outputs into its folder: summary.csv, ratios.csv,
// report.html and plots/<chip>_<config>.svg. Each goes through the atomic
// writing unit; the large ones are written a data file at a time, with the
// ratios of one in memory at once, and a plot whose content is unchanged is
// left alone. ratios.csv follows the report's order: chips worst first.
#pragma once

#include <string>
#include <vector>

#include "campaign/html_report.h"
#include "campaign/results_store.h"

// Gives each result its plot name: <chip>_<config>.svg, and ~2, ~3, ... for
// files that share a chip and configuration (and their log) in name order,
// except the one whose table the log holds.
void name_plots(std::vector<FileResult>& results);

// Writes the colour map of one analysis as its plot, unless the plot
// already holds it. Returns what failed, or an empty string.
std::string write_plot(const std::string& path, const Analysis& analysis, const RatioTable& ratios,
                       double scale);

// Writes every output, the ratios read from store; plots whose file was
// analysed in this run (plot_written) are there already. Returns what failed.
std::vector<std::string> write_outputs(const std::string& directory,
                                       const std::vector<FileResult>& results,
                                       const ReportContext& context, ResultsStore& store);
