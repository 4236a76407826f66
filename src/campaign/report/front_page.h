// The report's front page, report.html: the campaign at a glance, small
// enough to open at once however large the campaign. It links to a page per
// chip, and to the lists of chips in index/.
#pragma once

#include <array>
#include <string>

#include "campaign/report/report_inputs.h"
#include "campaign/store/results_store.h"

namespace qavrel::campaign {

// The front page, with each channel's mean |ratio| over the current
// measurements that were graded from their ratios.
std::string front_page(const ReportInputs& inputs,
                       const std::array<ChannelMean, qavrel::nchan>& channel_means);

// index/problems.html: every failure and every skipped name.
std::string problems_page(const ReportInputs& inputs);

}  // namespace qavrel::campaign
