// Names as bytes: a file name may hold any byte, while pages, tables and
// the store's text are read as UTF-8. These say which bytes are UTF-8 and
// how the others are shown or kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qavrel::campaign {

// The length of the valid UTF-8 sequence that starts at text[at] (1 for
// ASCII), or 0 when none does: no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

bool is_utf8(std::string_view text);

// The text with each byte that is not part of valid UTF-8 shown as U+FFFD.
std::string utf8_shown(std::string_view text);

// The exact bytes as ASCII: '%', control bytes, DEL and every byte from
// 0x80 up written as %XX, as Python's urllib.parse.unquote_to_bytes reads
// them back.
std::string percent_escaped(std::string_view bytes);

// A number as the shortest text that reads back as the same double;
// not-a-number as "nan".
std::string full_precision(double value);

}  // namespace qavrel::campaign
