// summary.json: a run's outcome for programs (a dashboard, a cron job's
// mail): the tool's version, the grade limits, chips and files counted by
// grade, the yield, every chip that is not A with the file that decided its
// grade, and every failure. Names are UTF-8, each byte that is not shown as
// U+FFFD, as in the tables.
#pragma once

#include <string>
#include <string_view>

#include "campaign/report/report_inputs.h"

namespace qavrel::campaign {

std::string summary_json(const ReportInputs& inputs);

// A JSON string: quoted, with quotes, backslashes and control characters
// escaped, and each byte that is not UTF-8 as U+FFFD.
std::string json_string(std::string_view text);

}  // namespace qavrel::campaign
