// qavrel.exe's run: the chip geometry, the program-wide result arrays and
// the two steps of a run.
#pragma once

#include "core/geometry.h"

constexpr int nchan = qavrel::nchan;    // channels of the chip, values in a sample row
constexpr int npeaks = qavrel::npeaks;  // peak rows in a pulse train

// Pedestal sums while the file is read, per-channel pedestal averages after.
extern double pedestals[nchan];
// Peak sums while the file is read, pedestal-subtracted peak averages after.
extern double peaks[npeaks][nchan];

// Reads the sample file at path and leaves the averages in pedestals and peaks.
// Returns false, after one line on standard error, when the file can't be read.
bool analyse_tree(const char* path);

// Writes the table of cross-talk ratios to log_path; even_selected tells
// which parity carried the pulse. Returns false, after one line on standard
// error, when the log file can't be written in full.
bool print_cross_talk(const char* log_path, bool even_selected);
