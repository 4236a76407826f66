// The last step of a campaign run: the outputs in the campaign's folder.
//   report.html       the front page
//   chips/<chip>.html  a page per chip, written only when its analyses change
//   index/            the lists of chips, 1,000 a page, and the problems
//   plots/            a colour map per analysed file, as SVG
//   summary.csv, chips.csv, and ratios.csv when asked for
// Each is written through the atomic writing unit and only where what it
// is made from changed; a rerun that changed nothing writes nothing.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "campaign/report/front_page.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

struct PublishSettings {
  bool ratios_csv = false;  // the whole campaign's ratios, a row each
};

// Writes the colour map of one analysis as its plot, unless the plot
// already holds it. Returns what failed, or an empty string.
std::string write_plot(const std::string& path, const Analysis& analysis, const RatioTable& ratios,
                       double scale);

// Grades the results and writes the outputs into directory where they are
// not made from the same already. The ratios come from store; plots of
// files analysed in this run (plot_written) are there already. Once stop is
// set nothing more is put in place: what was not yet replaced stays as it
// was. Returns what failed.
std::vector<std::string> publish(const std::string& directory, std::vector<FileResult>& results,
                                 ReportContext& context, ResultsStore& store,
                                 const PublishSettings& settings, const std::atomic<bool>& stop);

}  // namespace qavrel::campaign
