// libFuzzer target: the tool's reader, with both decoders and a small buffer,
// must read arbitrary bytes exactly as stream extraction does.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reference_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<Row> expected = reference_rows(text);
  if (reader_rows(text, 4096) != expected) std::abort();
  if (reader_rows(text, 128, Decoder::portable) != expected) std::abort();
  if (reader_rows(text, 200) != expected) std::abort();
  return 0;
}
