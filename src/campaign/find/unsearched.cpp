#include "campaign/find/unsearched.h"

#include "campaign/common/hashing.h"

namespace qavrel::campaign {

bool take_unsearched(ResultsStore& store, FoundFiles& found, std::string& error) {
  if (found.unsearched.empty()) return true;
  LogWriters writers;
  const bool read = store.load_latest(
      [&found](const Analysis& stored) {
        if (!lies_unsearched(stored.path, found)) return;
        found.states[hash_of(stored.path)] = {stored.size, stored.mtime_ns};
        if (stored.log_written) found.stored_logs[hash_of(stored.log_path())] = stored.log;
        found.files.push_back({stored.path, stored.chip, stored.config});
      },
      writers, error);
  sort_and_merge(found);
  return read;
}

}  // namespace qavrel::campaign
