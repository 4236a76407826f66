// The embedded store: an SQLite file in the output folder, which the
// output folder's lock keeps to one run at a time.
#pragma once

#include <memory>
#include <string>

#include "campaign/store/database.h"

namespace qavrel::campaign {

// Opens or creates the store at path, bringing an older layout up to date
// (the analyses of an older store become bench's), and waits up to wait_ms
// for a lock another program holds.
Status open_sqlite(const std::string& path, int wait_ms, const std::string& bench,
                   std::unique_ptr<Database>& database);

}  // namespace qavrel::campaign
