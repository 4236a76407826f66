// The chip and the pulse train, as every part of the analysis counts them.
#pragma once

#include <cstdint>

namespace qavrel {

constexpr int nchan = 32;   // channels of the chip, values in a sample row
constexpr int npeaks = 15;  // peak rows in a pulse train

// Rows in a pulse train; the row after them closes it.
constexpr std::int64_t train_length = 218;

// Channels of each parity; the table has a column for each observed one.
constexpr int observed_channels = nchan / 2;

}  // namespace qavrel
