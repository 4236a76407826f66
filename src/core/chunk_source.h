// Hands the sample reader its input in large chunks. From a regular file, a
// helper thread reads (and decompresses) the next chunks while the reader
// decodes the current one. From a pipe or FIFO each chunk is read only when
// the reader asks for it, with a single read, so that the reader never
// waits for more than the writer has sent.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_stream.h"
#include "core/status.h"

namespace qavrel {

class ChunkSource {
 public:
  // Writable bytes before each chunk, for what the reader carries over.
  static constexpr std::size_t room_before = 128;

  struct Chunk {
    char* data;
    std::size_t size;  // 0 at the end of the input or after an error
  };

  // Takes over fd, and reads its first bytes to tell what it holds.
  // read_ahead allows the helper thread for a regular file.
  ChunkSource(int fd, std::size_t chunk_size, bool read_ahead);
  ~ChunkSource();
  ChunkSource(const ChunkSource&) = delete;
  ChunkSource& operator=(const ChunkSource&) = delete;

  // The next chunk. The one returned before is handed back and must no
  // longer be used.
  Chunk next();

  // Reads the rest of a compressed stream, which may still turn out to be
  // damaged, so that error() tells; does nothing for plain input.
  void check_rest();

  // Why the input ended early (a read error, a corrupt or cut compressed
  // stream); ok() when it simply ended. Valid once next() returned an empty
  // chunk.
  const Status& error() const { return error_; }

 private:
  struct Buffer {
    std::unique_ptr<char[]> memory;
    std::size_t size = 0;
    char* data() const { return memory.get() + room_before; }
  };

  std::size_t fill(Buffer& buffer, bool whole);
  void read_ahead();

  std::unique_ptr<ByteStream> stream_;
  bool checked_;
  std::size_t chunk_size_;
  std::vector<Buffer> buffers_;
  int current_ = -1;
  bool ended_ = false;  // the stream is at its end or failed
  Status error_;

  // Shared with the helper thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<int> filled_;
  std::deque<int> empty_;
  bool stopping_ = false;
  std::thread helper_;
};

}  // namespace qavrel
