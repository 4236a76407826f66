// qavrel.exe's analysis: one pass over the sample file, whose sums are
// added to the program-wide arrays and turned into averages there.
#include <cstdio>

#include "trains.h"
#include "xtalk.h"

double pedestals[nchan];
double peaks[npeaks][nchan];

bool analyse_tree(const char* path) {
  const TrainSums sums = read_trains(path);
  if (sums.status == TrainSums::Status::cannot_open) {
    std::fprintf(stderr, "Cannot open file named %s.\n", path);
    std::fflush(stderr);
    return false;
  }
  if (sums.status == TrainSums::Status::read_failed) {
    std::fprintf(stderr, "Cannot read file named %s: %s\n", path, sums.error.c_str());
    std::fflush(stderr);
    return false;
  }
  for (int channel = 0; channel < nchan; ++channel) pedestals[channel] += sums.pedestals[channel];
  for (int peak = 0; peak < npeaks; ++peak)
    for (int channel = 0; channel < nchan; ++channel)
      peaks[peak][channel] += sums.peaks[peak][channel];
  average_trains(pedestals, peaks, sums.train_rows);
  return true;
}
