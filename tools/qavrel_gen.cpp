// qavrel-gen: writes a realistic sample file to standard output.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "example_campaign.h"
#include "sample_gen.h"

namespace {

constexpr double bytes_per_train = 30300.0;  // about 240 rows of ~126 characters

void usage() {
  std::fprintf(
      stderr,
      "usage: qavrel-gen [--trains N | --size-mb N] [--cut ROWS] [--parity odd|even]\n"
      "                 [--noise SIGMA] [--cross-talk FRACTION] [--seed N]\n"
      "       qavrel-gen --campaign DIR [--trains N]\n"
      "       qavrel-gen --campaign-of FILES DIR\n"
      "Writes a sample file with a start marker and 15-pulse trains to standard output,\n"
      "or, with --campaign, a small example campaign tree into DIR whose grades are known:\n"
      "chips 100001 to 100004 grade A, B, C and fail, 100005 has a damaged file (A),\n"
      "100006 a file without a start marker (no data), and one name gives no chip;\n"
      "or, with --campaign-of, FILES files of two trains, a hundred to a folder, every grade\n"
      "among them, for benchmarks at the scale of a real campaign.\n");
}

bool parse_number(const char* text, double& number) {
  char* end = nullptr;
  errno = 0;
  number = std::strtod(text, &end);
  return end != text && *end == '\0' && errno == 0 && number >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.noise = 2.0;
  const char* campaign = nullptr;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--help") {
      usage();
      return 0;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    double number = 0;
    const bool numeric = parse_number(value, number);
    if (option == "--parity" &&
        (std::strcmp(value, "odd") == 0 || std::strcmp(value, "even") == 0)) {
      recipe.even_pulsed = std::strcmp(value, "even") == 0;
    } else if (option == "--trains" && numeric) {
      recipe.trains = static_cast<int>(number);
    } else if (option == "--size-mb" && numeric) {
      recipe.trains = static_cast<int>(number * 1e6 / bytes_per_train) + 1;
    } else if (option == "--cut" && numeric && number < 218) {
      recipe.cut_rows = static_cast<int>(number);
    } else if (option == "--noise" && numeric) {
      recipe.noise = number;
    } else if (option == "--cross-talk" && numeric) {
      recipe.cross_talk.fill(number);
    } else if (option == "--seed" && numeric) {
      recipe.seed = static_cast<std::uint32_t>(number);
    } else if (option == "--campaign" && *value != '\0') {
      campaign = value;
    } else if (option == "--campaign-of" && numeric && i + 2 < argc) {
      if (write_scale_campaign(argv[i + 2], static_cast<long>(number))) return 0;
      std::fprintf(stderr, "qavrel-gen: cannot write the campaign in %s: %s\n", argv[i + 2],
                   std::strerror(errno));
      return 1;
    } else {
      std::fprintf(stderr, "qavrel-gen: bad option %s %s\n", option.c_str(), value);
      usage();
      return 2;
    }
  }
  if (campaign != nullptr) {
    if (write_example_campaign(campaign, recipe.trains)) return 0;
    std::fprintf(stderr, "qavrel-gen: cannot write the campaign in %s: %s\n", campaign,
                 std::strerror(errno));
    return 1;
  }
  if (!write_samples(recipe, stdout) || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "qavrel-gen: cannot write: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
