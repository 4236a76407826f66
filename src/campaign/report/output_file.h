// Writing one output of the campaign's folder: whole or not at all,
// through the atomic writing unit, and not once the run is asked to stop.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "core/atomic_write.h"
#include "core/status.h"

namespace qavrel::campaign {

// An output being replaced, its text appended a piece at a time. Outputs
// are renamed into place but not synced: the store they are made from is,
// and a run after a power cut makes them again.
class OutputFile {
 public:
  OutputFile(std::string path, const std::atomic<bool>& stop);
  void write(std::string_view text);
  // Puts the new file in place, unless stop was set: then the old one
  // stays, and placed() says so. Fails with what failed.
  Status finish();
  bool placed() const { return placed_; }

 private:
  std::string path_;
  const std::atomic<bool>& stop_;
  qavrel::AtomicFile file_;
  Status status_;
  bool placed_ = false;
};

// Writes text to path as one output, unless the file holds it already.
// placed tells whether the file now holds it.
Status write_output(const std::string& path, const std::string& text, const std::atomic<bool>& stop,
                    bool& placed);

// Removes an output that should no longer be there; one already gone is
// no failure.
Status remove_output(const std::string& path);

}  // namespace qavrel::campaign
