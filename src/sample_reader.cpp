#include "sample_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "block_decoder.h"

namespace {

using block_decoder::block_size;
using block_decoder::is_digit;
using block_decoder::is_space;

// Bytes kept readable before the parse position, for the block decoder.
constexpr std::size_t front_pad = block_decoder::bytes_before;
// The smallest buffer that still leaves room for a whole block after a refill.
constexpr std::size_t min_buffer_size = 2 * block_size;

}  // namespace

SampleReader::SampleReader(std::size_t buffer_size)
    : buffer_size_(std::max(buffer_size, min_buffer_size)),
      buffer_(new char[front_pad + buffer_size_]()),
      pos_(front_pad),
      end_(front_pad),
      wide_vectors_(block_decoder::wide_vectors_available()) {}

SampleReader::~SampleReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool SampleReader::open(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    errno = error;
    return false;
  }
  attach(fd);
  return true;
}

void SampleReader::attach(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

// Moves the unparsed tail to the front and reads more behind it. Returns
// false at end of file or after a read error.
bool SampleReader::refill() {
  if (at_eof_) return false;
  const std::size_t tail = end_ - pos_;
  std::memmove(buffer_.get() + front_pad, buffer_.get() + pos_, tail);
  pos_ = front_pad;
  end_ = front_pad + tail;
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.get() + end_, front_pad + buffer_size_ - end_);
    if (got > 0) {
      end_ += static_cast<std::size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) read_error_ = errno;
    at_eof_ = true;
    return false;
  }
}

// The next unparsed byte, or -1 at the end of the input.
int SampleReader::peek() {
  if (pos_ == end_ && !refill()) return -1;
  return static_cast<unsigned char>(buffer_[pos_]);
}

// Reads one value byte by byte, exactly as stream extraction does. Returns
// false when no value can be read, which ends the input.
bool SampleReader::read_value_slowly(std::int32_t& value) {
  int c = peek();
  while (is_space(c)) {
    ++pos_;
    c = peek();
  }
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
    if (end_ - pos_ < block_size && refill()) continue;
    if (end_ - pos_ >= block_size) {
      // pos_ never splits a value: it is where a value, or the input, began.
      const block_decoder::Decoded decoded =
          block_decoder::decode(buffer_.get() + pos_, values_ + value_count_, wide_vectors_);
      pos_ += decoded.bytes;
      value_count_ += decoded.values;
      if (decoded.values > 0) continue;
    }
    std::int32_t value = 0;
    if (read_value_slowly(value))
      values_[value_count_++] = value;
    else
      input_ended_ = true;
  }
}

const std::int32_t* SampleReader::next_row() {
  if (value_count_ - first_value_ < nchan) fill_values();
  if (value_count_ - first_value_ < nchan) return nullptr;
  const std::int32_t* row = values_ + first_value_;
  first_value_ += nchan;
  return row;
}
