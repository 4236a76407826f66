// A campaign's files listed in a CSV manifest, for names that no rule fits.
#pragma once

#include <string>

#include "campaign/find/data_files.h"

namespace qavrel::campaign {

// Reads a CSV manifest with the columns path,chip,config, and where it has
// one measured_at (a header line first, a spreadsheet's byte-order mark
// allowed), and adds its files to
// found; relative paths are taken from the manifest's folder. A path listed
// again is named in found.notes, and its first row wins. A row whose chip or
// configuration holds "/" or "..", which would put the log outside the data
// file's folder, is skipped with the reason. Fails, with the reason, when
// the manifest can't be read or lacks those columns. A measured_at that is
// not a time skips its row with the reason; an empty one is as none.
Status read_manifest(const std::string& manifest, const SearchRules& rules, Search& found);

}  // namespace qavrel::campaign
