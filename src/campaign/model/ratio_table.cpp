#include "campaign/model/ratio_table.h"

#include <cmath>
#include <limits>

namespace qavrel::campaign {

using qavrel::npeaks;
using qavrel::observed_channels;

// cppcheck-suppress uninitMemberVar ; filled here
RatioTable::RatioTable() {
  for (auto& peak : values)
    for (double& ratio : peak) ratio = std::numeric_limits<double>::quiet_NaN();
}

std::array<MeanRatio, observed_channels> mean_ratios(const RatioTable& ratios) {
  std::array<MeanRatio, observed_channels> means{};
  for (int column = 0; column < observed_channels; ++column) {
    double sum = 0.0;
    for (int peak = 0; peak < npeaks; ++peak) sum += ratios.values[peak][column];
    const double mean = sum / npeaks;
    double squares = 0.0;
    for (int peak = 0; peak < npeaks; ++peak) {
      const double deviation = ratios.values[peak][column] - mean;
      squares += deviation * deviation;
    }
    // The sample variance of the peaks (n - 1), over n for the mean's.
    means[static_cast<std::size_t>(column)] = {mean, std::sqrt(squares / (npeaks - 1) / npeaks)};
  }
  return means;
}

WorstChannel worst_channel(const RatioTable& ratios) {
  WorstChannel worst;
  const std::array<MeanRatio, observed_channels> means = mean_ratios(ratios);
  for (int column = 0; column < observed_channels; ++column) {
    const MeanRatio& channel = means[static_cast<std::size_t>(column)];
    const double magnitude = std::isfinite(channel.mean) ? std::fabs(channel.mean)
                                                         : std::numeric_limits<double>::infinity();
    const double worst_so_far =
        std::isnan(worst.abs_mean) ? std::numeric_limits<double>::infinity() : worst.abs_mean;
    if (column == 0 || magnitude > worst_so_far) {
      worst.column = column;
      worst.abs_mean = std::isnan(channel.mean) ? channel.mean : magnitude;
      worst.standard_error = channel.standard_error;
    }
  }
  return worst;
}

std::array<double, observed_channels> mean_abs_ratios(const RatioTable& ratios) {
  std::array<double, observed_channels> means{};
  for (int column = 0; column < observed_channels; ++column) {
    double sum = 0.0;
    int count = 0;
    for (int peak = 0; peak < npeaks; ++peak) {
      const double ratio = ratios.values[peak][column];
      if (!std::isfinite(ratio)) continue;
      sum += std::fabs(ratio);
      ++count;
    }
    means[static_cast<std::size_t>(column)] =
        count > 0 ? sum / count : std::numeric_limits<double>::quiet_NaN();
  }
  return means;
}

}  // namespace qavrel::campaign
