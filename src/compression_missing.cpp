// Stands in for the gzip or zstd stream when the build found no library for
// it: such a file is then refused, with the reason, rather than read as
// text.
#include <memory>
#include <string>

#include "byte_stream.h"

namespace {

class MissingStream final : public ByteStream {
 public:
  explicit MissingStream(const char* format) : format_(format) {}

  bool checked() const override { return true; }

  std::ptrdiff_t read(char*, std::size_t) override {
    return fail(std::string(format_) +
                " file, and this build reads none (its library was missing)");
  }

 private:
  const char* format_;
};

}  // namespace

#if !defined(XTALK_HAVE_GZIP)
std::unique_ptr<ByteStream> gzip_stream(std::unique_ptr<FileInput>) {
  return std::make_unique<MissingStream>("gzip");
}
#endif

#if !defined(XTALK_HAVE_ZSTD)
std::unique_ptr<ByteStream> zstd_stream(std::unique_ptr<FileInput>) {
  return std::make_unique<MissingStream>("zstd");
}
#endif
