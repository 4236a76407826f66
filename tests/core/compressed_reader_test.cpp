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

// A zstd frame of text; with window_log, one whose header asks for that
// window, as a stream of unknown size compressed with --long makes.
std::string zstd_frame(const std::string& text, int window_log = 0) {
  ZSTD_CCtx* const context = ZSTD_createCCtx();
  if (window_log != 0) {
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, window_log);
    ZSTD_CCtx_setParameter(context, ZSTD_c_enableLongDistanceMatching, 1);
  }
  std::string out(ZSTD_compressBound(text.size()), '\0');
  ZSTD_outBuffer output{out.data(), out.size(), 0};
  // Fed as a stream, whose size the frame then doesn't know, so that the
  // window is not cut to the text's size.
  ZSTD_inBuffer input{text.data(), text.size(), 0};
  ZSTD_compressStream2(context, &output, &input, ZSTD_e_continue);
  ZSTD_inBuffer end{nullptr, 0, 0};
  const std::size_t left = ZSTD_compressStream2(context, &output, &end, ZSTD_e_end);
  ZSTD_freeCCtx(context);
  if (ZSTD_isError(left) != 0 || left != 0) std::abort();
  out.resize(output.pos);
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
  EXPECT_EQ(read_file(gzip_member(text) + std::string(100, '\0') + "x", 4096, true).error,
            "data after the end of the gzip stream");
  EXPECT_EQ(read_file(zstd_frame(text, 28), 4096, true).error,
            "needs a window of 256 MiB, more than 128 MiB");
}

// What the compressors themselves accept is read: zero bytes after the last
// gzip member (tape padding), and zstd frames with windows up to 128 MiB.
TEST(CompressedInput, PaddingAndLongWindowsAsTheToolsTakeThem) {
  const std::string text = samples(2);
  const std::vector<Row> expected = reference_rows(text);
  for (const std::size_t padding : {std::size_t{1}, std::size_t{70000}}) {
    const Reading padded = read_file(gzip_member(text) + std::string(padding, '\0'), 4096, true);
    EXPECT_EQ(padded.error, "") << padding;
    EXPECT_EQ(padded.rows, expected) << padding;
  }
  const Reading long_window = read_file(zstd_frame(text, 27), 4096, false);
  EXPECT_EQ(long_window.error, "");
  EXPECT_EQ(long_window.rows, expected);
}

}  // namespace
