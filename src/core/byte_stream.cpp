#include "core/byte_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qavrel {
namespace {

constexpr std::size_t magic_size = 4;

// The file as it is.
class PlainStream final : public ByteStream {
 public:
  explicit PlainStream(std::unique_ptr<FileInput> input) : input_(std::move(input)) {}

  std::ptrdiff_t read(char* out, std::size_t size) override {
    const std::ptrdiff_t got = input_->read(out, size);
    return got >= 0 ? got : fail(input_->error());
  }

 private:
  std::unique_ptr<FileInput> input_;
};

// A file whose first bytes could not be read.
class FailedStream final : public ByteStream {
 public:
  explicit FailedStream(Status error) : error_(std::move(error)) {}
  std::ptrdiff_t read(char*, std::size_t) override { return fail(error_); }

 private:
  Status error_;
};

class MissingLibraryStream final : public ByteStream {
 public:
  explicit MissingLibraryStream(const char* format) : format_(format) {}

  bool checked() const override { return true; }

  std::ptrdiff_t read(char*, std::size_t) override {
    return fail(std::string(format_) +
                " file, and this build reads none (its library was missing)");
  }

 private:
  const char* format_;
};

bool starts_with(const std::string& bytes, const char* magic, std::size_t size) {
  return bytes.size() >= size && std::memcmp(bytes.data(), magic, size) == 0;
}

// A zstd frame, or a skippable frame, which may come first in a zstd file.
bool is_zstd(const std::string& bytes) {
  return starts_with(bytes, "\x28\xb5\x2f\xfd", 4) ||
         (bytes.size() >= 4 && (static_cast<unsigned char>(bytes[0]) & 0xF0) == 0x50 &&
          starts_with(bytes.substr(1), "\x2a\x4d\x18", 3));
}

}  // namespace

bool is_cut_short(const Status& read) {
  const std::string& reason = read.reason();
  const std::string ending = cut_short_ending;
  return !read.ok() && reason.size() >= ending.size() &&
         reason.compare(reason.size() - ending.size(), ending.size(), ending) == 0;
}

FileInput::FileInput(int fd, std::string already_read)
    : fd_(fd), already_read_(std::move(already_read)) {}

FileInput::~FileInput() { ::close(fd_); }

std::ptrdiff_t FileInput::read(char* out, std::size_t size) {
  if (!already_read_.empty()) {
    const std::size_t taken = std::min(size, already_read_.size());
    std::memcpy(out, already_read_.data(), taken);
    already_read_.erase(0, taken);
    return static_cast<std::ptrdiff_t>(taken);
  }
  for (;;) {
    const ssize_t got = ::read(fd_, out, size);
    if (got >= 0) return got;
    if (errno != EINTR) {
      error_ = Status::from_errno(errno);
      return -1;
    }
  }
}

std::unique_ptr<ByteStream> missing_library_stream(const char* format) {
  return std::make_unique<MissingLibraryStream>(format);
}

std::unique_ptr<ByteStream> open_byte_stream(int fd) {
  // A pipe may hand over fewer bytes than asked for.
  std::string first(magic_size, '\0');
  std::size_t have = 0;
  while (have < magic_size) {
    const ssize_t got = ::read(fd, first.data() + have, magic_size - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const Status error = Status::from_errno(errno);
      ::close(fd);
      return std::make_unique<FailedStream>(error);
    }
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  first.resize(have);
  const bool gzip = starts_with(first, "\x1f\x8b", 2);
  const bool zstd = is_zstd(first);
  auto input = std::make_unique<FileInput>(fd, std::move(first));
  if (gzip) return gzip_stream(std::move(input));
  if (zstd) return zstd_stream(std::move(input));
  return std::make_unique<PlainStream>(std::move(input));
}

}  // namespace qavrel
