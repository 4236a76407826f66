// Finds the pulse trains in a sample file, sums their peak and pedestal rows,
// and turns the sums into pedestal-subtracted averages.
#include "core/trains.h"

#include <algorithm>

#include "core/sample_reader.h"

namespace qavrel {
namespace {

// Train geometry, by row position within a train.
constexpr std::int64_t peak_spacing = 14;
constexpr std::int64_t pedestal_start = 198;
constexpr std::int64_t pedestal_length = 17;

constexpr std::int32_t low_value_max = 34;
constexpr int low_row_min_count = 11;   // low values that make a low row
constexpr int zero_row_min_count = 16;  // zeros that confirm the start marker

int count_low_values(const std::int32_t* row) {
  int count = 0;
  for (int channel = 0; channel < nchan; ++channel) count += row[channel] <= low_value_max;
  return count;
}

int count_zero_values(const std::int32_t* row) {
  int count = 0;
  for (int channel = 0; channel < nchan; ++channel) count += row[channel] == 0;
  return count;
}

void add_row(double* sums, const std::int32_t* row) {
  for (int channel = 0; channel < nchan; ++channel) sums[channel] += row[channel];
}

// Adds the peak and pedestal rows of every train to sums and counts the
// rows read inside trains.
void accumulate_trains(SampleReader& reader, TrainSums& sums) {
  bool in_train = false;
  // Inside a train: the row's index in it. Outside: zero until a row that
  // isn't low has been seen since the marker or the last closing row.
  std::int64_t position = 0;
  while (const std::int32_t* row = reader.next_row()) {
    ++sums.rows_read;
    if (!in_train && count_low_values(row) >= low_row_min_count) {
      if (!sums.marker_found) {
        // The marker is a low row followed directly by a row of zeros; the
        // row after a low row is consumed either way.
        row = reader.next_row();
        if (row == nullptr) break;
        ++sums.rows_read;
        if (count_zero_values(row) >= zero_row_min_count) {
          sums.marker_found = true;
          position = 0;
        }
      }
      if (position == 0) {
        position = -1;
      } else if (sums.marker_found) {
        in_train = true;
        position = 0;
      }
    }
    if (in_train) {
      if (position == train_length) {
        in_train = false;
        position = -1;
      } else {
        ++sums.train_rows;
        if (position >= pedestal_start && position < pedestal_start + pedestal_length)
          add_row(sums.pedestals, row);
        else if (position % peak_spacing == 0)
          add_row(sums.peaks[position / peak_spacing], row);
      }
    }
    ++position;
  }
}

std::int64_t pedestal_rows(std::int64_t train_rows) {
  const std::int64_t rest_rows = train_rows % train_length;
  std::int64_t rows = pedestal_length * (train_rows / train_length);
  if (rest_rows >= pedestal_start) rows += std::min(rest_rows - pedestal_start, pedestal_length);
  return rows;
}

}  // namespace

TrainSums read_trains(const char* path, bool read_ahead) {
  TrainSums sums;
  SampleReader reader(SampleReader::default_buffer_size, read_ahead);
  sums.opened = reader.open(path);
  if (!sums.opened.ok()) return sums;
  accumulate_trains(reader, sums);
  sums.read = reader.read_error();
  sums.ended_on_token = reader.ended_on_token();
  sums.ended_mid_line = !sums.ended_on_token && reader.ended_mid_line();
  sums.token_offset = reader.token_offset();
  return sums;
}

bool has_pedestals(std::int64_t train_rows) { return pedestal_rows(train_rows) >= pedestal_length; }

// A zero count gives not-a-number, which the table shows as such.
void average_trains(double (&pedestals)[nchan], double (&peaks)[npeaks][nchan],
                    std::int64_t train_rows) {
  const std::int64_t complete_trains = train_rows / train_length;
  const std::int64_t rest_rows = train_rows % train_length;
  const auto pedestal_divisor = static_cast<double>(pedestal_rows(train_rows));
  for (double& pedestal : pedestals) pedestal = pedestal / pedestal_divisor;
  for (std::int64_t peak = 0; peak < npeaks; ++peak) {
    const std::int64_t peak_rows = complete_trains + (peak_spacing * peak < rest_rows ? 1 : 0);
    for (int channel = 0; channel < nchan; ++channel)
      peaks[peak][channel] =
          peaks[peak][channel] / static_cast<double>(peak_rows) - pedestals[channel];
  }
}

}  // namespace qavrel
