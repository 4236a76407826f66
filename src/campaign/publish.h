// The last step of a campaign run: the outputs in the campaign's folder,
// summary.csv, ratios.csv, report.html and plots/, made from the results
// when what they are made from changed. Each goes through the atomic
// writing; the large ones are written a data file at a time, with the
// ratios of one in memory at once, and a plot whose content is unchanged
// is left alone. ratios.csv follows the report's order: chips worst first.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "campaign/html_report.h"
#include "campaign/results_store.h"

// Writes the colour map of one analysis as its plot, unless the plot
// already holds it. Returns what failed, or an empty string.
std::string write_plot(const std::string& path, const Analysis& analysis, const RatioTable& ratios,
                       double scale);

// Grades the results and writes the outputs into directory, unless those
// there were made from the same results and are all there. The ratios come
// from store; plots of files analysed in this run (plot_written) are there
// already. Once stop is set nothing more is put in place: what was not yet
// replaced stays as it was. Returns what failed.
std::vector<std::string> publish(const std::string& directory, std::vector<FileResult>& results,
                                 ReportContext& context, ResultsStore& store,
                                 const std::atomic<bool>& stop);
