// The reader's fast path: decodes the plain values at the start of a block
// of input bytes, several bytes at a time. There is one decoder per
// instruction set; the fastest one this processor runs is chosen once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qavrel::block_decoder {

// The byte classes of the sample format, as the C locale has them.
inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Bytes looked at per call.
constexpr std::size_t block_size = 64;
// Readable bytes the decoder may touch before the block.
constexpr std::size_t bytes_before = 8;
// Room the caller leaves in out: a block holds at most one value per two
// bytes, and a decoder may store up to four slots beyond the last value.
constexpr std::size_t max_values = block_size / 2 + 4;

struct Decoded {
  std::size_t values;  // written to out
  std::size_t bytes;   // consumed from the block
};

// Decodes the plain values (up to eight digits with an optional '-',
// separated by whitespace) from bytes on, a block at a time, while a whole
// block is left within size and room is left in out for a block's values,
// and stops before the first block that starts with a value that isn't
// plain. The byte before bytes must not be a digit that the first byte
// continues. Values are as stream extraction reads them; none decoded means
// the slow path must read the next one.
using Decode = Decoded (*)(const char* bytes, std::size_t size, std::int32_t* out,
                           std::size_t room);

struct Implementation {
  const char* name;  // "avx512", "avx2" or "portable"
  Decode decode;
};

// The decoders this processor can run, fastest first; the last is portable.
// Tests run them all against the exact byte-by-byte reading.
const Implementation* runnable_implementations(std::size_t& count);

// The decoder the reader uses: the fastest runnable one, unless the build
// names another (QAVREL_DECODER, for the benchmark).
const Implementation& chosen_implementation();

}  // namespace qavrel::block_decoder
