#include "campaign/common/stop_points.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace qavrel::campaign {

namespace {

struct StopAt {
  long point = 0;  // 0: never
  int signal = SIGKILL;
};

StopAt stop_at_from_environment() {
  StopAt stop;
  const char* setting = std::getenv("QAVREL_CAMPAIGN_STOP_AT");
  if (setting == nullptr) return stop;
  char* end = nullptr;
  stop.point = std::strtol(setting, &end, 10);
  if (*end == ':') {
    const char* name = end + 1;
    stop.signal = std::strcmp(name, "INT") == 0    ? SIGINT
                  : std::strcmp(name, "TERM") == 0 ? SIGTERM
                                                   : SIGKILL;
  }
  return stop;
}

}  // namespace

void stop_point() {
  static const StopAt stop = stop_at_from_environment();
  static std::atomic<long> reached{0};
  if (++reached == stop.point) std::raise(stop.signal);
}

}  // namespace qavrel::campaign
