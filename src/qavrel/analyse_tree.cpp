// qavrel.exe's analysis: one pass over the sample file, whose sums are
// added to the program-wide arrays and turned into averages there.
#include <cstdio>

#include "core/messages.h"
#include "core/trains.h"
#include "qavrel/qavrel.h"

double pedestals[nchan];
double peaks[npeaks][nchan];

bool analyse_tree(const char* path) {
  const qavrel::TrainSums sums = qavrel::read_trains(path);
  if (!sums.ok()) {
    const std::string line =
        sums.opened.ok() ? qavrel::read_failure(path, sums.read) : qavrel::open_failure(path);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    return false;
  }
  for (int channel = 0; channel < nchan; ++channel) pedestals[channel] += sums.pedestals[channel];
  for (int peak = 0; peak < npeaks; ++peak)
    for (int channel = 0; channel < nchan; ++channel)
      peaks[peak][channel] += sums.peaks[peak][channel];
  qavrel::average_trains(pedestals, peaks, sums.train_rows);
  return true;
}
