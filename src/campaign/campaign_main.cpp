// qavrel-campaign: analyses a whole campaign of sample files at once, as
// qavrel.exe would one by one, keeps every analysis in a results store,
// grades each chip and shows it all in a report.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>
#include <unordered_map>

#include "campaign/outputs.h"
#include "campaign/progress.h"
#include "campaign/results_store.h"
#include "campaign/run_analyses.h"
#include "run_arguments.h"

namespace {

const char* const short_usage =
    "usage: qavrel-campaign [options] PATH...\n"
    "Run qavrel-campaign --help for the options.\n";
constexpr auto commit_interval = std::chrono::milliseconds(500);

struct Options {
  std::vector<std::string> paths;
  std::string output = "campaign";
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  bool force = false;
  std::string pattern;
  std::string manifest;
  std::string grades = "0.01,0.02,0.05";
  bool quiet = false;
};

std::atomic<bool> stop_requested{false};
std::atomic<int> stop_signal{0};

extern "C" void request_stop(int signal) {
  stop_signal = signal;
  stop_requested = true;
}

// Ctrl-C and SIGTERM let the files in flight finish; nothing new starts.
void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = request_stop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Ends the process as the stop signal would have ended it.
[[noreturn]] void end_by_stop_signal() {
  std::signal(stop_signal, SIG_DFL);
  std::raise(stop_signal);
  // Should the signal be blocked after all, end with the status a shell
  // gives a process it ended.
  // cppcheck-suppress unreachableCode
  std::_Exit(128 + stop_signal);
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "qavrel-campaign: %s\n%s", message.c_str(), short_usage);
  return 2;
}

// Parses the command line; returns -1 to go on, or the status to end with.
int parse_options(int argc, char** argv, Options& options) {
  CLI::App app(
      "Analyses a whole campaign of sample files as qavrel.exe would, one log beside each "
      "data file, and writes into the output folder: campaign.sqlite (every analysis, kept), "
      "summary.csv, ratios.csv, report.html and plots/.",
      "qavrel-campaign");
  app.add_option("PATH", options.paths,
                 "Data files, or directories searched recursively for *_adc.txt (and .gz, .zst)");
  app.add_option("-o,--output", options.output, "Output folder")->capture_default_str();
  app.add_option("-j,--jobs", options.jobs, "Files analysed at once (default: the cores)")
      ->check(CLI::PositiveNumber);
  app.add_flag("--force", options.force,
               "Read every file again, even those unchanged since their stored analysis");
  app.add_option("--pattern", options.pattern,
                 "Regular expression with the named groups chip and config, searched for in "
                 "file names; replaces the naming rule, and picks the files in directories");
  app.add_option("--manifest", options.manifest,
                 "CSV with the columns path,chip,config (paths relative to it)");
  app.add_option("--grades", options.grades,
                 "Limits of grades A, B and C on the largest absolute mean ratio")
      ->capture_default_str();
  app.add_flag("-q,--quiet", options.quiet, "Print only the failures");
  app.set_version_flag("--version", tool_version);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    return usage_error(error.what());
  }
  if (options.paths.empty() && options.manifest.empty())
    return usage_error("give at least one PATH, or --manifest");
  return -1;
}

// An analysis stands for a file as long as the file, the tool and the
// naming are as they were, and its log is still there.
bool still_current(const Analysis& stored, const DataFile& file, bool owns_log) {
  const FileState state = state_of(file.path);
  struct stat log {};
  return stored.ok && stored.size == state.size && stored.mtime_ns == state.mtime_ns &&
         stored.tool_version == tool_version && stored.chip == file.chip &&
         stored.config == file.config &&
         (!owns_log || (stored.log_written && ::stat(stored.log_path.c_str(), &log) == 0));
}

void say(const Options& options, const std::string& line) {
  if (!options.quiet) std::fprintf(stderr, "%s\n", line.c_str());
}

std::string summary_line(const std::vector<FileResult>& results, std::size_t reused,
                         std::size_t failures) {
  std::map<Grade, int> grades;
  std::map<std::string, Grade> chips;
  for (const FileResult& result : results) {
    ++grades[result.grade];
    Grade& chip = chips.emplace(result.analysis.chip, Grade::a).first->second;
    chip = std::max(chip, result.grade);
  }
  std::string line = std::to_string(results.size()) + " data files (" + std::to_string(reused) +
                     " unchanged), " + std::to_string(chips.size()) + " chips;";
  const char* separator = " files graded ";
  for (const auto& [grade, count] : grades) {
    line += separator + std::to_string(count) + " " + grade_name(grade);
    separator = ", ";
  }
  return line + "; " + std::to_string(failures) + " failed.";
}

// What the outputs are made from: every result's analysis and standing,
// and what else the report shows. Outputs made from the same need not be
// made again.
std::string outputs_fingerprint(const std::vector<FileResult>& results,
                                const ReportContext& context) {
  std::uint64_t hash = 14695981039346656037u;  // 64-bit FNV-1a
  const auto add = [&hash](const std::string& text) {
    for (const char c : text + '\0') hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
  };
  add(tool_version);
  add(std::to_string(context.limits.a) + "," + std::to_string(context.limits.b) + "," +
      std::to_string(context.limits.c));
  for (const FileResult& result : results) {
    add(result.analysis.path);
    add(std::to_string(result.analysis.id));
    add(result.shares_log_with);
    add(result.plot_name);
  }
  for (const SkippedFile& skipped : context.skipped) add(skipped.path + ": " + skipped.reason);
  for (const std::string& failure : context.search_failures) add(failure);
  return std::to_string(hash);
}

// An output cut short by a power cut before it reached the disk is empty.
bool outputs_exist(const std::string& directory, const std::vector<FileResult>& results) {
  struct stat info {};
  for (const char* name : {"summary.csv", "ratios.csv", "report.html"})
    if (::stat((directory + "/" + name).c_str(), &info) != 0 || info.st_size == 0) return false;
  for (const FileResult& result : results)
    if (::stat((directory + "/plots/" + result.plot_name).c_str(), &info) != 0 || info.st_size == 0)
      return false;
  return true;
}

int run_campaign(int argc, char** argv) {
  Options options;
  if (const int status = parse_options(argc, argv, options); status >= 0) return status;
  GradeLimits limits;
  std::string error;
  if (!parse_grade_limits(options.grades, limits, error)) return usage_error(error);
  NamePattern pattern;
  if (!options.pattern.empty() && !pattern.compile(options.pattern, error))
    return usage_error(error);

  FoundFiles found = find_data_files(options.paths, options.pattern.empty() ? nullptr : &pattern);
  if (!options.manifest.empty() && !read_manifest(options.manifest, found, error)) {
    std::fprintf(stderr, "qavrel-campaign: %s\n", error.c_str());
    return 1;
  }
  for (const SkippedFile& skipped : found.skipped)
    say(options, "skipped " + skipped.path + ": " + skipped.reason);
  for (const std::string& failure : found.failures)
    std::fprintf(stderr, "failed: cannot search %s\n", failure.c_str());

  std::error_code made;
  std::filesystem::create_directories(options.output, made);
  ResultsStore store;
  if (made || !store.open(options.output + "/campaign.sqlite", error)) {
    std::fprintf(stderr, "qavrel-campaign: cannot open the results store in %s: %s\n",
                 options.output.c_str(), made ? made.message().c_str() : error.c_str());
    return 1;
  }
  std::unordered_map<std::string, Analysis> latest;
  if (!store.load_latest(latest, error)) {
    std::fprintf(stderr, "qavrel-campaign: cannot read the results store: %s\n", error.c_str());
    return 1;
  }

  // Files that share a log path: all are analysed, the last by name writes it.
  std::map<std::string, std::vector<std::size_t>> by_log;
  for (std::size_t i = 0; i < found.files.size(); ++i) {
    const DataFile& file = found.files[i];
    by_log[log_path_for(file.path, file.chip, file.config)].push_back(i);
  }
  std::vector<FileResult> results(found.files.size());
  for (const auto& [log, sharing] : by_log) {
    for (const std::size_t i : sharing) {
      results[i].owns_log = i == sharing.back();
      for (const std::size_t other : sharing)
        if (other != i)
          results[i].shares_log_with +=
              (results[i].shares_log_with.empty() ? "" : ", ") + found.files[other].path;
    }
  }

  for (std::size_t i = 0; i < found.files.size(); ++i) {
    results[i].analysis.path = found.files[i].path;
    results[i].analysis.chip = found.files[i].chip;
    results[i].analysis.config = found.files[i].config;
  }
  name_plots(results);
  const std::string plots = options.output + "/plots";
  std::filesystem::create_directories(plots, made);
  if (made) {
    std::fprintf(stderr, "qavrel-campaign: cannot create %s: %s\n", plots.c_str(),
                 made.message().c_str());
    return 1;
  }

  std::vector<AnalysisJob> jobs;
  std::vector<std::size_t> job_result;  // which result each job fills
  std::uint64_t bytes_to_read = 0;
  std::size_t reused = 0;
  for (std::size_t i = 0; i < found.files.size(); ++i) {
    const DataFile& file = found.files[i];
    const auto stored = latest.find(file.path);
    if (!options.force && stored != latest.end() &&
        still_current(stored->second, file, results[i].owns_log)) {
      results[i].analysis = stored->second;
      ++reused;
      continue;
    }
    jobs.push_back({file, results[i].owns_log, plots + "/" + results[i].plot_name, limits.c});
    job_result.push_back(i);
    bytes_to_read +=
        static_cast<std::uint64_t>(std::max<std::int64_t>(0, state_of(file.path).size));
  }

  catch_stop_signals();
  Progress progress(jobs.size(), bytes_to_read, !options.quiet);
  std::unordered_map<std::string, std::size_t> result_of_path;
  for (std::size_t j = 0; j < jobs.size(); ++j) result_of_path[jobs[j].file.path] = job_result[j];
  std::size_t done = 0;
  std::size_t failures = found.failures.size();
  std::uint64_t bytes_read = 0;
  std::vector<std::string> store_failures;
  auto last_commit = std::chrono::steady_clock::now();
  run_analyses(
      jobs, options.jobs, stop_requested,
      [&](Analysis& analysis, const RatioTable& ratios, const std::string& plot_failure) {
        if (!store.add(analysis, ratios, error))
          store_failures.push_back("results store: " + error);
        if (!plot_failure.empty()) store_failures.push_back(plot_failure);
        ++done;
        bytes_read += static_cast<std::uint64_t>(analysis.size);
        if (!analysis.ok) ++failures;
        FileResult& result = results[result_of_path[analysis.path]];
        result.plot_written = plot_failure.empty() && !analysis.parity.empty();
        result.analysis = std::move(analysis);
      },
      [&] {
        progress.update(done, bytes_read, failures);
        if (std::chrono::steady_clock::now() - last_commit < commit_interval) return;
        if (!store.commit(error)) store_failures.push_back("results store: " + error);
        last_commit = std::chrono::steady_clock::now();
      });
  progress.finish();
  if (!store.commit(error)) store_failures.push_back("results store: " + error);

  for (const FileResult& result : results)
    if (!result.analysis.ok && !result.analysis.path.empty())
      std::fprintf(stderr, "failed: %s: %s\n", result.analysis.path.c_str(),
                   result.analysis.error.c_str());
  for (const std::string& failure : store_failures)
    std::fprintf(stderr, "failed: %s\n", failure.c_str());
  failures += store_failures.size();

  if (stop_requested) {
    std::fprintf(stderr,
                 "qavrel-campaign: stopped after %zu of %zu files; the results store holds them, "
                 "and the next run carries on from there. The outputs were left as they were.\n",
                 done, jobs.size());
    end_by_stop_signal();
  }

  ReportContext context;
  context.limits = limits;
  context.skipped = found.skipped;
  context.search_failures = found.failures;
  for (FileResult& result : results) {
    result.grade = grade_of(result.analysis, limits);
    context.latest_analysis = std::max(context.latest_analysis, result.analysis.analysed_at);
  }
  const std::string made_from = outputs_fingerprint(results, context);
  if (made_from != store.outputs_made_from() || !outputs_exist(options.output, results)) {
    std::vector<std::string> output_failures =
        write_outputs(options.output, results, context, store);
    if (output_failures.empty() && !store.set_outputs_made_from(made_from, error))
      output_failures.push_back("results store: " + error);
    for (const std::string& failure : output_failures)
      std::fprintf(stderr, "failed: %s\n", failure.c_str());
    failures += output_failures.size();
  }
  if (!options.quiet) {
    std::printf("%s\nreport: %s/report.html\n", summary_line(results, reused, failures).c_str(),
                options.output.c_str());
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The libraries report what can't go on (no memory, a broken file
  // system) by exceptions; the campaign then ends with that reason.
  try {
    return run_campaign(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qavrel-campaign: %s\n", error.what());
    return 1;
  }
}
