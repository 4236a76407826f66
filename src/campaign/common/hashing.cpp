#include "campaign/common/hashing.h"

#include <cstdio>
#include <cstring>

namespace qavrel::campaign {

namespace {

constexpr std::uint64_t fnv_prime = 1099511628211u;

}  // namespace

Fingerprint& Fingerprint::add(std::string_view text) {
  for (const char c : text) hash_ = (hash_ ^ static_cast<unsigned char>(c)) * fnv_prime;
  hash_ *= fnv_prime;  // a NUL, which no path or name holds, ends each piece
  return *this;
}

Fingerprint& Fingerprint::add(std::int64_t number) { return add(std::to_string(number)); }

std::uint64_t hash_of_text(std::string_view text) {
  std::uint64_t hash = 14695981039346656037u ^ text.size();
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + at, 8);
    // A multiplication carries each bit only upwards; the shift brings
    // the high bits back down, so that every bit reaches every other.
    hash = (hash ^ word) * fnv_prime;
    hash ^= hash >> 32;
  }
  for (; at < text.size(); ++at) {
    hash = (hash ^ static_cast<unsigned char>(text[at])) * fnv_prime;
    hash ^= hash >> 32;
  }
  return hash;
}

std::string Fingerprint::text() const {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash_));
  return digits;
}

}  // namespace qavrel::campaign
