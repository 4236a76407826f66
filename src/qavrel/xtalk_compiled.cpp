// qavrel.exe: measures the cross-talk of a 32-channel readout chip from a
// dump of its ADC samples, and writes the table beside the data file.
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "core/log_path.h"
#include "core/messages.h"
#include "core/parity.h"
#include "qavrel/qavrel.h"
#include "qavrel/usage.h"

namespace {

void say(std::FILE* stream, const char* line) {
  std::fprintf(stream, "%s\n", line);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails, and is reported, rather
  // than the signal ending the run with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc <= 3) {
    std::fputs(usage_text(argc).c_str(), stdout);
    return -1;
  }
  const std::string config = argv[2];
  const std::string log_path = qavrel::log_path_for(argv[3], argv[1], config);

  if (!analyse_tree(argv[3])) return 1;

  const std::optional<qavrel::Parity> pulsed = qavrel::parity_named_in(config);
  if (!pulsed) {
    say(stderr, qavrel::parity_error);
    return 1;
  }
  const bool even_selected = *pulsed == qavrel::Parity::even;
  say(stdout, even_selected ? " even selected " : " odd selected ");

  return print_cross_talk(log_path.c_str(), even_selected) ? 0 : 1;
}
