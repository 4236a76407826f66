// The line a campaign run ends with on standard output.
#pragma once

#include <string>
#include <vector>

#include "campaign/file_result.h"

// "N data files (R unchanged), C chips; files graded ...; F failed."
std::string summary_line(const std::vector<FileResult>& results, std::size_t reused,
                         std::size_t failures);
