// Streams a sample file as rows of nchan integers, in constant memory.
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

#include "xtalk.h"

class SampleReader {
 public:
  static constexpr std::size_t default_buffer_size = std::size_t{256} * 1024;

  explicit SampleReader(std::size_t buffer_size = default_buffer_size);
  ~SampleReader();
  SampleReader(const SampleReader&) = delete;
  SampleReader& operator=(const SampleReader&) = delete;

  // Opens path for reading; false, with errno set, when it can't be opened
  // or names a directory.
  bool open(const char* path);
  // Reads from an already open descriptor, which the reader then owns.
  void attach(int fd);

  // Returns the next complete row of nchan values, or nullptr once the input
  // has ended. The row stays valid until the next call.
  const std::int32_t* next_row();

  // The errno of a read that failed, or 0 when the input ended normally.
  int read_error() const { return read_error_; }

  // Keeps to the portable decoder even where wider vectors are available,
  // so that tests can check both on one machine.
  void use_portable_decoder() { wide_vectors_ = false; }

 private:
  bool refill();
  int peek();
  bool read_value_slowly(std::int32_t& value);
  void fill_values();

  int fd_ = -1;
  int read_error_ = 0;
  bool at_eof_ = false;
  bool input_ended_ = false;

  // Bytes [pos_, end_) of buffer_ are read but not yet parsed.
  std::size_t buffer_size_;
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_;
  std::size_t end_;
  bool wide_vectors_;

  // Values [first_value_, value_count_) of values_ are parsed but not yet
  // handed out as rows.
  static constexpr std::size_t value_capacity = 4096;
  std::int32_t values_[value_capacity] = {};
  std::size_t first_value_ = 0;
  std::size_t value_count_ = 0;
};
