#include "campaign/store/text_bytes.h"

#include "campaign/common/text.h"

namespace qavrel::campaign {

namespace {

// U+10FF80..U+10FFFF in UTF-8 are F4 8F BE 80..BF and F4 8F BF 80..BF.
constexpr unsigned char lead = 0xF4;
constexpr unsigned char second = 0x8F;
constexpr unsigned char low_third = 0xBE;
constexpr unsigned char high_third = 0xBF;

unsigned char byte_at(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]);
}

void append_mapped(std::string& out, unsigned char byte) {
  out += static_cast<char>(lead);
  out += static_cast<char>(second);
  out += static_cast<char>(byte < 0xC0 ? low_third : high_third);
  out += static_cast<char>(0x80 | (byte & 0x3F));
}

bool is_mapped_character(std::string_view text, std::size_t at) {
  if (at + 4 > text.size()) return false;
  const unsigned char third = byte_at(text, at + 2);
  const unsigned char fourth = byte_at(text, at + 3);
  return byte_at(text, at) == lead && byte_at(text, at + 1) == second &&
         (third == low_third || third == high_third) && fourth >= 0x80 && fourth <= 0xBF;
}

}  // namespace

std::string utf8_from_bytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t length = utf8_sequence_length(bytes, at);
    if (length == 0 || is_mapped_character(bytes, at)) {
      // A stray byte, or a character the mapping claims: sent byte by byte.
      const std::size_t count = length == 0 ? 1 : length;
      for (std::size_t i = 0; i < count; ++i) append_mapped(out, byte_at(bytes, at + i));
      at += count;
    } else {
      out.append(bytes.substr(at, length));
      at += length;
    }
  }
  return out;
}

std::string bytes_from_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    if (is_mapped_character(text, at)) {
      const unsigned char third = byte_at(text, at + 2);
      const unsigned char fourth = byte_at(text, at + 3);
      out += static_cast<char>((third == low_third ? 0x80 : 0xC0) | (fourth & 0x3F));
      at += 4;
    } else {
      out += text[at];
      ++at;
    }
  }
  return out;
}

}  // namespace qavrel::campaign
