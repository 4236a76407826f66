#include "campaign/common/hashing.h"

#include <cstdio>

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

std::string Fingerprint::text() const {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash_));
  return digits;
}

}  // namespace qavrel::campaign
