// zstd input, decompressed by libzstd. A file may hold several frames one
// after the other; they are read as one stream. A frame cut short is an
// error. The window a frame may ask for is capped at 128 MiB, as zstd itself
// caps it unless told otherwise, so that frames made with --long or
// --ultra are read, and a damaged or hostile header can't make the reader
// take more memory than that.
#define ZSTD_STATIC_LINKING_ONLY  // for the frame header
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <memory>
#include <string>

#include "core/byte_stream.h"

namespace qavrel {
namespace {

constexpr int max_window_log = 27;
constexpr unsigned long long mebibyte = 1024ull * 1024;

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
        if (got == 0) return frame_open_ ? fail(std::string("zstd") + cut_short_ending) : 0;
        in_ = {compressed_.get(), static_cast<std::size_t>(got), 0};
        kept_to_ = 0;
      }
      if (!frame_open_) {
        header_.clear();
        kept_to_ = in_.pos;
      }
      keep_header();
      const std::size_t left = ZSTD_decompressStream(stream_.get(), &output, &in_);
      if (ZSTD_getErrorCode(left) == ZSTD_error_frameParameter_windowTooLarge)
        return fail(window_too_large());
      if (ZSTD_isError(left) != 0)
        return fail(std::string("corrupt zstd stream: ") + ZSTD_getErrorName(left));
      frame_open_ = left != 0;
    }
    return static_cast<std::ptrdiff_t>(output.pos);
  }

 private:
  // Keeps the first bytes of the current frame, which may come in more than
  // one piece, where its header tells the window it needs.
  void keep_header() {
    const std::size_t from = std::max(in_.pos, kept_to_);
    const std::size_t wanted =
        ZSTD_FRAMEHEADERSIZE_MAX - std::min(header_.size(), std::size_t{ZSTD_FRAMEHEADERSIZE_MAX});
    kept_to_ = from + std::min(wanted, in_.size - from);
    header_.append(static_cast<const char*>(in_.src) + from, kept_to_ - from);
  }

  // Why a frame whose window is over the cap is refused, with the window
  // its header asks for.
  std::string window_too_large() const {
    const std::string cap =
        "more than " + std::to_string((1ull << max_window_log) / mebibyte) + " MiB";
    ZSTD_frameHeader header{};
    if (ZSTD_getFrameHeader(&header, header_.data(), header_.size()) != 0)
      return "needs a window of " + cap;
    return "needs a window of " + std::to_string(header.windowSize / mebibyte) + " MiB, " + cap;
  }

  struct FreeStream {
    void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
  };

  std::unique_ptr<FileInput> input_;
  std::unique_ptr<char[]> compressed_;
  std::unique_ptr<ZSTD_DStream, FreeStream> stream_;
  ZSTD_inBuffer in_{nullptr, 0, 0};
  bool frame_open_ = false;
  std::string header_;       // the first bytes of the current frame
  std::size_t kept_to_ = 0;  // how far in_ went into header_
};

}  // namespace

std::unique_ptr<ByteStream> zstd_stream(std::unique_ptr<FileInput> input) {
  return std::make_unique<ZstdStream>(std::move(input));
}

}  // namespace qavrel
