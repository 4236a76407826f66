// Text made safe inside HTML and SVG.
#pragma once

#include <string>

namespace qavrel::campaign {

// The text with &, <, > and " escaped, and every byte that is not valid
// UTF-8, or is a control character XML forbids, shown as U+FFFD: a file
// name may hold any byte, and an SVG file with such a byte is not XML.
std::string markup_escaped(const std::string& text);

}  // namespace qavrel::campaign
