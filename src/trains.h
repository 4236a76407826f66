// The pulse-train analysis of one sample file, as a value: the sums and
// counts of one pass over the file, and what is known of how it ended.
// analyse_tree (qavrel.exe) and the campaign both run it.
#pragma once

#include <cstdint>
#include <string>

#include "xtalk.h"

// Rows in a pulse train; the row after them closes it.
constexpr std::int64_t train_length = 218;

struct TrainSums {
  enum class Status { read, cannot_open, read_failed };
  Status status = Status::read;
  std::string error;  // why reading failed

  double pedestals[nchan] = {};      // sums of the pedestal rows
  double peaks[npeaks][nchan] = {};  // sums of the peak rows
  std::int64_t train_rows = 0;       // rows counted inside trains
  std::int64_t rows_read = 0;        // complete rows read, in trains or not
  bool marker_found = false;
  bool ended_on_token = false;     // false: the input ended at its end
  std::uint64_t token_offset = 0;  // where that token starts, in the text

  std::int64_t complete_trains() const { return train_rows / train_length; }
  // Rows of a last train that the input cut short, 0 when none was.
  std::int64_t cut_train_rows() const { return train_rows % train_length; }
};

// Reads the sample file at path once (a helper thread may read ahead when
// read_ahead is true) and returns its sums and counts.
TrainSums read_trains(const char* path, bool read_ahead = true);

// The line that reports a file that couldn't be opened or read, as
// qavrel.exe prints it; empty when it was read.
std::string read_failure(const char* path, const TrainSums& sums);

// Divides each sum by the number of rows added to it, and subtracts each
// channel's pedestal from its peaks; a zero count gives not-a-number.
void average_trains(double (&pedestals)[nchan], double (&peaks)[npeaks][nchan],
                    std::int64_t train_rows);

// Whether the pedestal window was read in full at least once, without
// which every average is not-a-number.
bool has_pedestals(std::int64_t train_rows);
