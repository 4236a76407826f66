// qavrel-campaign's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "campaign/model/grades.h"

namespace qavrel::campaign {

struct Options {
  std::vector<std::string> paths;
  std::string output = "campaign";
  unsigned jobs = 1;
  bool force = false;
  std::string pattern;
  std::string manifest;
  GradeLimits limits;
  bool quiet = false;
  bool write_logs = true;      // false: the data folders are not written to
  bool ratios_csv = false;     // write the whole campaign's ratios.csv
  double store_wait_s = 10.0;  // for a results store that another program holds
  double settle_s = 5.0;       // how long a file that looks unfinished must rest; 0: no wait
  bool watch = false;          // after the run, run again for files that change
  double rescan_s = 0;         // with watch: look at everything this often; 0: never
  // Ends a run with fail_on_status when any chip is graded this or worse.
  std::optional<Grade> fail_on;
  // A shared PostgreSQL store's connection string; empty for the SQLite
  // file in the output folder.
  std::string store;
  std::string bench;         // stored with each analysis; the host name unless given
  bool bench_given = false;  // --bench was given
  bool report_only = false;  // write the outputs from the store alone, reading no file
};

// The exit statuses the campaign ends with, besides 128 + N for signal N.
constexpr int done_status = 0;
constexpr int failed_status = 1;
constexpr int usage_status = 2;
constexpr int fail_on_status = 3;

// Reads the command line into options. Returns the status to end with at
// once, where there is one: 0 after --help or --version, 1 when that could
// not be written, 2 after a usage error, which it has reported.
std::optional<int> parse_options(int argc, char** argv, Options& options);

// The machine's name ("localhost" when it has none), which a bench goes by
// unless named.
std::string host_name();

// Reports a usage error on standard error, with a short help; returns 2.
int usage_error(const std::string& message);

}  // namespace qavrel::campaign
