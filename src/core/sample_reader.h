// Streams a sample file as rows of nchan integers, in constant memory. A
// gzip or zstd file is decompressed on the way (see byte_stream.h).
//
// Values are read exactly as C++ stream extraction of an int reads them in
// the C locale: whitespace is skipped, then an optional sign and decimal
// digits are taken up to the first character that can't continue them. A
// token that is not such a number, or that doesn't fit a signed 32-bit int,
// ends the input; so does end of file. A row cut short by the end is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/block_decoder.h"
#include "core/chunk_source.h"
#include "core/geometry.h"
#include "core/status.h"

namespace qavrel {

class SampleReader {
 public:
  static constexpr std::size_t default_buffer_size = std::size_t{256} * 1024;

  // read_ahead lets a helper thread read a regular file ahead of the
  // decoding; see chunk_source.h.
  explicit SampleReader(std::size_t buffer_size = default_buffer_size, bool read_ahead = true);
  ~SampleReader();
  SampleReader(const SampleReader&) = delete;
  SampleReader& operator=(const SampleReader&) = delete;

  // Opens path for reading; fails when it can't be opened or names a
  // directory.
  Status open(const char* path);
  // Reads from an already open descriptor, which the reader then owns.
  void attach(int fd);

  // Returns the next complete row of nchan values, or nullptr once the input
  // has ended. The row stays valid until the next call.
  const std::int32_t* next_row();

  // Why reading failed (a read error, a corrupt or cut compressed
  // stream); ok() when the input ended normally.
  const Status& read_error() const { return read_error_; }

  // Whether the input ended on a token that is not a number, rather than
  // at the end of the file; token_offset() is then the byte where that
  // token starts, counted in the text (after decompression).
  bool ended_on_token() const { return ended_on_token_; }
  std::uint64_t token_offset() const { return token_offset_; }

  // Whether the text read so far ends in the middle of a line: not empty,
  // and its last byte not a line feed. At the end of the file, a file still
  // being written tends to end so.
  bool ended_mid_line() const { return last_byte_ >= 0 && last_byte_ != '\n'; }

  // Decodes with the given block decoder instead of the chosen one, so that
  // tests can check every decoder the machine runs.
  void use_decoder(block_decoder::Decode decode) { decode_ = decode; }

 private:
  bool refill();
  int peek();
  bool read_value_slowly(std::int32_t& value);
  void fill_values();
  void end_on_token();
  std::size_t unparsed() const { return static_cast<std::size_t>(end_ - pos_); }
  std::uint64_t offset_of(const char* at) const {
    return chunk_offset_ + static_cast<std::uint64_t>(at - chunk_start_);
  }

  block_decoder::Decode decode_;
  std::size_t buffer_size_;
  bool read_ahead_;
  std::unique_ptr<ChunkSource> source_;
  Status read_error_;
  bool at_eof_ = false;
  bool input_ended_ = false;
  bool ended_on_token_ = false;
  std::uint64_t token_offset_ = 0;
  int last_byte_ = -1;  // of the text read so far; -1 before any

  // Bytes [pos_, end_) are read but not yet parsed; they lie in the current
  // chunk, or in the room before it, where the last chunk's tail was put.
  const char* pos_;
  const char* end_;
  // The byte at chunk_start_ is byte chunk_offset_ of the text.
  const char* chunk_start_ = nullptr;
  std::uint64_t chunk_offset_ = 0;

  // Values [first_value_, value_count_) of values_ are parsed but not yet
  // handed out as rows.
  static constexpr std::size_t value_capacity = 4096;
  std::int32_t values_[value_capacity] = {};
  std::size_t first_value_ = 0;
  std::size_t value_count_ = 0;
};

}  // namespace qavrel
