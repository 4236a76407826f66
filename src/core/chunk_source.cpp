#include "core/chunk_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace qavrel {
namespace {

// Chunks in flight with a helper thread: one being decoded, the others
// being filled or waiting.
constexpr int ahead_chunks = 4;

}  // namespace

ChunkSource::ChunkSource(int fd, std::size_t chunk_size, bool read_ahead)
    : chunk_size_(chunk_size) {
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  // The stream is chosen by the file's first bytes, read here.
  stream_ = open_byte_stream(fd);
  checked_ = stream_->checked();
  // A file of a chunk or two is read before a helper thread would start.
  const bool worth_a_thread =
      regular && static_cast<std::uint64_t>(info.st_size) > 2 * std::uint64_t{chunk_size};
  const int count = read_ahead && worth_a_thread ? ahead_chunks : 1;
  for (int i = 0; i < count; ++i) {
    // Only the room before the data is cleared: the data is read before it
    // is looked at, and untouched pages of a large buffer cost nothing.
    std::unique_ptr<char[]> memory(new char[room_before + chunk_size]);
    std::memset(memory.get(), 0, room_before);
    buffers_.push_back(Buffer{std::move(memory), 0});
    empty_.push_back(i);
  }
  if (count > 1) helper_ = std::thread(&ChunkSource::read_ahead, this);
}

ChunkSource::~ChunkSource() {
  if (helper_.joinable()) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    helper_.join();
  }
}

// Fills buffer from the stream: as far as it goes when whole, otherwise
// with one read. Returns the bytes it holds; fewer than asked for when whole
// means the stream ended.
std::size_t ChunkSource::fill(Buffer& buffer, bool whole) {
  buffer.size = 0;
  if (ended_) return 0;
  do {
    const std::ptrdiff_t got =
        stream_->read(buffer.data() + buffer.size, chunk_size_ - buffer.size);
    if (got <= 0) {
      if (got < 0) error_ = stream_->error();
      ended_ = true;
      break;
    }
    buffer.size += static_cast<std::size_t>(got);
  } while (whole && buffer.size < chunk_size_);
  return buffer.size;
}

// The helper thread: fills empty buffers in turn until the stream ends or
// the reader goes away.
void ChunkSource::read_ahead() {
  for (;;) {
    int index = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !empty_.empty(); });
      if (stopping_) return;
      index = empty_.front();
      empty_.pop_front();
    }
    // An empty chunk marks the end, after the last one with bytes.
    const std::size_t size = fill(buffers_[static_cast<std::size_t>(index)], true);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      filled_.push_back(index);
    }
    changed_.notify_all();
    if (size == 0) return;
  }
}

ChunkSource::Chunk ChunkSource::next() {
  if (!helper_.joinable()) {
    Buffer& only = buffers_.front();
    return {only.data(), fill(only, false)};
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (current_ >= 0) empty_.push_back(current_);
  current_ = -1;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !filled_.empty(); });
  Buffer& buffer = buffers_[static_cast<std::size_t>(filled_.front())];
  // The empty chunk at the end stays there for any later call.
  if (buffer.size == 0) return {buffer.data(), 0};
  current_ = filled_.front();
  filled_.pop_front();
  return {buffer.data(), buffer.size};
}

void ChunkSource::check_rest() {
  if (!checked_) return;
  while (next().size > 0) {
  }
}

}  // namespace qavrel
