// The cross-talk ratios of averaged peaks, and the table of them that a
// log file holds.
#pragma once

#include <string>

#include "core/geometry.h"
#include "core/parity.h"

namespace qavrel {

using Peaks = double[npeaks][nchan];
using Ratios = double[npeaks][observed_channels];

// For each peak and observed channel, its pedestal-subtracted peak over the
// mean of the pulsed channels' ones.
void cross_talk_ratios(const Peaks& peaks, Parity pulsed, Ratios& ratios);

// The log file's table of those ratios, exactly as the log holds it.
std::string cross_talk_table(const Peaks& peaks, Parity pulsed);

}  // namespace qavrel
