#include "campaign/options.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>

#include "campaign/model/analysis.h"

namespace qavrel::campaign {

namespace {

constexpr double max_store_wait_s = 24 * 3600;  // a day, well within SQLite's limit
constexpr double max_settle_s = 24 * 3600;
constexpr unsigned workers_per_core = 8;
const char* const short_usage =
    "usage: qavrel-campaign [options] PATH...\n"
    "       qavrel-campaign --report-only --store URL -o DIR\n"
    "Run qavrel-campaign --help for the options.\n";

}  // namespace

int usage_error(const std::string& message) {
  std::fprintf(stderr, "qavrel-campaign: %s\n%s", message.c_str(), short_usage);
  return usage_status;
}

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

std::optional<int> parse_options(int argc, char** argv, Options& options) {
  options.jobs = std::max(1u, std::thread::hardware_concurrency());
  std::string grades = "0.01,0.02,0.05";
  CLI::App app(
      "Analyses a whole campaign of sample files as qavrel.exe would, one log beside each "
      "data file, and writes into the output folder: campaign.sqlite (every analysis, kept), "
      "report.html with a page per chip in chips/, summary.csv, chips.csv and plots/.",
      "qavrel-campaign");
  app.add_option("PATH", options.paths,
                 "Data files, or directories searched recursively for *_adc.txt (and .gz, .zst)");
  app.add_option("-o,--output", options.output, "Output folder")->capture_default_str();
  app.add_option("-j,--jobs", options.jobs, "Files analysed at once (default: the cores)");
  app.add_flag("--force", options.force,
               "Read every file again, even those unchanged since their stored analysis");
  app.add_option("--pattern", options.pattern,
                 "Regular expression with the named groups chip and config, searched for in "
                 "file names; replaces the naming rule, and picks the files in directories");
  app.add_option("--manifest", options.manifest,
                 "CSV with the columns path,chip,config and, where known, measured_at (paths "
                 "relative to it)");
  app.add_option("--grades", grades,
                 "Limits of grades A, B and C on the largest absolute mean ratio, as ratios or "
                 "percentages (1%,2%,5%)")
      ->capture_default_str();
  bool no_logs = false;
  app.add_flag("--no-logs", no_logs,
               "Write no log beside the data files, for an archive that must not be written to");
  app.add_flag("--ratios-csv", options.ratios_csv,
               "Also write ratios.csv, every ratio of every data file (large; the store's "
               "latest_ratios view holds the same)");
  app.add_option("--store-wait", options.store_wait_s,
                 "Seconds to wait for the results store while another program holds it")
      ->capture_default_str();
  app.add_option("--settle", options.settle_s,
                 "Seconds a file that looks unfinished must be left unchanged before it is "
                 "graded; one changed more recently is left for the next run (0: grade it)")
      ->capture_default_str();
  app.add_flag("--watch", options.watch,
               "After the run, keep running: grade each new or changed data file once it has "
               "rested for the settle time, one line each on standard output");
  app.add_option("--rescan", options.rescan_s,
                 "With --watch, also look at every file this often, for file systems that "
                 "report no changes (a share other machines write to)");
  std::string fail_on;
  const CLI::Option* const fail_on_option =
      app.add_option("--fail-on", fail_on,
                     "End with status 3, once every output is written, when any chip is graded "
                     "GRADE or worse: A, B, C, \"no data\", fail or \"not analysed\", worst last "
                     "(not with --watch)")
          ->type_name("GRADE");
  const CLI::Option* const store_option =
      app.add_option("--store", options.store,
                     "Keep the analyses in this PostgreSQL database, which several benches share, "
                     "instead of campaign.sqlite: any connection string libpq takes "
                     "(postgresql://USER@HOST/DB); the password comes from ~/.pgpass or PGPASSWORD")
          ->type_name("URL");
  const CLI::Option* const bench_option =
      app.add_option(
             "--bench", options.bench,
             "The bench's name, stored with each analysis: with its path, what a data file "
             "is known by (default: the host name, or the bench of the files in campaign.sqlite)")
          ->type_name("NAME");
  app.add_flag("--report-only", options.report_only,
               "Read no data file: write the outputs of every bench from the store (--store) "
               "alone");
  app.add_flag("-q,--quiet", options.quiet, "Print only the failures");
  app.footer(
      "Exit status: 0 when every file was analysed and every output written; 1 when anything "
      "failed: a data file that could not be analysed (not opened, a corrupt compressed stream, "
      "no parity in its configuration), a log or an output that could not be written, a folder "
      "that could not be searched, a manifest that could not be read, no data file found, or a "
      "results store that could not be opened or written; 2 for bad usage; 3 when --fail-on "
      "GRADE found a chip graded GRADE or worse and nothing failed; 128+N when signal N ended "
      "the run (130 for Ctrl-C, 143 for SIGTERM).");
  app.set_version_flag("--version", tool_version);
  // "--output=" with nothing after it would take the next argument as its
  // value, as a script's --output=$DIR does when DIR is empty.
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.size() > 3 && argument.compare(0, 2, "--") == 0 && argument.back() == '=')
      return usage_error(argument + " needs a value");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {
      // --help or --version: a listing that could not be written is a failure.
      app.exit(error);
      if (!std::cout.flush()) {
        std::fprintf(stderr, "qavrel-campaign: cannot write %s: %s\n",
                     error.get_name() == "CallForVersion" ? "the version" : "the help",
                     std::strerror(errno));
        return 1;
      }
      return 0;
    }
    return usage_error(error.what());
  }
  if (store_option->count() > 0 && options.store.empty())
    return usage_error("--store needs a connection string");
  if (options.report_only) {
    if (options.store.empty()) return usage_error("--report-only needs --store");
    if (!options.paths.empty() || !options.manifest.empty())
      return usage_error("--report-only reads no data file: give no PATH or --manifest");
    if (options.watch) return usage_error("--report-only can't be used with --watch");
  } else if (options.paths.empty() && options.manifest.empty()) {
    return usage_error("give at least one PATH, or --manifest");
  }
  if (bench_option->count() > 0 && options.bench.empty())
    return usage_error("--bench needs a name");
  options.bench_given = bench_option->count() > 0;
  if (options.bench.empty()) options.bench = host_name();
  if (options.jobs < 1) return usage_error("-j must be at least 1");
  if (options.output.empty()) return usage_error("-o needs a folder");
  if (!(options.store_wait_s >= 0 && options.store_wait_s <= max_store_wait_s))
    return usage_error("--store-wait takes a number of seconds from 0 to " +
                       std::to_string(static_cast<int>(max_store_wait_s)));
  if (!(options.settle_s >= 0 && options.settle_s <= max_settle_s))
    return usage_error("--settle takes a number of seconds from 0 to " +
                       std::to_string(static_cast<int>(max_settle_s)));
  if (!(options.rescan_s >= 0 && options.rescan_s <= max_settle_s))
    return usage_error("--rescan takes a number of seconds from 0 to " +
                       std::to_string(static_cast<int>(max_settle_s)));
  if (options.rescan_s > 0 && !options.watch) return usage_error("--rescan needs --watch");
  if (fail_on_option->count() > 0) {
    // A watch never ends by itself, so a status it ended with could tell nothing.
    if (options.watch)
      return usage_error(
          "--fail-on can't be used with --watch, which never ends by itself to "
          "give a status; run a plain qavrel-campaign for the gate");
    Grade grade = Grade::a;
    if (Status parsed = parse_grade(fail_on, grade); !parsed.ok())
      return usage_error("--fail-on: " + parsed.reason());
    options.fail_on = grade;
  }
  options.write_logs = !no_logs;
  // More workers than a few per core gain nothing, and cost memory.
  const unsigned most = workers_per_core * std::max(1u, std::thread::hardware_concurrency());
  if (options.jobs > most) {
    if (!options.quiet)
      std::fprintf(stderr, "qavrel-campaign: -j %u is more than %u workers per core; using %u\n",
                   options.jobs, workers_per_core, most);
    options.jobs = most;
  }
  if (Status parsed = parse_grade_limits(grades, options.limits); !parsed.ok())
    return usage_error(parsed.reason());
  return std::nullopt;
}

}  // namespace qavrel::campaign
