// index/chips.js: every chip of the campaign as data for the pages'
// search box and list filters. A script rather than JSON, as a page opened
// from file:// may load a script but may not fetch a file.
#pragma once

#include <string>
#include <string_view>

#include "campaign/report/report_inputs.h"

namespace qavrel::campaign {

// The text as a JavaScript string literal, quotes included, that is safe
// in a script file and in HTML alike: quotes, backslashes, control
// characters, <, >, &, U+2028 and U+2029 escaped, and each byte that is
// not valid UTF-8 read as U+FFFD.
std::string javascript_string(std::string_view text);

// The script that sets qavrelChips to a row per chip, by name: [chip, its
// page in chips/, grade, largest |mean ratio| as shown, worst
// configuration, worst channel (null without one), day of its latest
// measurement (YYYY-MM-DD)].
std::string chips_script(const ReportInputs& inputs);

}  // namespace qavrel::campaign
