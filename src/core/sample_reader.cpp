#include "core/sample_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace qavrel {
namespace {

using block_decoder::block_size;
using block_decoder::is_digit;
using block_decoder::is_space;

// The smallest chunk that still leaves room for a whole block after a refill.
constexpr std::size_t min_buffer_size = 2 * block_size;
// The bytes carried from one chunk to the next are fewer than a block, and
// the block decoder reads a few bytes before them.
static_assert(block_size + block_decoder::bytes_before + 1 <= ChunkSource::room_before,
              "room before a chunk for the carried bytes");

}  // namespace

SampleReader::SampleReader(std::size_t buffer_size, bool read_ahead)
    : decode_(block_decoder::chosen_implementation().decode),
      buffer_size_(std::max(buffer_size, min_buffer_size)),
      read_ahead_(read_ahead),
      pos_(nullptr),
      end_(nullptr) {}

SampleReader::~SampleReader() = default;

Status SampleReader::open(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::from_errno(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return Status::from_errno(error);
  }
  attach(fd);
  return {};
}

void SampleReader::attach(int fd) {
  source_ = std::make_unique<ChunkSource>(fd, buffer_size_, read_ahead_);
}

// Moves on to the next chunk, with the unparsed tail of this one in front
// of it. Returns false at the end of the input or after a read error.
bool SampleReader::refill() {
  if (at_eof_ || source_ == nullptr) return false;
  const std::uint64_t pos_offset = offset_of(pos_);
  char tail[block_size];
  const std::size_t tail_size = unparsed();
  if (tail_size > 0) std::memcpy(tail, pos_, tail_size);
  const ChunkSource::Chunk chunk = source_->next();
  // The byte before the tail is whatever the chunk last held; a space
  // keeps a digit there from joining the tail's first value.
  char* const start = chunk.data - tail_size;
  if (tail_size > 0) std::memcpy(start, tail, tail_size);
  start[-1] = ' ';
  chunk_start_ = start;
  chunk_offset_ = pos_offset;
  pos_ = start;
  end_ = chunk.data + chunk.size;
  if (chunk.size > 0) {
    last_byte_ = static_cast<unsigned char>(chunk.data[chunk.size - 1]);
    return true;
  }
  read_error_ = source_->error();
  at_eof_ = true;
  return false;
}

// The next unparsed byte, or -1 at the end of the input.
int SampleReader::peek() {
  if (pos_ == end_ && !refill()) return -1;
  return static_cast<unsigned char>(*pos_);
}

// Reads one value byte by byte, exactly as stream extraction does. Returns
// false when no value can be read, which ends the input.
bool SampleReader::read_value_slowly(std::int32_t& value) {
  int c = peek();
  while (is_space(c)) {
    ++pos_;
    c = peek();
  }
  token_offset_ = offset_of(pos_);
  const bool negative = c == '-';
  if (c == '+' || c == '-') {
    ++pos_;
    c = peek();
  }
  if (!is_digit(c)) return false;
  const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
  std::uint64_t magnitude = 0;
  while (is_digit(c)) {
    magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
    if (magnitude > limit) return false;
    ++pos_;
    c = peek();
  }
  value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                             : static_cast<std::int64_t>(magnitude));
  return true;
}

// Parses values until the value array is nearly full or the input ends.
void SampleReader::fill_values() {
  const std::size_t left = value_count_ - first_value_;
  std::memmove(values_, values_ + first_value_, left * sizeof values_[0]);
  first_value_ = 0;
  value_count_ = left;
  while (!input_ended_ && value_count_ + block_decoder::max_values <= value_capacity) {
    if (unparsed() < block_size && refill()) continue;
    if (unparsed() >= block_size) {
      // pos_ never splits a value: it is where a value, or the input, began.
      const block_decoder::Decoded decoded =
          decode_(pos_, unparsed(), values_ + value_count_, value_capacity - value_count_);
      pos_ += decoded.bytes;
      value_count_ += decoded.values;
      if (decoded.values > 0) continue;
    }
    std::int32_t value = 0;
    if (read_value_slowly(value))
      values_[value_count_++] = value;
    else if (at_eof_ && pos_ == end_ && token_offset_ == offset_of(pos_))
      input_ended_ = true;
    else
      end_on_token();
  }
}

// A token that is no value ends the input. Damage in a compressed stream
// may show as such a token first, so the rest of the stream is read to let
// its checks tell.
void SampleReader::end_on_token() {
  input_ended_ = true;
  ended_on_token_ = true;
  if (at_eof_ || source_ == nullptr) return;
  source_->check_rest();
  read_error_ = source_->error();
}

const std::int32_t* SampleReader::next_row() {
  if (value_count_ - first_value_ < nchan) fill_values();
  if (value_count_ - first_value_ < nchan) return nullptr;
  const std::int32_t* row = values_ + first_value_;
  first_value_ += nchan;
  return row;
}

}  // namespace qavrel
