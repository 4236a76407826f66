// Any bytes to valid UTF-8 and back, for a server that keeps only UTF-8.
#include "campaign/store/text_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "campaign/common/text.h"

namespace {

using namespace qavrel::campaign;

// Sent as the server would hold it, and read back.
void expect_round_trip(const std::string& bytes) {
  const std::string sent = utf8_from_bytes(bytes);
  EXPECT_TRUE(is_utf8(sent)) << testing::PrintToString(bytes);
  EXPECT_EQ(bytes_from_utf8(sent), bytes) << testing::PrintToString(bytes);
}

TEST(CampaignTextBytes, ValidUtf8PassesUnchanged) {
  for (const std::string text :
       {"", "plain", "it's \"quoted\"", "back\\slash", "new\nline\ttab", "Grüße, Ωμέγα, 日本",
        "\xF0\x9F\x98\x80 emoji", "\xF4\x8F\xBD\xBF just below the mapped characters"}) {
    EXPECT_EQ(utf8_from_bytes(text), text);
    EXPECT_EQ(bytes_from_utf8(text), text);
  }
}

TEST(CampaignTextBytes, EverySingleByteRoundTrips) {
  for (int byte = 1; byte <= 0xFF; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    expect_round_trip(one);
    expect_round_trip("a" + one + "b");
  }
}

TEST(CampaignTextBytes, InvalidSequencesRoundTrip) {
  const std::vector<std::string> invalid = {
      "\xC3",                // truncated two-byte sequence
      "\xE2\x82",            // truncated three-byte sequence
      "\xF0\x9F\x98",        // truncated four-byte sequence
      "\xC0\xAF",            // overlong '/'
      "\xE0\x80\xAF",        // overlong, three bytes
      "\xF0\x80\x80\xAF",    // overlong, four bytes
      "\xED\xA0\x80",        // a surrogate
      "\xF4\x90\x80\x80",    // beyond U+10FFFF
      "\xFE\xFF",            // never in UTF-8
      "name-\xE9t\xE9.bin",  // Latin-1 file name
      "\xF4\x8F\xBE",        // a mapped character, cut short
  };
  for (const std::string& bytes : invalid) {
    EXPECT_NE(utf8_from_bytes(bytes), bytes);
    expect_round_trip(bytes);
  }
}

// The characters the mapping uses, when genuinely in a name, must not be
// read back as the bytes they stand for.
TEST(CampaignTextBytes, MappedCharactersInTheInputRoundTrip) {
  for (const std::string bytes : {"\xF4\x8F\xBE\x80", "\xF4\x8F\xBE\xA9", "\xF4\x8F\xBF\xBF",
                                  "x\xF4\x8F\xBF\x80y", "\xF4\x8F\xBE\x80\xE9"}) {
    expect_round_trip(bytes);
  }
  // A genuine U+10FFE9 and the stray byte 0xE9 stay apart.
  EXPECT_NE(utf8_from_bytes("\xF4\x8F\xBF\xA9"), utf8_from_bytes("\xE9"));
}

TEST(CampaignTextBytes, AStrayByteBecomesItsPrivateUseCharacter) {
  EXPECT_EQ(utf8_from_bytes("\x80"), "\xF4\x8F\xBE\x80");  // U+10FF80
  EXPECT_EQ(utf8_from_bytes("\xFF"), "\xF4\x8F\xBF\xBF");  // U+10FFFF
  EXPECT_EQ(utf8_from_bytes("a\xC0z"), "a\xF4\x8F\xBF\x80z");
}

}  // namespace
