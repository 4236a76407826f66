// libFuzzer target: the tool's reader, with every decoder and small buffers,
// must read arbitrary bytes exactly as stream extraction does.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reference_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<Row> expected = reference_rows(text);
  static const std::vector<qavrel::block_decoder::Implementation> decoders = runnable_decoders();
  for (const qavrel::block_decoder::Implementation& decoder : decoders) {
    if (reader_rows(text, 4096, decoder.decode) != expected) std::abort();
    if (reader_rows(text, 200, decoder.decode) != expected) std::abort();
  }
  return 0;
}
