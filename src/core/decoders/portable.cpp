// The decoder every processor runs: byte classes with the baseline vector
// instructions (SSE2 on x86-64, NEON on arm64, a plain loop elsewhere); the
// value of the run of up to four digits ending at each byte with the
// compiler's generic vectors, which become the same instructions; then the
// values that end there are picked out one at a time.
#include "core/decoders/common.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace qavrel::block_decoder {
namespace {

#if defined(__SSE2__)
// Signed byte compares suffice: bytes of 0x80 and up compare below every
// bound used here, so they fall in no class.
std::uint64_t byte_bits(__m128i is_set) {
  return static_cast<std::uint16_t>(_mm_movemask_epi8(is_set));
}

ByteClasses classify(const char* block) {
  ByteClasses classes;
  for (std::size_t lane = 0; lane < block_size / 16; ++lane) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * lane));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)),
                                        _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)));
    const __m128i control_space = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('\t' - 1)),
                                                _mm_cmplt_epi8(x, _mm_set1_epi8('\r' + 1)));
    const __m128i space = _mm_or_si128(control_space, _mm_cmpeq_epi8(x, _mm_set1_epi8(' ')));
    classes.digit |= byte_bits(digit) << (16 * lane);
    classes.space |= byte_bits(space) << (16 * lane);
    classes.minus |= byte_bits(_mm_cmpeq_epi8(x, _mm_set1_epi8('-'))) << (16 * lane);
  }
  return classes;
}
#elif defined(__ARM_NEON)
// NEON has no byte mask move: each byte keeps its own bit of the eight,
// and three pairwise additions gather the 64 bits.
std::uint64_t byte_bits(const uint8x16_t is_set[4]) {
  static const std::uint8_t weights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                           1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t weight = vld1q_u8(weights);
  uint8x16_t sum0 = vpaddq_u8(vandq_u8(is_set[0], weight), vandq_u8(is_set[1], weight));
  const uint8x16_t sum1 = vpaddq_u8(vandq_u8(is_set[2], weight), vandq_u8(is_set[3], weight));
  sum0 = vpaddq_u8(sum0, sum1);
  sum0 = vpaddq_u8(sum0, sum0);
  return vgetq_lane_u64(vreinterpretq_u64_u8(sum0), 0);
}

ByteClasses classify(const char* block) {
  uint8x16_t digit[4];
  uint8x16_t space[4];
  uint8x16_t minus[4];
  for (std::size_t lane = 0; lane < 4; ++lane) {
    const uint8x16_t x = vld1q_u8(reinterpret_cast<const std::uint8_t*>(block) + 16 * lane);
    digit[lane] = vcltq_u8(vsubq_u8(x, vdupq_n_u8('0')), vdupq_n_u8(10));
    space[lane] = vorrq_u8(vceqq_u8(x, vdupq_n_u8(' ')),
                           vcltq_u8(vsubq_u8(x, vdupq_n_u8('\t')), vdupq_n_u8('\r' - '\t' + 1)));
    minus[lane] = vceqq_u8(x, vdupq_n_u8('-'));
  }
  ByteClasses classes;
  classes.digit = byte_bits(digit);
  classes.space = byte_bits(space);
  classes.minus = byte_bits(minus);
  return classes;
}
#else
ByteClasses classify(const char* block) {
  ByteClasses classes;
  for (unsigned i = 0; i < block_size; ++i) {
    const int c = static_cast<unsigned char>(block[i]);
    classes.digit |= std::uint64_t{is_digit(c)} << i;
    classes.space |= std::uint64_t{is_space(c)} << i;
    classes.minus |= std::uint64_t{c == '-'} << i;
  }
  return classes;
}
#endif

// Sixteen bytes, and sixteen 16-bit numbers, as generic vectors.
using Bytes = std::uint8_t __attribute__((vector_size(16)));
using Words = std::uint16_t __attribute__((vector_size(32)));
constexpr std::size_t vector_bytes = sizeof(Bytes);

Bytes load(const char* bytes) {
  Bytes vector;
  std::memcpy(&vector, bytes, sizeof vector);
  return vector;
}

Bytes digit_values(const char* bytes) { return load(bytes) - '0'; }
// Shifts of 16-bit lanes would do, as digits are at most 9, but generic
// byte vectors multiply as well.
Bytes ten_times(Bytes digits) { return (digits << 3) + (digits << 1); }

// The value of the run of up to four digits ending at each of 16 bytes;
// what the bytes that end no value hold doesn't matter.
void run_values(const char* bytes, std::uint16_t* values) {
  const Bytes digits_1 = digit_values(bytes - 1);
  const Bytes digits_2 = digit_values(bytes - 2);
  const Bytes digits_3 = digit_values(bytes - 3);
  // Where the run that ends at the byte is at least 2, 3 or 4 digits long.
  const auto run_of_2 = reinterpret_cast<Bytes>(digits_1 <= 9);
  const Bytes run_of_3 = run_of_2 & reinterpret_cast<Bytes>(digits_2 <= 9);
  const Bytes run_of_4 = run_of_3 & reinterpret_cast<Bytes>(digits_3 <= 9);
  const Bytes low = ten_times(digits_1 & run_of_2) + digit_values(bytes);
  const Bytes high = ten_times(digits_3 & run_of_4) + (digits_2 & run_of_3);
  const Words value =
      __builtin_convertvector(low, Words) + __builtin_convertvector(high, Words) * 100;
  std::memcpy(values, &value, sizeof value);
}

// Converts the located values, none of them longer than four digits.
Decoded convert(const char* block, const ValueBits& bits, std::int32_t* out) {
  std::uint16_t values[block_size];
  for (std::size_t at = 0; at < block_size; at += vector_bytes) run_values(block + at, values + at);
  const std::uint64_t negative = negative_ends(bits);
  Decoded done{0, highest_bit(bits.ends) + 1};
  for (std::uint64_t ends = bits.ends; ends != 0; ends &= ends - 1) {
    const unsigned last = lowest_bit(ends);
    const std::uint32_t minus = (negative >> last) & 1;
    // cppcheck-suppress uninitvar ; run_values filled every entry
    out[done.values++] = static_cast<std::int32_t>((values[last] ^ (0 - minus)) + minus);
  }
  return done;
}

}  // namespace

Decoded decode_portable(const char* bytes, std::size_t size, std::int32_t* out, std::size_t room) {
  return decode_blocks(
      [](const char* block, std::int32_t* values) {
        const ValueBits bits = locate_values(classify(block));
        if (bits.ends == 0 || has_long_value(bits)) return convert_each(block, bits, values);
        return convert(block, bits, values);
      },
      bytes, size, out, room);
}

}  // namespace qavrel::block_decoder
