#include "core/sample_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "reference_reader.h"
#include "sample_gen.h"

namespace {

using namespace qavrel;

std::string ones(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "1 ";
  return text;
}

// The values of all complete rows, after checking that the plain reading agrees.
std::vector<std::int32_t> parsed(const std::string& text) {
  const std::vector<Row> rows = reader_rows(text);
  EXPECT_EQ(rows, reference_rows(text)) << "input: " << text;
  for (const block_decoder::Implementation& decoder : runnable_decoders())
    EXPECT_EQ(reader_rows(text, 128, decoder.decode), rows) << decoder.name << ", input: " << text;
  std::vector<std::int32_t> values;
  for (const Row& row : rows) values.insert(values.end(), row.begin(), row.end());
  return values;
}

// A row of ones that ends with the given values.
std::vector<std::int32_t> ones_then(std::vector<std::int32_t> tail) {
  std::vector<std::int32_t> values(nchan - tail.size(), 1);
  values.insert(values.end(), tail.begin(), tail.end());
  return values;
}

TEST(SampleReader, SignsZerosAndWhitespaceKinds) {
  EXPECT_EQ(parsed(ones(31) + "+5"), ones_then({5}));
  EXPECT_EQ(parsed(ones(31) + "-5"), ones_then({-5}));
  EXPECT_EQ(parsed(ones(31) + "-0"), ones_then({0}));
  EXPECT_EQ(parsed(ones(31) + "007"), ones_then({7}));
  EXPECT_EQ(parsed(ones(31) + "-0000000000000000000000000042"), ones_then({-42}));
  EXPECT_EQ(parsed(ones(31) + "\t\n\v\f\r 9\t\n\v\f\r "), ones_then({9}));
  EXPECT_EQ(parsed(ones(30) + "12-5"), ones_then({12, -5}));
}

TEST(SampleReader, RangeLimits) {
  EXPECT_EQ(parsed(ones(31) + "2147483647"), ones_then({2147483647}));
  EXPECT_EQ(parsed(ones(31) + "-2147483648"), ones_then({-2147483647 - 1}));
  EXPECT_EQ(parsed(ones(31) + "00000000002147483647"), ones_then({2147483647}));
  EXPECT_TRUE(parsed(ones(31) + "2147483648").empty());
  EXPECT_TRUE(parsed(ones(31) + "-2147483649").empty());
  EXPECT_TRUE(parsed(ones(31) + "99999999999999999999999").empty());
}

TEST(SampleReader, JunkEndsTheInputAfterTheValueItCuts) {
  EXPECT_EQ(parsed(ones(31) + "12abc " + ones(32)), ones_then({12}));
  EXPECT_EQ(parsed(ones(31) + "1.5 " + ones(32)), ones_then({1}));
  EXPECT_EQ(parsed(ones(31) + "0x1F " + ones(32)), ones_then({0}));
  for (const char* junk : {"+", "-", "- 5", "--5", "+-5", "abc", ".5", "\xff", "\x80"}) {
    EXPECT_TRUE(parsed(ones(31) + junk + " " + ones(32)).empty()) << junk;
    EXPECT_EQ(parsed(ones(32) + junk + " " + ones(32)).size(), 32u) << junk;
  }
  const std::string with_nul = ones(32) + std::string("7\0 8 ", 5) + ones(32);
  EXPECT_EQ(parsed(with_nul).size(), 32u);
}

TEST(SampleReader, IncompleteLastRowIsDropped) {
  EXPECT_TRUE(parsed("").empty());
  EXPECT_TRUE(parsed(" \n\t ").empty());
  EXPECT_TRUE(parsed(ones(31)).empty());
  EXPECT_EQ(parsed(ones(32)).size(), 32u);
  EXPECT_EQ(parsed(ones(63)).size(), 32u);
  EXPECT_EQ(parsed(ones(64) + "\n\n").size(), 64u);
}

TEST(SampleReader, LineLayoutCarriesNoMeaning) {
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.trains = 1;
  recipe.noise = 3;
  const std::vector<Row> rows = reader_rows(samples_text(recipe));
  ASSERT_EQ(rows.size(), 5 + 3 + 218 + 20u);
  for (const auto& [value_separator, row_separator] :
       {std::pair{" ", "\r\n"}, {"\t", "\n"}, {"\n", "\n"}, {" ", " "}, {"   ", "\n\n"}}) {
    recipe.value_separator = value_separator;
    recipe.row_separator = row_separator;
    std::string text = samples_text(recipe);
    EXPECT_EQ(reader_rows(text), rows);
    text.pop_back();  // no line end after the last row
    EXPECT_EQ(reader_rows(text), rows);
  }
}

// Text made of pieces chosen to hit every rule of the format, in random mixes.
std::string random_text(std::mt19937& random) {
  static const std::string pieces[] = {" ",           " ",
                                       " ",           "\n",
                                       "\t",          "\r\n",
                                       "\v",          "\f",
                                       "  ",          "-",
                                       "+",           "0",
                                       "00",          "7",
                                       "42",          "-13",
                                       "512",         "-300",
                                       "4095",        "12345678",
                                       "123456789",   "999999999",
                                       "1000000000",  "2147483647",
                                       "2147483648",  "-2147483648",
                                       "-2147483649", "4294967296",
                                       "99999999999", "000000000000000000000000000001",
                                       "a",           ".",
                                       "x",           std::string(1, '\0'),
                                       "\xff",        "-+"};
  const int length = std::uniform_int_distribution<int>(0, 400)(random);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
  std::bernoulli_distribution junk_allowed(0.3);
  const bool allow_junk = junk_allowed(random);
  std::string text;
  for (int i = 0; i < length; ++i) {
    const std::size_t choice = pick(random);
    if (choice >= std::size(pieces) - 6 && !allow_junk) continue;
    text += pieces[choice];
  }
  return text;
}

// Realistic rows with a few bytes damaged at random.
std::string damaged_samples(std::mt19937& random) {
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.trains = 0;
  recipe.cut_rows = std::uniform_int_distribution<int>(0, 40)(random);
  recipe.noise = 30;
  recipe.seed = random();
  std::string text = samples_text(recipe);
  const int damage = std::uniform_int_distribution<int>(0, 3)(random);
  for (int i = 0; i < damage && !text.empty(); ++i) {
    const std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(random);
    text[at] = "+-\t\r.x0 9"[random() % 9];
  }
  text.resize(std::uniform_int_distribution<std::size_t>(0, text.size())(random));
  return text;
}

TEST(SampleReader, AgreesWithStreamExtractionOnGeneratedInputs) {
  const char* requested = std::getenv("QAVREL_DIFF_ITERATIONS");
  const long iterations = requested != nullptr ? std::strtol(requested, nullptr, 10) : 3000;
  const std::vector<block_decoder::Implementation> decoders = runnable_decoders();
  std::mt19937 random(20261208);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same cases every run
  for (long i = 0; i < iterations; ++i) {
    const std::string text = i % 2 == 0 ? random_text(random) : damaged_samples(random);
    const std::size_t buffer_size = std::uniform_int_distribution<std::size_t>(1, 600)(random);
    const std::vector<Row> expected = reference_rows(text);
    for (const block_decoder::Implementation& decoder : decoders)
      ASSERT_EQ(reader_rows(text, buffer_size, decoder.decode), expected)
          << decoder.name << ", case " << i << ", buffer " << buffer_size;
    ASSERT_EQ(reader_rows(text, buffer_size, nullptr, false), expected) << "case " << i;
  }
}

}  // namespace

namespace {

// A pipe hands over whatever the writer has sent, a few bytes at a time
// here; the rows must come out as from a file.
TEST(SampleReader, PipeInSmallPiecesReadsAsAFile) {
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.trains = 2;
  recipe.noise = 3;
  const std::string text = samples_text(recipe);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::thread writer([&] {
    for (std::size_t at = 0; at < text.size(); at += 37)
      if (write(ends[1], text.data() + at, std::min<std::size_t>(37, text.size() - at)) < 0) break;
    close(ends[1]);
  });
  SampleReader reader(128);
  reader.attach(ends[0]);
  std::vector<Row> rows;
  while (const std::int32_t* row = reader.next_row()) {
    Row copy;
    std::copy(row, row + nchan, copy.begin());
    rows.push_back(copy);
  }
  writer.join();
  EXPECT_EQ(rows, reference_rows(text));
}

// Junk near the start of a large file ends the reading while the helper
// thread is reading ahead; the reader must still go away at once.
TEST(SampleReader, EndingEarlyStopsTheReadingAhead) {
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.trains = 100;
  const std::string text = ones(64) + "junk " + samples_text(recipe);
  ASSERT_GT(text.size(), 2 * SampleReader::default_buffer_size);
  EXPECT_EQ(reader_rows(text).size(), 2u);
}

}  // namespace
