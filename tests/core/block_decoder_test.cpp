// Every decoder this machine runs, held to its contract on texts that put
// the awkward cases at every place of a block: a value ending on its last
// bytes or running past it, signs, four digits and more, junk.
#include "core/block_decoder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "reference_reader.h"

namespace {

using namespace qavrel;

using block_decoder::block_size;
using block_decoder::bytes_before;

// The values stream extraction reads from text, up to the first failure.
std::vector<std::int32_t> extracted(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::int32_t> values;
  for (std::int32_t value = 0; in >> value;) values.push_back(value);
  return values;
}

// Decodes text with decode as the reader does, and checks the contract:
// what it decoded is what stream extraction reads from the bytes it took,
// and it took them up to the end of a value, never into one.
void check(const std::string& text, const block_decoder::Implementation& decoder) {
  std::string buffer(bytes_before, ' ');
  buffer += text;
  std::vector<std::int32_t> out(4096);
  const block_decoder::Decoded decoded =
      decoder.decode(buffer.data() + bytes_before, text.size(), out.data(), out.size());
  out.resize(decoded.values);
  const std::string taken = text.substr(0, decoded.bytes);
  ASSERT_EQ(out, extracted(taken)) << decoder.name << ": [" << text << "]";
  ASSERT_TRUE(decoded.bytes == text.size() || !block_decoder::is_digit(text[decoded.bytes]) ||
              decoded.bytes == 0 || !block_decoder::is_digit(text[decoded.bytes - 1]))
      << decoder.name << " split a value: [" << text << "] at " << decoded.bytes;
}

TEST(BlockDecoder, AwkwardTokensAtEveryPlaceOfABlock) {
  const char* tokens[] = {"7",    "-7",    "4095",      "-4095",     "12345", "-1234567",
                          "0000", "-0",    "123456789", "+5",        "12ab",  "- 3",
                          "9\t8", "5\r\n", "--1",       "2147483648"};
  for (const block_decoder::Implementation& decoder : runnable_decoders()) {
    for (const char* token : tokens) {
      for (std::size_t place = 0; place < block_size + 8; ++place) {
        // Filler of plain three-digit values, then the token at that place.
        std::string text;
        while (text.size() < place) text += "412 ";
        text.resize(place);
        if (!text.empty()) text.back() = ' ';
        text += token;
        while (text.size() < 4 * block_size) text += " 387";
        text += '\n';
        check(text, decoder);
      }
    }
  }
}

}  // namespace
