// qavrel-campaign: analyses a whole campaign of sample files at once, as
// qavrel.exe would one by one, keeps every analysis in a results store,
// grades each chip and shows it all in a report. A run finds the files,
// plans what to read, runs the analyses and publishes the outputs.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <set>

#include "campaign/common/hashing.h"
#include "campaign/find/manifest.h"
#include "campaign/find/unsearched.h"
#include "campaign/folder_lock.h"
#include "campaign/model/plan.h"
#include "campaign/options.h"
#include "campaign/report/publish.h"
#include "campaign/report/summary_line.h"
#include "campaign/run/run_analyses.h"
#include "campaign/run/stop_signals.h"
#include "core/atomic_write.h"

namespace qavrel::campaign {
namespace {

int fail(const std::string& line) {
  std::fprintf(stderr, "qavrel-campaign: %s\n", line.c_str());
  return 1;
}

// Finds the data files, and says what was skipped and why.
bool find(const Options& options, const SearchRules& rules, FoundFiles& found) {
  found = find_data_files(options.paths, rules);
  std::string error;
  if (!options.manifest.empty() && !read_manifest(options.manifest, rules, found, error)) {
    fail(error);
    return false;
  }
  for (const std::string& note : found.notes)
    std::fprintf(stderr, "qavrel-campaign: %s\n", note.c_str());
  if (!options.quiet)
    for (const SkippedFile& skipped : found.skipped)
      std::fprintf(stderr, "skipped %s: %s\n", skipped.path.c_str(), skipped.reason.c_str());
  for (const std::string& failure : found.failures)
    std::fprintf(stderr, "failed: cannot search %s\n", failure.c_str());
  if (!found.files.empty()) return true;
  std::string where;
  for (const std::string& path : options.paths) where += (where.empty() ? "" : ", ") + path;
  if (!options.manifest.empty()) where += (where.empty() ? "" : ", ") + options.manifest;
  fail("no data files found under " + where);
  return false;
}

// Removes what runs that were killed left half written in the folders this
// run writes: the output folder and, unless logs are off, the data folders.
void remove_stale_temporaries(const std::string& output, const FoundFiles& found, bool write_logs) {
  qavrel::remove_stale_temporaries(output, "");
  for (const char* folder : {"/plots", "/chips", "/index"})
    qavrel::remove_stale_temporaries(output + folder, "");
  if (!write_logs) return;
  for (const std::string& temporary : found.stale_temporaries) ::unlink(temporary.c_str());
  // The folders of files named one by one were not searched.
  std::set<std::string> folders;
  for (const DataFile& file : found.files) {
    std::string folder = std::filesystem::path(file.path).parent_path().string();
    if (found.listed_folders.count(hash_of(folder)) == 0) folders.insert(std::move(folder));
  }
  for (const std::string& folder : folders) qavrel::remove_stale_temporaries(folder, "xtalk_vemra");
}

RunSettings run_settings(const Options& options, const std::string& output_folder) {
  RunSettings settings;
  settings.workers = options.jobs;
  settings.write_logs = options.write_logs;
  settings.plots = options.output + "/plots";
  settings.output_folder = output_folder;
  settings.map_scale = options.limits.c;
  settings.show_progress = !options.quiet;
  return settings;
}

// Says what went wrong in the run. Returns -1 to go on to the outputs, or
// the status to end with where the run could not complete.
int report_run(const Options& options, const Plan& plan, const RunOutcome& run) {
  const std::size_t wanted = std::min<std::size_t>(options.jobs, plan.to_analyse.size());
  if (run.workers == 0 && wanted > 0 && !options.quiet)
    std::fprintf(stderr,
                 "qavrel-campaign: no worker could run (threads or memory ran short); the files "
                 "were analysed one at a time\n");
  else if (run.workers < wanted && !options.quiet)
    std::fprintf(stderr,
                 "qavrel-campaign: the system allowed %u of %zu workers (threads or memory ran "
                 "short); the run went on with those\n",
                 run.workers, wanted);
  for (const std::size_t i : run.failed)
    std::fprintf(stderr, "failed: %s: %s\n", plan.results[i].analysis.path.c_str(),
                 plan.results[i].analysis.error.c_str());
  for (const std::string& failure : run.plot_failures)
    std::fprintf(stderr, "failed: %s\n", failure.c_str());
  const std::string stopped_after = "stopped after " + std::to_string(run.analysed) + " of " +
                                    std::to_string(plan.to_analyse.size()) + " files";
  // The maps of the files analysed are written as each ends; the rest waits.
  const std::string outputs = "The report and tables were left as they were";
  if (run.out_of_memory)
    return fail("memory ran out; " + stopped_after + ", which are stored. " + outputs +
                "; run again with fewer workers (-j) or more memory to complete the rest.");
  if (!run.store_failure.empty())
    return fail(
        "the results store in " + options.output + " failed: " + run.store_failure + "; " +
        stopped_after + ". " + outputs + "; the next run completes the rest" +
        (run.store_failure == "out of memory" ? ", with fewer workers (-j) or more memory." : "."));
  if (stopped_by_signal()) {
    fail(stopped_after +
         "; the results store holds them, and the next run carries on from there. " + outputs +
         ".");
    end_by_stop_signal();
  }
  return -1;
}

int run_campaign(const Options& options) {
  NamePattern pattern;
  std::string error;
  if (!options.pattern.empty() && !pattern.compile(options.pattern, error))
    return usage_error(error);

  // The output folder comes first: it is locked for this run, and nothing
  // in it is ever taken as data.
  std::error_code made;
  const std::string plots = options.output + "/plots";
  std::filesystem::create_directories(plots, made);
  if (made) return fail("cannot create " + plots + ": " + made.message());
  FolderLock lock;
  if (!lock.take(options.output, error)) return fail(error);
  const SearchRules rules{options.pattern.empty() ? nullptr : &pattern,
                          std::filesystem::canonical(options.output).string()};
  FoundFiles found;
  if (!find(options, rules, found)) return 1;
  remove_stale_temporaries(options.output, found, options.write_logs);

  ResultsStore store;
  if (!store.open(options.output + "/campaign.sqlite", error,
                  static_cast<int>(options.store_wait_s * 1000)))
    return fail("cannot open the results store in " + options.output + ": " + error);
  // A store that another program holds is waited for, and given up on,
  // before any file is read.
  if (!store.check_writable(error))
    return fail("the results store in " + options.output + " can't be written: " + error);
  if (!take_unsearched(store, found, error)) return fail("cannot read the results store: " + error);
  std::vector<FoundFile> files = look_at(found);
  // Each stored analysis goes straight into its file's result, so that a
  // campaign's analyses are in memory once.
  std::vector<FileResult> stored(files.size());
  LogWriters writers;
  if (!store.load_latest(StoredOfFound(files, stored), writers, error))
    return fail("cannot read the results store: " + error);

  PlanSettings plan_settings;
  plan_settings.force = options.force;
  plan_settings.write_logs = options.write_logs;
  plan_settings.tool_version = tool_version;
  Plan plan = plan_campaign(std::move(files), std::move(stored), writers, plan_settings);
  ReportContext context;
  context.limits = options.limits;
  context.skipped = std::move(found.skipped);
  context.search_failures = std::move(found.failures);
  found = FoundFiles();  // what the search saw, no longer needed

  std::atomic<bool>& stop = catch_stop_signals();
  const RunOutcome run =
      run_analyses(plan, run_settings(options, rules.output_folder), store, stop);
  const int ended = report_run(options, plan, run);
  if (ended >= 0) return ended;

  std::size_t failures =
      context.search_failures.size() + run.failed.size() + run.plot_failures.size();
  PublishSettings publish_settings;
  publish_settings.ratios_csv = options.ratios_csv;
  for (const std::string& failure :
       publish(options.output, plan.results, context, store, publish_settings, stop)) {
    std::fprintf(stderr, "failed: %s\n", failure.c_str());
    ++failures;
  }
  if (stopped_by_signal()) {
    std::fprintf(stderr,
                 "qavrel-campaign: stopped while writing the outputs; those not yet replaced "
                 "were left as they were, and the next run makes them.\n");
    end_by_stop_signal();
  }
  if (!options.quiet) {
    std::printf("%s\nreport: %s/report.html\n",
                summary_line(plan.results, plan.reused, failures).c_str(), options.output.c_str());
    if (std::fflush(stdout) != 0)
      return fail(std::string("cannot write the summary: ") + std::strerror(errno));
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qavrel::campaign

int main(int argc, char** argv) {
  // Past a file-size limit a write then fails, and is reported, rather
  // than the signal ending the run with temporary files left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  // The libraries report what can't go on (no memory, a broken file
  // system) by exceptions; the campaign then ends with that reason.
  try {
    using namespace qavrel::campaign;
    Options options;
    if (const int status = parse_options(argc, argv, options); status >= 0) return status;
    return run_campaign(options);
  } catch (const std::bad_alloc&) {
    return qavrel::campaign::fail(
        "out of memory; run again with fewer workers (-j) or more memory");
  } catch (const std::exception& error) {
    return qavrel::campaign::fail(error.what());
  }
}
