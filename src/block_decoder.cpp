#include "block_decoder.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define XTALK_WIDE_VECTORS 1
#endif

namespace block_decoder {
namespace {

// One bit per byte of the block, byte 0 in bit 0.
struct ByteClasses {
  std::uint64_t digit = 0;
  std::uint64_t space = 0;
  std::uint64_t minus = 0;
};

// Where the decodable values of a block lie, one bit per byte.
struct ValueBits {
  std::uint64_t digits;    // digit bytes
  std::uint64_t starts;    // first digit of each value
  std::uint64_t ends;      // last digit of each value that ends inside the block
  std::uint64_t negative;  // first digit of each value that has a '-'
};

unsigned lowest_bit(std::uint64_t bits) { return static_cast<unsigned>(__builtin_ctzll(bits)); }
unsigned highest_bit(std::uint64_t bits) {
  return 63u - static_cast<unsigned>(__builtin_clzll(bits));
}

ValueBits locate_values(const ByteClasses& classes) {
  const std::uint64_t next_is_digit = classes.digit >> 1;  // clear, as unknown, for the last byte
  // The first byte that is not whitespace, a digit, or a '-' right before a
  // digit ends what the fast path may decode: only the slow path knows what
  // stream extraction makes of it.
  const std::uint64_t other =
      ~(classes.digit | classes.space | classes.minus) | (classes.minus & ~next_is_digit);
  const std::uint64_t plain =
      other == 0 ? ~std::uint64_t{0} : (std::uint64_t{1} << lowest_bit(other)) - 1;
  ValueBits bits;
  bits.digits = classes.digit & plain;
  bits.starts = bits.digits & ~(classes.digit << 1);
  bits.ends = bits.digits & ~next_is_digit & ~(std::uint64_t{1} << (block_size - 1));
  bits.negative = (classes.minus << 1) & bits.starts;
  return bits;
}

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

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the digit conversion loads bytes as little-endian words");

// The value of up to eight ASCII digits packed little-endian in chunk, most
// significant digit first, with unused leading bytes zero. Digit pairs, then
// quads, then the two halves are combined by multiplication (SWAR).
std::uint32_t eight_digit_value(std::uint64_t chunk) {
  chunk &= 0x0F0F0F0F0F0F0F0F;
  chunk = (chunk * 10 + (chunk >> 8)) & 0x00FF00FF00FF00FF;
  chunk = (chunk * 100 + (chunk >> 16)) & 0x0000FFFF0000FFFF;
  chunk = (chunk * 10000 + (chunk >> 32)) & 0xFFFFFFFF;
  return static_cast<std::uint32_t>(chunk);
}

// Converts the located values one at a time, stopping before one of more
// than eight digits.
Decoded convert_each(const char* block, ValueBits bits, std::int32_t* out) {
  Decoded done{0, 0};
  while (bits.ends != 0) {
    const unsigned first = lowest_bit(bits.starts);
    const unsigned last = lowest_bit(bits.ends);
    const unsigned length = last - first + 1;
    if (length > 8) break;
    // The eight bytes that end with the last digit, those before the first
    // digit cleared; bytes_before keeps the load inside the buffer.
    std::uint64_t chunk;
    std::memcpy(&chunk, block + last - 7, sizeof chunk);
    chunk &= ~std::uint64_t{0} << (8 * (8 - length));
    const std::uint32_t magnitude = eight_digit_value(chunk);
    const std::uint32_t minus = (bits.negative >> first) & 1;
    out[done.values++] = static_cast<std::int32_t>((magnitude ^ (0 - minus)) + minus);
    done.bytes = last + 1;
    bits.starts &= bits.starts - 1;
    bits.ends &= bits.ends - 1;
  }
  return done;
}

#if defined(XTALK_WIDE_VECTORS)
// GCC 12's AVX-512 headers build some results from deliberately undefined
// vectors and then warn about them once inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define XTALK_WIDE_TARGET \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2,popcnt")))

XTALK_WIDE_TARGET ByteClasses classify_wide(const char* block) {
  const __m512i x = _mm512_loadu_si512(block);
  const __m512i digit_values = _mm512_sub_epi8(x, _mm512_set1_epi8('0'));
  const __m512i control_offsets = _mm512_sub_epi8(x, _mm512_set1_epi8('\t'));
  ByteClasses classes;
  classes.digit = _mm512_cmplt_epu8_mask(digit_values, _mm512_set1_epi8(10));
  classes.space = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(' ')) |
                  _mm512_cmplt_epu8_mask(control_offsets, _mm512_set1_epi8('\r' - '\t' + 1));
  classes.minus = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('-'));
  return classes;
}

XTALK_WIDE_TARGET __m512i ten_times(__m512i digits) {
  // Digits are at most 9, so shifting 16-bit lanes never carries between bytes.
  return _mm512_add_epi8(_mm512_slli_epi16(digits, 3), _mm512_add_epi8(digits, digits));
}

// The digit values of the bytes `back` places before each byte of the block,
// zero where keep is clear.
XTALK_WIDE_TARGET __m512i digits_back(const char* block, unsigned back, std::uint64_t keep) {
  return _mm512_maskz_sub_epi8(keep, _mm512_loadu_si512(block - back), _mm512_set1_epi8('0'));
}

// Converts all located values at once when none has more than four digits:
// the two digit pairs of the run ending at each byte are put together from
// the digits up to three bytes back in the same run, those of the bytes that
// end a value are compressed into place, and only then combined.
// Returns nothing decoded for longer values.
XTALK_WIDE_TARGET Decoded convert_wide(const char* block, const ValueBits& bits,
                                       std::int32_t* out) {
  const std::uint64_t digits = bits.digits;
  // run_of_n: bytes that end a run of at least n digits.
  const std::uint64_t run_of_2 = digits & (digits << 1);
  const std::uint64_t run_of_3 = run_of_2 & (digits << 2);
  const std::uint64_t run_of_4 = run_of_3 & (digits << 3);
  const std::uint64_t decoded = ~std::uint64_t{0} >> (63 - highest_bit(bits.ends));
  if ((run_of_4 & (digits << 4) & decoded) != 0) return {0, 0};

  const __m512i low_pairs =
      _mm512_add_epi8(ten_times(digits_back(block, 1, run_of_2)), digits_back(block, 0, digits));
  const __m512i high_pairs =
      _mm512_add_epi8(ten_times(digits_back(block, 3, run_of_4)), digits_back(block, 2, run_of_3));
  // A value ends on at most every other byte, so 32 slots hold them all.
  const __m256i low = _mm512_castsi512_si256(_mm512_maskz_compress_epi8(bits.ends, low_pairs));
  const __m256i high = _mm512_castsi512_si256(_mm512_maskz_compress_epi8(bits.ends, high_pairs));
  __m512i values =
      _mm512_add_epi16(_mm512_cvtepu8_epi16(low),
                       _mm512_mullo_epi16(_mm512_cvtepu8_epi16(high), _mm512_set1_epi16(100)));
  // Adding the bit of a negative run's first digit carries through the run
  // to the byte after it; pext then packs the signs like the values.
  const std::uint64_t negative_ends = (((digits + bits.negative) & ~digits) >> 1) & bits.ends;
  const auto negative = static_cast<__mmask32>(_pext_u64(negative_ends, bits.ends));
  values = _mm512_mask_sub_epi16(values, negative, _mm512_setzero_si512(), values);
  _mm512_storeu_si512(out, _mm512_cvtepi16_epi32(_mm512_castsi512_si256(values)));
  _mm512_storeu_si512(out + 16, _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(values, 1)));
  return {static_cast<std::size_t>(__builtin_popcountll(bits.ends)), highest_bit(bits.ends) + 1};
}

XTALK_WIDE_TARGET Decoded decode_wide(const char* block, std::int32_t* out) {
  const ValueBits bits = locate_values(classify_wide(block));
  if (bits.ends == 0) return {0, 0};
  const Decoded done = convert_wide(block, bits, out);
  return done.values > 0 ? done : convert_each(block, bits, out);
}
#endif

}  // namespace

bool wide_vectors_available() {
#if defined(XTALK_WIDE_VECTORS)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("bmi2");
#else
  return false;
#endif
}

Decoded decode(const char* block, std::int32_t* out, bool use_wide_vectors) {
#if defined(XTALK_WIDE_VECTORS)
  if (use_wide_vectors) return decode_wide(block, out);
#else
  (void)use_wide_vectors;
#endif
  return convert_each(block, locate_values(classify(block)), out);
}

}  // namespace block_decoder
