// The store's layouts: the tables every release that changed them wrote,
// and how each older layout becomes the next, so that a store made by any
// earlier release opens, its analyses kept.
//
//   1  the first release of qavrel-campaign: analyses, ratios
//   2  the worst channel of each analysis stored with it
//   3  channel_means, the latest_ratios view, and a table of chip pages
//   4  the log's size and time as each analysis left it
//   5  data_files (the files of the last search, with their grades), the
//      output_files a run made, and the current_measurements view; the
//      change time of each data file and log, and what kind of failure
//      kept an analysis from its table; the layout's number kept in the
//      store
//   6  when each file was measured, and the views that show it
//   7  grade_limits, the limits each run graded by
//   8  the bench of each analysis and data file, which a file is known by
//      with its path; the output folder of each output's record
#pragma once

#include <string>

#include "core/status.h"

struct sqlite3;

namespace qavrel::campaign {

constexpr int current_layout = 8;

// Creates the tables of an empty store, or brings an older layout up to
// the current one, in one transaction; the analyses of a store older than
// layout 8 become bench's. Refuses a layout newer than this program knows,
// naming both.
Status create_or_migrate(sqlite3* db, const std::string& bench);

// The words that refuse a store of a newer layout, made by written_by.
Status refuse_newer_layout(int layout, const std::string& written_by);

// The layout of the store: 0 for an empty one.
Status layout_of(sqlite3* db, int& layout);

}  // namespace qavrel::campaign
