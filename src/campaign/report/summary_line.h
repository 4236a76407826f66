// The line a campaign run ends with on standard output.
#pragma once

#include <string>
#include <vector>

#include "campaign/model/file_result.h"

namespace qavrel::campaign {

// "N data files (R unchanged), C chips; files graded ...; F failed."
std::string summary_line(const std::vector<FileResult>& results, std::size_t reused,
                         std::size_t failures);

}  // namespace qavrel::campaign
