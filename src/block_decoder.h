// The reader's fast path: decodes the plain values at the start of a block
// of input bytes, several bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace block_decoder {

// The byte classes of the sample format, as the C locale has them.
inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Bytes looked at per call.
constexpr std::size_t block_size = 64;
// Readable bytes the decoder may touch before the block.
constexpr std::size_t bytes_before = 8;
// Room the caller leaves in out: a block holds at most one value per two bytes.
constexpr std::size_t max_values = block_size / 2;

struct Decoded {
  std::size_t values;  // written to out
  std::size_t bytes;   // consumed from the block
};

// Decodes the values of the block that are plain (up to eight digits with an
// optional '-', separated by whitespace) and end inside it, stopping at the
// first that isn't. The byte before the block must not be a digit that the
// block's first byte continues. Values are as stream extraction reads them;
// zero values means the slow path must read the next one.
Decoded decode(const char* block, std::int32_t* out, bool use_wide_vectors);

// Whether this processor can run the 64-byte-vector variant.
bool wide_vectors_available();

}  // namespace block_decoder
