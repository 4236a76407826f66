#include "core/parity.h"

namespace qavrel {

std::optional<Parity> parity_named_in(std::string_view config) {
  if (config.find("odd") != std::string_view::npos) return Parity::odd;
  if (config.find("even") != std::string_view::npos) return Parity::even;
  return std::nullopt;
}

const char* parity_name(Parity pulsed) { return pulsed == Parity::even ? "even" : "odd"; }

}  // namespace qavrel
