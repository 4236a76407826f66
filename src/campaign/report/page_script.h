// index/report.js, the pages' own script: the search box in every page's
// header, the filters of the lists of chips, and tables sorted by a click
// on a column's header. Pages read and link the same without it.
#pragma once

#include <string>

namespace qavrel::campaign {

// The script's text; the same for every campaign.
const std::string& page_script();

}  // namespace qavrel::campaign
