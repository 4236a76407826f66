// The bytes of a sample file: the file itself or, when its first bytes say
// it is gzip or zstd, what it decompresses to.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/status.h"

namespace qavrel {

// How a compressed stream that ends before its end says so: "gzip stream
// cut short", as a file still being written ends.
constexpr const char* cut_short_ending = " stream cut short";

// Whether a reading failed because the compressed stream ended early.
bool is_cut_short(const Status& read);

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // Fills up to size bytes of out. Returns how many, 0 at the end, or -1
  // after an error, which error() then describes.
  virtual std::ptrdiff_t read(char* out, std::size_t size) = 0;

  const Status& error() const { return error_; }

  // Whether the stream can tell damage, as a compressed one can by its
  // structure and checksums.
  virtual bool checked() const { return false; }

 protected:
  std::ptrdiff_t fail(Status error) {
    error_ = std::move(error);
    return -1;
  }
  std::ptrdiff_t fail(std::string reason) { return fail(Status::failure(std::move(reason))); }

 private:
  Status error_;
};

// The raw bytes of an open file descriptor, which it owns, with a few bytes
// already read from it put back in front.
class FileInput {
 public:
  FileInput(int fd, std::string already_read);
  ~FileInput();
  FileInput(const FileInput&) = delete;
  FileInput& operator=(const FileInput&) = delete;

  // As ByteStream::read; error() tells why it failed.
  std::ptrdiff_t read(char* out, std::size_t size);
  const Status& error() const { return error_; }

 private:
  int fd_;
  Status error_;
  std::string already_read_;
};

// The stream of the file open on fd, which it then owns, chosen by the
// file's first bytes, never by its name. When those bytes can't be read,
// the stream's first read fails with the reason.
std::unique_ptr<ByteStream> open_byte_stream(int fd);

// The decompressing streams, over the file's raw bytes.
std::unique_ptr<ByteStream> gzip_stream(std::unique_ptr<FileInput> input);
std::unique_ptr<ByteStream> zstd_stream(std::unique_ptr<FileInput> input);

// A stream that refuses a file of the given format, whose library the build
// lacked.
std::unique_ptr<ByteStream> missing_library_stream(const char* format);

}  // namespace qavrel
