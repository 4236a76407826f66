// Which channels carried the calibration pulse: all odd or all even ones.
// The channels of the other parity are observed for cross-talk.
#pragma once

#include <optional>
#include <string_view>

namespace qavrel {

enum class Parity { odd, even };

// The parity a configuration names: "odd" is looked for first, so a name
// holding both words selects odd. None when it names neither.
std::optional<Parity> parity_named_in(std::string_view config);

// "odd" or "even".
const char* parity_name(Parity pulsed);

// The chip's channel number of the observed column of the given index.
inline int observed_channel(int column, Parity pulsed) {
  return 2 * column + (pulsed == Parity::even ? 1 : 0);
}

}  // namespace qavrel
