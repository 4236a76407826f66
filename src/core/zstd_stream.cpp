// zstd input, decompressed by libzstd. A file may hold several frames one
// after the other; they are read as one stream. A frame cut short is an
// error. The window a frame may ask for is capped, so that a damaged or
// hostile header can't make the reader take much memory.
#include <zstd.h>

#include <memory>
#include <string>

#include "core/byte_stream.h"

namespace qavrel {
namespace {

// 16 MiB: what every standard compression level up to 19 uses at most.
constexpr int max_window_log = 24;

class ZstdStream final : public ByteStream {
 public:
  explicit ZstdStream(std::unique_ptr<FileInput> input)
      : input_(std::move(input)),
        compressed_(new char[ZSTD_DStreamInSize()]),
        stream_(ZSTD_createDStream()) {
    if (stream_ != nullptr)
      ZSTD_DCtx_setParameter(stream_.get(), ZSTD_d_windowLogMax, max_window_log);
  }

  bool checked() const override { return true; }

  std::ptrdiff_t read(char* out, std::size_t size) override {
    if (stream_ == nullptr) return fail("out of memory for zstd");
    ZSTD_outBuffer output{out, size, 0};
    while (output.pos == 0) {
      if (in_.pos == in_.size) {
        const std::ptrdiff_t got = input_->read(compressed_.get(), ZSTD_DStreamInSize());
        if (got < 0) return fail(input_->error());
        // The end of the file may only come between frames.
        if (got == 0) return frame_open_ ? fail("zstd stream cut short") : 0;
        in_ = {compressed_.get(), static_cast<std::size_t>(got), 0};
      }
      const std::size_t left = ZSTD_decompressStream(stream_.get(), &output, &in_);
      if (ZSTD_isError(left) != 0)
        return fail(std::string("corrupt zstd stream: ") + ZSTD_getErrorName(left));
      frame_open_ = left != 0;
    }
    return static_cast<std::ptrdiff_t>(output.pos);
  }

 private:
  struct FreeStream {
    void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
  };

  std::unique_ptr<FileInput> input_;
  std::unique_ptr<char[]> compressed_;
  std::unique_ptr<ZSTD_DStream, FreeStream> stream_;
  ZSTD_inBuffer in_{nullptr, 0, 0};
  bool frame_open_ = false;
};

}  // namespace

std::unique_ptr<ByteStream> zstd_stream(std::unique_ptr<FileInput> input) {
  return std::make_unique<ZstdStream>(std::move(input));
}

}  // namespace qavrel
