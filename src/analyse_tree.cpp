// qavrel.exe's analysis: one pass over the sample file, whose sums are
// added to the program-wide arrays and turned into averages there.
#include <cstdio>

#include "trains.h"
#include "xtalk.h"

double pedestals[nchan];
double peaks[npeaks][nchan];

bool analyse_tree(const char* path) {
  const TrainSums sums = read_trains(path);
  if (sums.status != TrainSums::Status::read) {
    std::fprintf(stderr, "%s\n", read_failure(path, sums).c_str());
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
