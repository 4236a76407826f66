// The decoder for processors with AVX-512 BW and VBMI2: the values of up to
// four digits are built for every byte at once and compressed into place.
#include <immintrin.h>

#include "core/decoders/common.h"

// GCC 12's AVX-512 headers build some results from deliberately undefined
// vectors and then warn about them once inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define QAVREL_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2,popcnt")))

namespace qavrel::block_decoder {
namespace {

QAVREL_AVX512 ByteClasses classify(const char* block) {
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

QAVREL_AVX512 __m512i ten_times(__m512i digits) {
  // Digits are at most 9, so shifting 16-bit lanes never carries between bytes.
  return _mm512_add_epi8(_mm512_slli_epi16(digits, 3), _mm512_add_epi8(digits, digits));
}

// The digit values of the bytes `back` places before each byte of the block,
// zero where keep is clear.
QAVREL_AVX512 __m512i digits_back(const char* block, unsigned back, std::uint64_t keep) {
  return _mm512_maskz_sub_epi8(keep, _mm512_loadu_si512(block - back), _mm512_set1_epi8('0'));
}

// Converts all located values at once, none of them longer than four digits:
// the two digit pairs of the run ending at each byte are put together from
// the digits up to three bytes back in the same run, those of the bytes that
// end a value are compressed into place, and only then combined.
QAVREL_AVX512 std::size_t convert(const char* block, std::uint64_t digits, std::uint64_t ends,
                                  std::uint64_t negative_ends, std::int32_t* out) {
  // run_of_n: bytes that end a run of at least n digits.
  const std::uint64_t run_of_2 = digits & (digits << 1);
  const std::uint64_t run_of_3 = run_of_2 & (digits << 2);
  const std::uint64_t run_of_4 = run_of_3 & (digits << 3);
  const __m512i low_pairs =
      _mm512_add_epi8(ten_times(digits_back(block, 1, run_of_2)), digits_back(block, 0, digits));
  const __m512i high_pairs =
      _mm512_add_epi8(ten_times(digits_back(block, 3, run_of_4)), digits_back(block, 2, run_of_3));
  // A value ends on at most every other byte, so 32 slots hold them all.
  const __m256i low = _mm512_castsi512_si256(_mm512_maskz_compress_epi8(ends, low_pairs));
  const __m256i high = _mm512_castsi512_si256(_mm512_maskz_compress_epi8(ends, high_pairs));
  __m512i values =
      _mm512_add_epi16(_mm512_cvtepu8_epi16(low),
                       _mm512_mullo_epi16(_mm512_cvtepu8_epi16(high), _mm512_set1_epi16(100)));
  // pext packs the signs like the values.
  const auto negative = static_cast<__mmask32>(_pext_u64(negative_ends, ends));
  values = _mm512_mask_sub_epi16(values, negative, _mm512_setzero_si512(), values);
  _mm512_storeu_si512(out, _mm512_cvtepi16_epi32(_mm512_castsi512_si256(values)));
  _mm512_storeu_si512(out + 16, _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(values, 1)));
  return static_cast<std::size_t>(__builtin_popcountll(ends));
}

QAVREL_AVX512 Decoded decode_block(const char* block, std::int32_t* out) {
  const ValueBits bits = locate_values(classify(block));
  if (bits.ends == 0) return {0, 0};
  if (has_long_value(bits)) return convert_each(block, bits, out);
  return {convert(block, bits.digits, bits.ends, negative_ends(bits), out),
          highest_bit(bits.ends) + 1};
}

}  // namespace

QAVREL_AVX512 Decoded decode_avx512(const char* bytes, std::size_t size, std::int32_t* out,
                                    std::size_t room) {
  return decode_blocks(decode_block, bytes, size, out, room);
}

bool avx512_runs_here() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

}  // namespace qavrel::block_decoder
