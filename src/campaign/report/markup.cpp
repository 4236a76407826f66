#include "campaign/report/markup.h"

namespace qavrel::campaign {

namespace {

constexpr const char* replacement = "\xEF\xBF\xBD";  // U+FFFD, in UTF-8

// The length of the valid UTF-8 sequence at text[at], or 0 for none.
std::size_t sequence_length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned min_second = 0x80;
  unsigned max_second = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) min_second = 0xA0;  // no overlong forms
    if (lead == 0xED) max_second = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) min_second = 0x90;
    if (lead == 0xF4) max_second = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < min_second || byte(at + 1) > max_second) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  // U+FFFE and U+FFFF are not characters XML allows.
  if (length == 3 && lead == 0xEF && byte(at + 1) == 0xBF && byte(at + 2) >= 0xBE) return 0;
  return length;
}

}  // namespace

std::string markup_escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '&':
        out += "&amp;";
        continue;
      case '<':
        out += "&lt;";
        continue;
      case '>':
        out += "&gt;";
        continue;
      case '"':
        out += "&quot;";
        continue;
      default:
        break;
    }
    if (byte >= 0x80) {
      const std::size_t length = sequence_length(text, i);
      if (length == 0) {
        out += replacement;
      } else {
        out.append(text, i, length);
        i += length - 1;
      }
    } else if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      out += replacement;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace qavrel::campaign
