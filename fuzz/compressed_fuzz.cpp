// libFuzzer target: damaged gzip and zstd files must end in an error or a
// clean end of the input, never a crash, a hang or memory without bound.
// Seeded with real compressed sample files, which it then damages.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "core/sample_reader.h"

using qavrel::SampleReader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("compressed", 0);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || lseek(fd, 0, SEEK_SET) != 0)
    std::abort();
  SampleReader reader(4096);
  reader.attach(fd);
  while (reader.next_row() != nullptr) {
  }
  return 0;
}
