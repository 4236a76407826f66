// The line a campaign run ends with on standard output.
#pragma once

#include <string>
#include <vector>

#include "campaign/model/campaign_file.h"
#include "campaign/model/grading.h"

namespace qavrel::campaign {

// "N data files (R unchanged), C chips; chips graded 3 A, 1 fail; files
// graded 5 A, 1 no data, 1 fail; F failed.", each count of grades best
// first, and "; W still being written" before the stop where the run left
// W files.
std::string summary_line(const std::vector<CampaignFile>& files, const Grading& grading,
                         std::size_t reused, std::size_t failures, std::size_t still_written = 0);

}  // namespace qavrel::campaign
