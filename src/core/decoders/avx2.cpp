// The decoder for processors with AVX2 (and BMI1): like the AVX-512 one, it
// builds the value of the run of up to four digits that ends at every byte.
// AVX2 has no compress instruction, so each pair of bytes, in which at most
// one value ends, is merged into one 32-bit lane, and the lanes that hold a
// value are packed through a table of lane permutations.
#include <immintrin.h>

#include <array>

#include "core/decoders/common.h"

#define QAVREL_AVX2 __attribute__((target("avx2,bmi,popcnt")))

namespace qavrel::block_decoder {
namespace {

// For each set of value slots among eight 32-bit lanes, the lane
// permutation that moves them to the front, in order.
using Permutation = std::array<std::uint32_t, 8>;
constexpr std::array<Permutation, 256> make_pack_table() {
  std::array<Permutation, 256> table{};
  for (unsigned slots = 0; slots < 256; ++slots) {
    unsigned next = 0;
    for (unsigned lane = 0; lane < 8; ++lane)
      if (((slots >> lane) & 1) != 0) table[slots][next++] = lane;
  }
  return table;
}
alignas(32) constexpr std::array<Permutation, 256> pack_table = make_pack_table();

QAVREL_AVX2 __m256i load(const char* bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

// Bytes of x at most bound, as unsigned numbers.
QAVREL_AVX2 __m256i at_most(__m256i x, char bound) {
  return _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(bound)), x);
}

QAVREL_AVX2 std::uint64_t byte_bits(__m256i low_half, __m256i high_half) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low_half)) |
         std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high_half))} << 32;
}

QAVREL_AVX2 __m256i digit_values(const char* bytes) {
  return _mm256_sub_epi8(load(bytes), _mm256_set1_epi8('0'));
}

QAVREL_AVX2 ByteClasses classify(const char* block) {
  __m256i digit[2];
  __m256i space[2];
  __m256i minus[2];
  for (std::size_t half = 0; half < 2; ++half) {
    const __m256i x = load(block + 32 * half);
    digit[half] = at_most(_mm256_sub_epi8(x, _mm256_set1_epi8('0')), 9);
    space[half] = _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(' ')),
                                  at_most(_mm256_sub_epi8(x, _mm256_set1_epi8('\t')), '\r' - '\t'));
    minus[half] = _mm256_cmpeq_epi8(x, _mm256_set1_epi8('-'));
  }
  ByteClasses classes;
  classes.digit = byte_bits(digit[0], digit[1]);
  classes.space = byte_bits(space[0], space[1]);
  classes.minus = byte_bits(minus[0], minus[1]);
  return classes;
}

// 0xFF in each byte whose bit is set in bits.
QAVREL_AVX2 __m256i byte_mask(std::uint32_t bits) {
  const __m256i spread =
      _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits)),
                          _mm256_setr_epi64x(0x0000000000000000, 0x0101010101010101,
                                             0x0202020202020202, 0x0303030303030303));
  const __m256i bit_of_byte = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201));
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit_of_byte), bit_of_byte);
}

QAVREL_AVX2 __m256i ten_times(__m256i digits) {
  // Digits are at most 9, so shifting 16-bit lanes never carries between bytes.
  return _mm256_add_epi8(_mm256_slli_epi16(digits, 3), _mm256_add_epi8(digits, digits));
}

// Stores the values in the 32-bit lanes whose bits are set in slots, in
// order, from out on; returns how many there were.
QAVREL_AVX2 std::size_t pack(__m256i values, unsigned slots, std::int32_t* out) {
  const __m256i permutation =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(pack_table[slots].data()));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                      _mm256_permutevar8x32_epi32(values, permutation));
  return static_cast<std::size_t>(__builtin_popcount(slots));
}

// Converts the values that end in 32 bytes of the block. At each byte that
// ends a value, the digits up to three bytes back that belong to its run
// make two digit pairs, which take the value's sign; every other byte is
// zero. A value ends on at most every other byte, so adding the bytes of
// each 16-bit lane merges each pair of bytes into its one value, which the
// lanes are then combined into as 32-bit numbers and packed.
QAVREL_AVX2 std::size_t convert_half(const char* bytes, std::uint32_t ends, std::uint32_t negative,
                                     unsigned pairs, std::int32_t* out) {
  const __m256i digits_1 = digit_values(bytes - 1);
  const __m256i digits_2 = digit_values(bytes - 2);
  const __m256i digits_3 = digit_values(bytes - 3);
  // Where the run that ends at the byte is at least 2, 3 or 4 digits long.
  const __m256i run_of_2 = at_most(digits_1, 9);
  const __m256i run_of_3 = _mm256_and_si256(run_of_2, at_most(digits_2, 9));
  const __m256i run_of_4 = _mm256_and_si256(run_of_3, at_most(digits_3, 9));
  __m256i low =
      _mm256_add_epi8(ten_times(_mm256_and_si256(digits_1, run_of_2)), digit_values(bytes));
  __m256i high = _mm256_add_epi8(ten_times(_mm256_and_si256(digits_3, run_of_4)),
                                 _mm256_and_si256(digits_2, run_of_3));
  // 1 for a positive value, -1 for a negative one, 0 where no value ends.
  const __m256i sign =
      _mm256_and_si256(byte_mask(ends), _mm256_or_si256(byte_mask(negative), _mm256_set1_epi8(1)));
  low = _mm256_sign_epi8(low, sign);
  high = _mm256_sign_epi8(high, sign);
  const __m256i ones = _mm256_set1_epi8(1);
  const __m256i low_words = _mm256_maddubs_epi16(ones, low);
  const __m256i high_words = _mm256_maddubs_epi16(ones, high);
  // Unpacking works within 128-bit lanes: it makes words 0-3 and 8-11 of
  // the half, then 4-7 and 12-15, which the lane swaps put back in order.
  const __m256i weights = _mm256_set1_epi32(100 << 16 | 1);
  const __m256i mixed_low =
      _mm256_madd_epi16(_mm256_unpacklo_epi16(low_words, high_words), weights);
  const __m256i mixed_high =
      _mm256_madd_epi16(_mm256_unpackhi_epi16(low_words, high_words), weights);
  std::size_t count =
      pack(_mm256_permute2x128_si256(mixed_low, mixed_high, 0x20), pairs & 0xFF, out);
  count += pack(_mm256_permute2x128_si256(mixed_low, mixed_high, 0x31), pairs >> 8, out + count);
  return count;
}

// One bit per pair of bytes: whether a value ends in it. (pext would do
// this in one instruction, but is slow on the AVX2 processors of AMD.)
std::uint32_t pair_bits(std::uint64_t ends) {
  std::uint64_t pairs = (ends | ends >> 1) & 0x5555555555555555;
  pairs = (pairs | pairs >> 1) & 0x3333333333333333;
  pairs = (pairs | pairs >> 2) & 0x0F0F0F0F0F0F0F0F;
  pairs = (pairs | pairs >> 4) & 0x00FF00FF00FF00FF;
  pairs = (pairs | pairs >> 8) & 0x0000FFFF0000FFFF;
  return static_cast<std::uint32_t>(pairs | pairs >> 16);
}

// Converts the values that end in the block, whose digits may reach up to
// three bytes back, and returns how many there were.
QAVREL_AVX2 std::size_t convert(const char* block, std::uint64_t ends, std::uint64_t negative,
                                std::int32_t* out) {
  const std::uint32_t pairs = pair_bits(ends);
  std::size_t count = convert_half(block, static_cast<std::uint32_t>(ends),
                                   static_cast<std::uint32_t>(negative), pairs & 0xFFFF, out);
  count += convert_half(block + 32, static_cast<std::uint32_t>(ends >> 32),
                        static_cast<std::uint32_t>(negative >> 32), pairs >> 16, out + count);
  return count;
}

QAVREL_AVX2 Decoded decode_block(const char* block, std::int32_t* out) {
  const ByteClasses classes = classify(block);
  const ValueBits bits = locate_values(classes);
  if (bits.ends == 0) return {0, 0};
  if (has_long_value(bits)) return convert_each(block, bits, out);
  // Where the block is plain up to its last whitespace, only the values
  // before it are converted and the next block starts after it: a place
  // known from the whitespace alone, so that the next block need not wait
  // for this one's values to be located. The two cases must stay separate
  // returns: joined into one by a conditional move, the next block would
  // wait after all.
  if (classes.space != 0) {
    const unsigned cut = highest_bit(classes.space) + 1;
    const std::uint64_t before_cut = ~std::uint64_t{0} >> (block_size - cut);
    const std::uint64_t ends = bits.ends & before_cut;
    if ((before_cut & ~bits.plain) == 0 && ends != 0)
      return {convert(block, ends, negative_ends(bits) & ends, out), cut};
  }
  return {convert(block, bits.ends, negative_ends(bits), out), highest_bit(bits.ends) + 1};
}

}  // namespace

QAVREL_AVX2 Decoded decode_avx2(const char* bytes, std::size_t size, std::int32_t* out,
                                std::size_t room) {
  return decode_blocks(decode_block, bytes, size, out, room);
}

bool avx2_runs_here() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("popcnt");
}

}  // namespace qavrel::block_decoder
