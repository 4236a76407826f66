// qavrel.exe: measures the cross-talk of a 32-channel readout chip from a
// dump of its ADC samples, and writes the table beside the data file.
#include <cstdio>
#include <string>

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

// The log lives in the data file's directory; a path without "/" is taken
// whole as that directory.
std::string log_path_for(const std::string& data_path, const std::string& chip,
                         const std::string& config) {
  const std::size_t slash = data_path.rfind('/');
  const std::string directory = slash == std::string::npos ? data_path : data_path.substr(0, slash);
  return directory + "/xtalk_vemra" + chip + "_" + config + ".log";
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

  // "odd" is looked for first, so a name holding both words selects odd.
  bool even_selected = false;
  if (config.find("odd") != std::string::npos) {
    say(stdout, " odd selected ");
  } else if (config.find("even") != std::string::npos) {
    say(stdout, " even selected ");
    even_selected = true;
  } else {
    say(stderr, "Parity must be either 'even' or 'odd'");
    return 1;
  }

  return print_cross_talk(log_path.c_str(), even_selected) ? 0 : 1;
}
