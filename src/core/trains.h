// The pulse-train analysis of one sample file, as a value: the sums and
// counts of one pass over the file, and what is known of how it ended.
#pragma once

#include <cstdint>

#include "core/geometry.h"
#include "core/status.h"

namespace qavrel {

struct TrainSums {
  Status opened;  // why the file could not be opened
  Status read;    // why reading failed part way: a read error, a corrupt or cut stream

  double pedestals[nchan] = {};      // sums of the pedestal rows
  double peaks[npeaks][nchan] = {};  // sums of the peak rows
  std::int64_t train_rows = 0;       // rows counted inside trains
  std::int64_t rows_read = 0;        // complete rows read, in trains or not
  bool marker_found = false;
  bool ended_on_token = false;     // false: the input ended at its end
  bool ended_mid_line = false;     // at its end, the text's last line had no line feed
  std::uint64_t token_offset = 0;  // where that token starts, in the text

  bool ok() const { return opened.ok() && read.ok(); }
};

// Reads the sample file at path once (a helper thread may read ahead when
// read_ahead is true) and returns its sums and counts.
TrainSums read_trains(const char* path, bool read_ahead = true);

// Divides each sum by the number of rows added to it, and subtracts each
// channel's pedestal from its peaks; a zero count gives not-a-number.
void average_trains(double (&pedestals)[nchan], double (&peaks)[npeaks][nchan],
                    std::int64_t train_rows);

// Whether the pedestal window was read in full at least once, without
// which every average is not-a-number.
bool has_pedestals(std::int64_t train_rows);

}  // namespace qavrel
