#include "campaign/report/markup.h"

#include "campaign/common/text.h"

namespace qavrel::campaign {

namespace {

constexpr const char* replacement = "\xEF\xBF\xBD";  // U+FFFD, in UTF-8

// U+FFFE and U+FFFF are UTF-8, but not characters XML allows.
bool is_noncharacter(const std::string& text, std::size_t at) {
  return static_cast<unsigned char>(text[at]) == 0xEF &&
         static_cast<unsigned char>(text[at + 1]) == 0xBF &&
         static_cast<unsigned char>(text[at + 2]) >= 0xBE;
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
      const std::size_t length = utf8_sequence_length(text, i);
      if (length == 0) {
        out += replacement;
      } else {
        // A character XML forbids is one character replaced.
        if (length == 3 && is_noncharacter(text, i))
          out += replacement;
        else
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
