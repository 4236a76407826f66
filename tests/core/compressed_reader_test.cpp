// gzip and zstd files read as the text they hold, across chunk boundaries,
// with or without the helper thread; damaged or cut ones end in an error.
#include <gtest/gtest.h>
#include <isa-l/igzip_lib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdlib>

#include "reference_reader.h"
#include "sample_gen.h"

namespace {

using namespace qavrel;

std::string gzip_member(const std::string& text) {
  isal_zstream stream{};
  isal_deflate_init(&stream);
  stream.gzip_flag = IGZIP_GZIP;
  stream.end_of_stream = 1;
  std::string out(text.size() + 1024, '\0');
  stream.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<std::uint32_t>(text.size());
  stream.next_out = reinterpret_cast<std::uint8_t*>(out.data());
  stream.avail_out = static_cast<std::uint32_t>(out.size());
  if (isal_deflate_stateless(&stream) != COMP_OK) std::abort();
  out.resize(stream.total_out);
  return out;
}

std::string zstd_frame(const std::string& text) {
  std::string out(ZSTD_compressBound(text.size()), '\0');
  const std::size_t size = ZSTD_compress(out.data(), out.size(), text.data(), text.size(), 3);
  if (ZSTD_isError(size) != 0) std::abort();
  out.resize(size);
  return out;
}

struct Reading {
  std::vector<Row> rows;
  std::string error;
};

Reading read_file(const std::string& bytes, std::size_t buffer_size, bool read_ahead) {
  const int fd = memfd_create("compressed", 0);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
      lseek(fd, 0, SEEK_SET) != 0)
    std::abort();
  SampleReader reader(buffer_size, read_ahead);
  reader.attach(fd);
  Reading reading;
  while (const std::int32_t* row = reader.next_row()) {
    Row copy;
    std::copy(row, row + nchan, copy.begin());
    reading.rows.push_back(copy);
  }
  reading.error = reader.read_error().reason();
  return reading;
}

std::string samples(int trains) {
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.trains = trains;
  recipe.noise = 3;
  return samples_text(recipe);
}

TEST(CompressedInput, MembersAndFramesReadAsTheirText) {
  const std::string text = samples(3);
  const std::vector<Row> expected = reference_rows(text);
  // Split inside a value, so that no part ends on a row or token boundary.
  const std::size_t first = text.size() / 3 + 1;
  const std::size_t second = 2 * text.size() / 3 + 2;
  const std::string parts[] = {text.substr(0, first), text.substr(first, second - first),
                               text.substr(second)};
  std::string gzip;
  std::string zstd;
  for (const std::string& part : parts) {
    gzip += gzip_member(part);
    zstd += zstd_frame(part);
  }
  for (const std::string* file : {&gzip, &zstd})
    for (const std::size_t buffer : {std::size_t{128}, std::size_t{1000}, std::size_t{1} << 18})
      for (const bool read_ahead : {true, false}) {
        const Reading reading = read_file(*file, buffer, read_ahead);
        EXPECT_EQ(reading.error, "") << buffer;
        EXPECT_EQ(reading.rows, expected) << (file == &gzip ? "gzip" : "zstd") << ", " << buffer;
      }
}

TEST(CompressedInput, CutOrDamagedStreamsAreErrors) {
  const std::string text = samples(2);
  for (const std::string& file : {gzip_member(text), zstd_frame(text)}) {
    // Four bytes tell either format from text.
    for (const std::size_t keep :
         {std::size_t{4}, std::size_t{9}, file.size() / 2, file.size() - 1})
      EXPECT_NE(read_file(file.substr(0, keep), 4096, true).error, "") << keep;
    std::string damaged = file;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
    EXPECT_NE(read_file(damaged, 4096, false).error, "");
  }
  EXPECT_EQ(read_file(gzip_member(text) + "junk", 4096, true).error,
            "data after the end of the gzip stream");
}

}  // namespace
