// PostgreSQL keeps text only as valid UTF-8, while a file name may hold
// any bytes. These map any bytes into valid UTF-8 and back, exactly: each
// byte b of an invalid sequence becomes the private-use character
// U+10FF00 + b, and a genuine U+10FF80..U+10FFFF is itself sent as its
// four bytes mapped so, which keeps the mapping one to one. Valid UTF-8
// without those characters passes unchanged, so stores stay readable.
#pragma once

#include <string>
#include <string_view>

namespace qavrel::campaign {

// Any bytes as valid UTF-8, for the server.
std::string utf8_from_bytes(std::string_view bytes);

// The bytes that utf8_from_bytes made the text from.
std::string bytes_from_utf8(std::string_view text);

}  // namespace qavrel::campaign
