#include "core/cross_talk.h"

#include <cmath>
#include <cstdio>

namespace qavrel {
namespace {

// The pulsed channels of one parity, a fixed count.
constexpr double reference_channel_count = 16.0;

// Appends one printf-formatted cell; the formats are all fixed here.
template <typename... Values>
void append_cell(std::string& text, const char* format, Values... values) {
  char cell[64];
  const int length = std::snprintf(cell, sizeof cell, format, values...);
  text.append(cell, static_cast<std::size_t>(length));
}

}  // namespace

void cross_talk_ratios(const Peaks& peaks, Parity pulsed, Ratios& ratios) {
  const int first_reference = pulsed == Parity::even ? 0 : 1;
  for (int peak = 0; peak < npeaks; ++peak) {
    double norm = 0.0;
    for (int channel = first_reference; channel < nchan; channel += 2) norm += peaks[peak][channel];
    norm /= reference_channel_count;
    for (int column = 0; column < observed_channels; ++column)
      ratios[peak][column] = peaks[peak][observed_channel(column, pulsed)] / norm;
  }
}

std::string cross_talk_table(const Peaks& peaks, Parity pulsed) {
  Ratios ratios;
  cross_talk_ratios(peaks, pulsed, ratios);
  std::string text = "Peak #";
  for (int column = 0; column < observed_channels; ++column)
    append_cell(text, " %5s %2d", "ch", observed_channel(column, pulsed));
  text += '\n';
  for (int peak = 0; peak < npeaks; ++peak) {
    append_cell(text, "%6d", peak);
    for (const double ratio : ratios[peak]) {
      // Processors disagree on the sign of the not-a-number that 0/0 gives;
      // the tables benches have stored say -nan, as x86-64 prints it.
      if (std::isnan(ratio))
        append_cell(text, " %8s", "-nan");
      else
        append_cell(text, " %8.1e", ratio);
    }
    text += '\n';
  }
  return text;
}

}  // namespace qavrel
