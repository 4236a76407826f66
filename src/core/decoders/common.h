// What every block decoder shares: the byte classes of a block as bit masks,
// where its values lie, and the one-value-at-a-time conversion that each of
// them falls back on for values of more than four digits.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/block_decoder.h"

namespace qavrel::block_decoder {

// One bit per byte of the block, byte 0 in bit 0.
struct ByteClasses {
  std::uint64_t digit = 0;
  std::uint64_t space = 0;
  std::uint64_t minus = 0;
};

// Where the decodable values of a block lie, one bit per byte.
struct ValueBits {
  std::uint64_t plain;     // the bytes before the first that the fast path can't decode
  std::uint64_t digits;    // digit bytes
  std::uint64_t starts;    // first digit of each value
  std::uint64_t ends;      // last digit of each value that ends inside the block
  std::uint64_t negative;  // first digit of each value that has a '-'
};

inline unsigned lowest_bit(std::uint64_t bits) {
  return static_cast<unsigned>(__builtin_ctzll(bits));
}
inline unsigned highest_bit(std::uint64_t bits) {
  return 63u - static_cast<unsigned>(__builtin_clzll(bits));
}

inline ValueBits locate_values(const ByteClasses& classes) {
  const std::uint64_t next_is_digit = classes.digit >> 1;  // clear, as unknown, for the last byte
  // The first byte that is not whitespace, a digit, or a '-' right before a
  // digit ends what the fast path may decode: only the slow path knows what
  // stream extraction makes of it.
  const std::uint64_t other =
      ~(classes.digit | classes.space | classes.minus) | (classes.minus & ~next_is_digit);
  ValueBits bits;
  bits.plain = other == 0 ? ~std::uint64_t{0} : (std::uint64_t{1} << lowest_bit(other)) - 1;
  bits.digits = classes.digit & bits.plain;
  bits.starts = bits.digits & ~(classes.digit << 1);
  bits.ends = bits.digits & ~next_is_digit & ~(std::uint64_t{1} << (block_size - 1));
  bits.negative = (classes.minus << 1) & bits.starts;
  return bits;
}

// The last digit of each value that has a '-': adding the bit of a negative
// run's first digit carries through the run to the byte after it.
inline std::uint64_t negative_ends(const ValueBits& bits) {
  return (((bits.digits + bits.negative) & ~bits.digits) >> 1) & bits.ends;
}

// Whether a value of more than four digits ends in the decoded part of the
// block, which the vector conversions leave to convert_each.
inline bool has_long_value(const ValueBits& bits) {
  const std::uint64_t digits = bits.digits;
  const std::uint64_t run_of_5 =
      digits & (digits << 1) & (digits << 2) & (digits << 3) & (digits << 4);
  const std::uint64_t decoded = ~std::uint64_t{0} >> (63 - highest_bit(bits.ends));
  return (run_of_5 & decoded) != 0;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the digit conversion loads bytes as little-endian words");

// The value of up to eight ASCII digits packed little-endian in chunk, most
// significant digit first, with unused leading bytes zero. Digit pairs, then
// quads, then the two halves are combined by multiplication (SWAR).
inline std::uint32_t eight_digit_value(std::uint64_t chunk) {
  chunk &= 0x0F0F0F0F0F0F0F0F;
  chunk = (chunk * 10 + (chunk >> 8)) & 0x00FF00FF00FF00FF;
  chunk = (chunk * 100 + (chunk >> 16)) & 0x0000FFFF0000FFFF;
  chunk = (chunk * 10000 + (chunk >> 32)) & 0xFFFFFFFF;
  return static_cast<std::uint32_t>(chunk);
}

// The value of up to four ASCII digits packed little-endian in chunk, the
// same way.
inline std::uint32_t four_digit_value(std::uint32_t chunk) {
  chunk &= 0x0F0F0F0F;
  chunk = (chunk * 10 + (chunk >> 8)) & 0x00FF00FF;
  return (chunk * 100 + (chunk >> 16)) & 0xFFFF;
}

// Converts the located values one at a time, stopping before one of more
// than eight digits.
inline Decoded convert_each(const char* block, ValueBits bits, std::int32_t* out) {
  Decoded done{0, 0};
  while (bits.ends != 0) {
    const unsigned first = lowest_bit(bits.starts);
    const unsigned last = lowest_bit(bits.ends);
    const unsigned length = last - first + 1;
    // The bytes that end with the last digit, those before the first digit
    // cleared; bytes_before keeps the loads inside the buffer.
    std::uint32_t magnitude;
    if (length <= 4) {
      std::uint32_t chunk;
      std::memcpy(&chunk, block + last - 3, sizeof chunk);
      magnitude = four_digit_value(chunk & (~std::uint32_t{0} << (8 * (4 - length))));
    } else if (length <= 8) {
      std::uint64_t chunk;
      std::memcpy(&chunk, block + last - 7, sizeof chunk);
      magnitude = eight_digit_value(chunk & (~std::uint64_t{0} << (8 * (8 - length))));
    } else {
      break;
    }
    const std::uint32_t minus = (bits.negative >> first) & 1;
    out[done.values++] = static_cast<std::int32_t>((magnitude ^ (0 - minus)) + minus);
    done.bytes = last + 1;
    bits.starts &= bits.starts - 1;
    bits.ends &= bits.ends - 1;
  }
  return done;
}

// Runs decode_block over the blocks from bytes on, as Decode describes;
// inlined into each decoder, so that the block code is inlined in turn and
// built for that decoder's instruction set.
template <typename DecodeBlock>
__attribute__((always_inline)) inline Decoded decode_blocks(DecodeBlock decode_block,
                                                            const char* bytes, std::size_t size,
                                                            std::int32_t* out, std::size_t room) {
  Decoded done{0, 0};
  while (size - done.bytes >= block_size && room - done.values >= max_values) {
    const Decoded block = decode_block(bytes + done.bytes, out + done.values);
    if (block.values == 0) break;
    done.values += block.values;
    done.bytes += block.bytes;
  }
  return done;
}

// The decoders, one per instruction set. Each file that defines one is only
// built where its instruction set can exist; *_runs_here tells whether this
// processor has it.
Decoded decode_portable(const char* bytes, std::size_t size, std::int32_t* out, std::size_t room);
Decoded decode_avx2(const char* bytes, std::size_t size, std::int32_t* out, std::size_t room);
bool avx2_runs_here();
Decoded decode_avx512(const char* bytes, std::size_t size, std::int32_t* out, std::size_t room);
bool avx512_runs_here();

}  // namespace qavrel::block_decoder
