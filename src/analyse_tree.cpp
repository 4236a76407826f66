// Finds the pulse trains in a sample file, sums their peak and pedestal rows,
// and turns the sums into pedestal-subtracted averages.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "sample_reader.h"
#include "xtalk.h"

double pedestals[nchan];
double peaks[npeaks][nchan];

namespace {

// Train geometry, by row position within a train.
constexpr std::int64_t peak_spacing = 14;
constexpr std::int64_t pedestal_start = 198;
constexpr std::int64_t pedestal_length = 17;
constexpr std::int64_t train_length = 218;  // the row at this position closes the train

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

// Adds the peak and pedestal rows of every train to the sums and returns the
// number of rows read inside trains.
std::int64_t accumulate_trains(SampleReader& reader) {
  bool marker_found = false;
  bool in_train = false;
  // Inside a train: the row's index in it. Outside: zero until a row that
  // isn't low has been seen since the marker or the last closing row.
  std::int64_t position = 0;
  std::int64_t train_rows = 0;
  while (const std::int32_t* row = reader.next_row()) {
    if (!in_train && count_low_values(row) >= low_row_min_count) {
      if (!marker_found) {
        // The marker is a low row followed directly by a row of zeros; the
        // row after a low row is consumed either way.
        row = reader.next_row();
        if (row == nullptr) break;
        if (count_zero_values(row) >= zero_row_min_count) {
          marker_found = true;
          position = 0;
        }
      }
      if (position == 0) {
        position = -1;
      } else if (marker_found) {
        in_train = true;
        position = 0;
      }
    }
    if (in_train) {
      if (position == train_length) {
        in_train = false;
        position = -1;
      } else {
        ++train_rows;
        if (position >= pedestal_start && position < pedestal_start + pedestal_length)
          add_row(pedestals, row);
        else if (position % peak_spacing == 0)
          add_row(peaks[position / peak_spacing], row);
      }
    }
    ++position;
  }
  return train_rows;
}

// Divides each sum by the number of rows added to it; a zero count gives
// not-a-number, which the table shows as such.
void average_sums(std::int64_t train_rows) {
  const std::int64_t complete_trains = train_rows / train_length;
  const std::int64_t rest_rows = train_rows % train_length;
  std::int64_t pedestal_rows = pedestal_length * complete_trains;
  if (rest_rows >= pedestal_start)
    pedestal_rows += std::min(rest_rows - pedestal_start, pedestal_length);
  for (double& pedestal : pedestals) pedestal = pedestal / static_cast<double>(pedestal_rows);
  for (std::int64_t peak = 0; peak < npeaks; ++peak) {
    const std::int64_t peak_rows = complete_trains + (peak_spacing * peak < rest_rows ? 1 : 0);
    for (int channel = 0; channel < nchan; ++channel)
      peaks[peak][channel] =
          peaks[peak][channel] / static_cast<double>(peak_rows) - pedestals[channel];
  }
}

}  // namespace

bool analyse_tree(const char* path) {
  SampleReader reader;
  if (!reader.open(path)) {
    std::fprintf(stderr, "Cannot open file named %s.\n", path);
    std::fflush(stderr);
    return false;
  }
  const std::int64_t train_rows = accumulate_trains(reader);
  if (!reader.read_error().empty()) {
    std::fprintf(stderr, "Cannot read file named %s: %s\n", path, reader.read_error().c_str());
    std::fflush(stderr);
    return false;
  }
  average_sums(train_rows);
  return true;
}
