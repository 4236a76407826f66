// Two ways of reading a sample text into rows: the plain stream extraction
// that defines the format, and the tool's own reader over a memory file.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/sample_reader.h"

// Every block decoder this machine runs.
inline std::vector<qavrel::block_decoder::Implementation> runnable_decoders() {
  std::size_t count = 0;
  const qavrel::block_decoder::Implementation* list =
      qavrel::block_decoder::runnable_implementations(count);
  return {list, list + count};
}

using Row = std::array<std::int32_t, qavrel::nchan>;

inline std::vector<Row> reference_rows(const std::string& text) {
  std::istringstream in(text);
  std::vector<Row> rows;
  for (;;) {
    Row row;
    for (std::int32_t& value : row)
      if (!(in >> value)) return rows;
    rows.push_back(row);
  }
}

// The tool's reader over a file holding text, with the given block decoder
// or, when none is given, the one the tool chooses; read ahead by a helper
// thread unless read_ahead is false.
inline std::vector<Row> reader_rows(
    const std::string& text, std::size_t buffer_size = qavrel::SampleReader::default_buffer_size,
    qavrel::block_decoder::Decode decode = nullptr, bool read_ahead = true) {
  const int fd = memfd_create("samples", 0);
  std::size_t written = 0;
  while (fd >= 0 && written < text.size()) {
    const ssize_t got = write(fd, text.data() + written, text.size() - written);
    if (got <= 0) break;
    written += static_cast<std::size_t>(got);
  }
  std::vector<Row> rows;
  if (fd < 0 || written != text.size() || lseek(fd, 0, SEEK_SET) != 0) std::abort();
  qavrel::SampleReader reader(buffer_size, read_ahead);
  reader.attach(fd);
  if (decode != nullptr) reader.use_decoder(decode);
  while (const std::int32_t* row = reader.next_row()) {
    Row copy;
    std::copy(row, row + qavrel::nchan, copy.begin());
    rows.push_back(copy);
  }
  return rows;
}
