// qavrel.exe: measures the cross-talk of a 32-channel readout chip from a
// dump of its ADC samples, and writes the table beside the data file.
#include <cstdio>
#include <string>

#include "run_arguments.h"
#include "xtalk.h"

namespace {

void print_usage(int argc) {
  std::printf(
      "Not enough arguments: argc = %d\nSyntax should be:\n./qavrel.exe chip_string config "
      "adcfilename\n",
      argc);
  std::printf(
      "Example:\n./qavrel.exe 100000 20mV_calib-odd "
      "/home/obr/robot/20180725/123510_vemra100000/"
      "123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt\n");
}

void say(std::FILE* stream, const char* line) {
  std::fprintf(stream, "%s\n", line);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc <= 3) {
    print_usage(argc);
    return -1;
  }
  const std::string config = argv[2];
  const std::string log_path = log_path_for(argv[3], argv[1], config);

  if (!analyse_tree(argv[3])) return 1;

  bool even_selected = false;
  if (!select_parity(config, even_selected)) {
    say(stderr, parity_error);
    return 1;
  }
  say(stdout, even_selected ? " even selected " : " odd selected ");

  return print_cross_talk(log_path.c_str(), even_selected) ? 0 : 1;
}
