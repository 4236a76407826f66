// gzip input, inflated by ISA-L's igzip. A file may hold several gzip
// members one after the other (as `cat a.gz b.gz` makes); they are read as
// one stream. Zero bytes after the last member, which tapes and some
// archivers add, are padding, as gzip itself takes them. Anything else after
// a member, or a member cut short, is an error.
#include <isa-l/igzip_lib.h>

#include <cstdint>
#include <memory>

#include "core/byte_stream.h"

namespace qavrel {
namespace {

constexpr std::size_t input_size = std::size_t{128} * 1024;
constexpr std::uint8_t gzip_magic = 0x1f;  // the first byte of every member

const char* inflate_error(int status) {
  switch (status) {
    case ISAL_INVALID_WRAPPER:
    case ISAL_UNSUPPORTED_METHOD:
      return "corrupt gzip header";
    case ISAL_INCORRECT_CHECKSUM:
      return "gzip checksum mismatch";
    default:
      return "corrupt gzip data";
  }
}

class GzipStream final : public ByteStream {
 public:
  explicit GzipStream(std::unique_ptr<FileInput> input)
      : input_(std::move(input)),
        compressed_(new std::uint8_t[input_size]),
        state_(std::make_unique<inflate_state>()) {
    start_member();
  }

  bool checked() const override { return true; }

  std::ptrdiff_t read(char* out, std::size_t size) override {
    state_->next_out = reinterpret_cast<std::uint8_t*>(out);
    state_->avail_out = static_cast<std::uint32_t>(size);
    while (state_->avail_out == size) {
      if (state_->block_state == ISAL_BLOCK_FINISH) {
        // The end of the file may only come between members.
        const Refill refill = state_->avail_in > 0 ? Refill::got : refill_input();
        if (refill != Refill::got) return refill == Refill::end ? 0 : -1;
        if (*state_->next_in == 0) return end_of_padding();
        if (*state_->next_in != gzip_magic) return fail("data after the end of the gzip stream");
        start_member();
      }
      if (state_->avail_in == 0) {
        const Refill refill = refill_input();
        if (refill == Refill::failed) return -1;
        if (refill == Refill::end) return fail(std::string("gzip") + cut_short_ending);
      }
      const int status = isal_inflate(state_.get());
      if (status < 0) return fail(inflate_error(status));
    }
    return static_cast<std::ptrdiff_t>(size - state_->avail_out);
  }

 private:
  enum class Refill { got, end, failed };

  // Starts a member with the compressed input that is left and the room
  // for output, which a fresh state forgets.
  void start_member() {
    const inflate_state buffers = *state_;
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_GZIP;
    state_->next_in = buffers.next_in;
    state_->avail_in = buffers.avail_in;
    state_->next_out = buffers.next_out;
    state_->avail_out = buffers.avail_out;
  }

  // Reads zero bytes up to the end of the file: 0 there, an error at any
  // other byte.
  std::ptrdiff_t end_of_padding() {
    for (;;) {
      for (; state_->avail_in > 0; ++state_->next_in, --state_->avail_in)
        if (*state_->next_in != 0) return fail("data after the end of the gzip stream");
      const Refill refill = refill_input();
      if (refill != Refill::got) return refill == Refill::end ? 0 : -1;
    }
  }

  Refill refill_input() {
    const std::ptrdiff_t got = input_->read(reinterpret_cast<char*>(compressed_.get()), input_size);
    if (got < 0) {
      fail(input_->error());
      return Refill::failed;
    }
    state_->next_in = compressed_.get();
    state_->avail_in = static_cast<std::uint32_t>(got);
    return got > 0 ? Refill::got : Refill::end;
  }

  std::unique_ptr<FileInput> input_;
  std::unique_ptr<std::uint8_t[]> compressed_;
  std::unique_ptr<inflate_state> state_;
};

}  // namespace

std::unique_ptr<ByteStream> gzip_stream(std::unique_ptr<FileInput> input) {
  return std::make_unique<GzipStream>(std::move(input));
}

}  // namespace qavrel
