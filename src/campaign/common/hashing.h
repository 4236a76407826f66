// A 64-bit hash (FNV-1a) of text, for telling whether what an output is
// made from changed, and for names that must differ for different paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qavrel::campaign {

class Fingerprint {
 public:
  // Adds a piece; pieces are kept apart, so ("ab", "c") differs from ("a", "bc").
  Fingerprint& add(std::string_view text);
  Fingerprint& add(std::int64_t number);
  std::uint64_t value() const { return hash_; }
  // As 16 hexadecimal digits.
  std::string text() const;

 private:
  std::uint64_t hash_ = 14695981039346656037u;
};

inline std::uint64_t hash_of(std::string_view text) { return Fingerprint().add(text).value(); }

// A 64-bit hash of a long text, such as a whole page, eight bytes at a
// time: for telling whether the text changed, where a page's worth of
// bytes one at a time would cost more than drawing the page.
std::uint64_t hash_of_text(std::string_view text);

}  // namespace qavrel::campaign
