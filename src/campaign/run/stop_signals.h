// Ctrl-C and SIGTERM stop a campaign run in good order: nothing new starts,
// the files in flight finish and are stored, and the process then ends as
// the signal ends it. A second one ends it at once.
#pragma once

#include <atomic>

namespace qavrel::campaign {

// Catches the stop signals from now on. The first one sets the flag this
// returns, which the run also sets when it must stop for another reason.
std::atomic<bool>& catch_stop_signals();

// A descriptor that becomes readable once a stop signal came, so that a
// watch waiting for files wakes for it too; -1 before catch_stop_signals.
int stop_signal_fd();

// Whether a stop signal came.
bool stopped_by_signal();

// Ends the process as the stop signal that came would have ended it.
[[noreturn]] void end_by_stop_signal();

}  // namespace qavrel::campaign
