// Writes the table of cross-talk ratios of the program-wide peaks to the
// log file, through a temporary file renamed over it.
#include <cstdio>

#include "core/atomic_write.h"
#include "core/cross_talk.h"
#include "core/messages.h"
#include "qavrel/qavrel.h"

bool print_cross_talk(const char* log_path, bool even_selected) {
  const qavrel::Parity pulsed = even_selected ? qavrel::Parity::even : qavrel::Parity::odd;
  const qavrel::Status written =
      qavrel::write_atomically(log_path, qavrel::cross_talk_table(peaks, pulsed));
  if (written.ok()) return true;
  std::fprintf(stderr, "%s\n", qavrel::log_write_failure(log_path, written).c_str());
  std::fflush(stderr);
  return false;
}
