// The campaign's progress: one line on standard error that updates itself,
// with the files done of the total, MB/s, the time left and the failures.
// It shows only where standard error is a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qavrel::campaign {

// The line itself: files done of the total, MB/s, the time left, failures.
// The time left comes from the bytes left at the rate so far, and is
// unknown ("--:--") before any byte or once the files grew past the total.
std::string progress_line(std::size_t done_files, std::size_t total_files, std::uint64_t done_bytes,
                          std::uint64_t total_bytes, double seconds, std::size_t failures);

class Progress {
 public:
  Progress(std::size_t total_files, std::uint64_t total_bytes, bool wanted);

  // Redraws the line, at most a few times a second.
  void update(std::size_t done_files, std::uint64_t done_bytes, std::size_t failures);
  // Clears the line, so that what follows starts on a clean one.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;

  bool shown_;
  std::size_t total_files_;
  std::uint64_t total_bytes_;
  Clock::time_point start_;
  Clock::time_point last_drawn_;
};

}  // namespace qavrel::campaign
