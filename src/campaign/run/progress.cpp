#include "campaign/run/progress.h"

#include <unistd.h>

#include <cstdio>

namespace qavrel::campaign {

namespace {

constexpr auto redraw_interval = std::chrono::milliseconds(100);
constexpr double bytes_per_megabyte = 1e6;

}  // namespace

std::string progress_line(std::size_t done_files, std::size_t total_files, std::uint64_t done_bytes,
                          std::uint64_t total_bytes, double seconds, std::size_t failures) {
  const double rate = seconds > 0 ? static_cast<double>(done_bytes) / seconds : 0.0;
  char left[32] = "--:--";
  if (rate > 0 && done_bytes > 0 && done_bytes <= total_bytes) {
    const auto remaining = static_cast<long>(static_cast<double>(total_bytes - done_bytes) / rate);
    std::snprintf(left, sizeof left, "%ld:%02ld", remaining / 60, remaining % 60);
  }
  char line[160];
  std::snprintf(line, sizeof line, "%zu/%zu files, %.1f MB/s, %s left, %zu failed", done_files,
                total_files, rate / bytes_per_megabyte, left, failures);
  return line;
}

Progress::Progress(std::size_t total_files, std::uint64_t total_bytes, bool wanted)
    : shown_(wanted && isatty(STDERR_FILENO) != 0),
      total_files_(total_files),
      total_bytes_(total_bytes),
      start_(Clock::now()),
      last_drawn_(start_ - redraw_interval) {}

void Progress::update(std::size_t done_files, std::uint64_t done_bytes, std::size_t failures) {
  const Clock::time_point now = Clock::now();
  if (!shown_ || now - last_drawn_ < redraw_interval) return;
  last_drawn_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  // \r returns to the line's start and \033[K clears what the last one left.
  std::fprintf(
      stderr, "\r\033[K%s",
      progress_line(done_files, total_files_, done_bytes, total_bytes_, seconds, failures).c_str());
  std::fflush(stderr);
}

void Progress::finish() {
  if (!shown_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}

}  // namespace qavrel::campaign
