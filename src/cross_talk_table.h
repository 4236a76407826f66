// The cross-talk ratios of averaged peaks, and the table of them that the
// log file holds; print_cross_talk writes it for qavrel.exe's arrays.
#pragma once

#include <string>

#include "xtalk.h"

// Channels of each parity: the observed ones have a column in the table.
constexpr int observed_channels = nchan / 2;

// Channel number of the observed column of the given index.
inline int observed_channel(int column, bool even_selected) {
  return 2 * column + (even_selected ? 1 : 0);
}

// For each peak and observed channel, its pedestal-subtracted peak over the
// mean of the reference channels' (the parity that carried the pulse).
void cross_talk_ratios(const double (&peaks)[npeaks][nchan], bool even_selected,
                       double (&ratios)[npeaks][observed_channels]);

// The log file's table of those ratios, exactly as the log holds it.
std::string cross_talk_table(const double (&peaks)[npeaks][nchan], bool even_selected);

// The line that reports a log file that couldn't be written, for the errno
// of the step that failed.
std::string log_write_failure(const char* log_path, int error);
