// Writes the table of cross-talk ratios: for each peak, every observed
// channel's pedestal-subtracted peak over the mean of the reference channels.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "atomic_write.h"
#include "cross_talk_table.h"
#include "xtalk.h"

namespace {

constexpr double reference_channel_count = 16.0;

// Appends one printf-formatted cell; the formats are all fixed here.
template <typename... Values>
void append_cell(std::string& text, const char* format, Values... values) {
  char cell[64];
  const int length = std::snprintf(cell, sizeof cell, format, values...);
  text.append(cell, static_cast<std::size_t>(length));
}

}  // namespace

void cross_talk_ratios(const double (&peaks)[npeaks][nchan], bool even_selected,
                       double (&ratios)[npeaks][observed_channels]) {
  // Observed channels have the flag's value as parity; the others were pulsed.
  const int first_reference = even_selected ? 0 : 1;
  for (int peak = 0; peak < npeaks; ++peak) {
    double norm = 0.0;
    for (int channel = first_reference; channel < nchan; channel += 2) norm += peaks[peak][channel];
    norm /= reference_channel_count;
    for (int column = 0; column < observed_channels; ++column)
      ratios[peak][column] = peaks[peak][observed_channel(column, even_selected)] / norm;
  }
}

std::string cross_talk_table(const double (&peaks)[npeaks][nchan], bool even_selected) {
  double ratios[npeaks][observed_channels];
  cross_talk_ratios(peaks, even_selected, ratios);
  std::string text = "Peak #";
  for (int column = 0; column < observed_channels; ++column)
    append_cell(text, " %5s %2d", "ch", observed_channel(column, even_selected));
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

std::string log_write_failure(const char* log_path, int error) {
  return std::string("Cannot write log file named ") + log_path + ": " + std::strerror(error);
}

bool print_cross_talk(const char* log_path, bool even_selected) {
  const int error = write_atomically(log_path, cross_talk_table(peaks, even_selected));
  if (error == 0) return true;
  std::fprintf(stderr, "%s\n", log_write_failure(log_path, error).c_str());
  std::fflush(stderr);
  return false;
}
