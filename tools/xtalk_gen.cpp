// xtalk_gen: writes a realistic sample file to standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sample_gen.h"

namespace {

constexpr double bytes_per_train = 30300.0;  // about 240 rows of ~126 characters

void usage() {
  std::fprintf(stderr,
               "usage: xtalk_gen [--trains N | --size-mb N] [--cut ROWS] [--parity odd|even]\n"
               "                 [--noise SIGMA] [--xtalk FRACTION] [--seed N]\n"
               "Writes a sample file with a start marker and 15-pulse trains to standard output.\n");
}

}  // namespace

int main(int argc, char** argv) {
  SampleSpec spec = SampleSpec::realistic();
  spec.noise = 2.0;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help") {
      usage();
      return 0;
    }
    if (i + 1 >= argc) {
      usage();
      return 2;
    }
    const char* value = argv[++i];
    if (option == "--trains") {
      spec.trains = std::atoi(value);
    } else if (option == "--size-mb") {
      spec.trains = static_cast<int>(std::atof(value) * 1e6 / bytes_per_train) + 1;
    } else if (option == "--cut") {
      spec.cut_rows = std::atoi(value);
    } else if (option == "--parity" && (std::strcmp(value, "odd") == 0 || std::strcmp(value, "even") == 0)) {
      spec.even_pulsed = std::strcmp(value, "even") == 0;
    } else if (option == "--noise") {
      spec.noise = std::atof(value);
    } else if (option == "--xtalk") {
      spec.cross_talk.fill(std::atof(value));
    } else if (option == "--seed") {
      spec.seed = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
    } else {
      usage();
      return 2;
    }
  }
  if (!write_samples(spec, stdout) || std::fflush(stdout) != 0) {
    std::perror("xtalk_gen: write");
    return 1;
  }
  return 0;
}
