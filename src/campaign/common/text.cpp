#include "campaign/common/text.h"

#include <charconv>
#include <cmath>

namespace qavrel::campaign {

namespace {

constexpr const char* replacement = "\xEF\xBF\xBD";  // U+FFFD, in UTF-8

}  // namespace

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
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
  return length;
}

bool is_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8_sequence_length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string utf8_shown(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8_sequence_length(text, i);
    if (length == 0) {
      shown += replacement;
      ++i;
    } else {
      shown.append(text, i, length);
      i += length;
    }
  }
  return shown;
}

std::string percent_escaped(std::string_view bytes) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '%' || byte < 0x20 || byte >= 0x7F) {
      escaped += '%';
      escaped += hex[byte >> 4];
      escaped += hex[byte & 15];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string full_precision(double value) {
  if (std::isnan(value)) return "nan";
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

}  // namespace qavrel::campaign
