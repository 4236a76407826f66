#include "campaign/run/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace qavrel::campaign {

namespace {

// What the signal handler leaves for the run: all a handler may touch.
std::atomic<bool> stop_requested{false};
std::atomic<int> stop_signal{0};
int stop_pipe[2] = {-1, -1};  // the handler writes a byte, a watch polls the other end

// The first signal asks the run to stop in good order; a second one, of
// either kind, ends it at once, as when a file in flight never ends (a
// FIFO that nobody writes).
extern "C" void request_stop(int signal) {
  if (stop_signal.exchange(signal) != 0) {
    // write() is all a handler may use to say so.
    static const char said[] =
        "qavrel-campaign: stopped at once; the files finished before are stored, "
        "and the next run carries on.\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, said, sizeof said - 1);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  stop_requested = true;
  if (stop_pipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_pipe[1], &byte, 1);
  }
}

}  // namespace

std::atomic<bool>& catch_stop_signals() {
  if (stop_pipe[0] < 0 && ::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    stop_pipe[0] = stop_pipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = request_stop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return stop_requested;
}

int stop_signal_fd() { return stop_pipe[0]; }

bool stopped_by_signal() { return stop_signal != 0; }

void end_by_stop_signal() {
  const int signal = stop_signal;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  // Should the signal be blocked after all, end with the status a shell
  // gives a process it ended.
  // cppcheck-suppress unreachableCode
  std::_Exit(128 + signal);
}

}  // namespace qavrel::campaign
