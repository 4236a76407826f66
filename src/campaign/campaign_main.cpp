// qavrel-campaign: analyses a whole campaign of sample files at once, as
// qavrel.exe would one by one, keeps every analysis in a results store,
// grades each chip and shows it all in a report. A run finds the files,
// plans what to read, runs the analyses and publishes the outputs.
#include <cstdio>
#include <filesystem>
#include <map>

#include "campaign/options.h"
#include "campaign/plan.h"
#include "campaign/publish.h"
#include "campaign/run_analyses.h"
#include "campaign/stop_signals.h"

namespace {

void say(const Options& options, const std::string& line) {
  if (!options.quiet) std::fprintf(stderr, "%s\n", line.c_str());
}

int fail(const std::string& line) {
  std::fprintf(stderr, "qavrel-campaign: %s\n", line.c_str());
  return 1;
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

int run_campaign(const Options& options) {
  NamePattern pattern;
  std::string error;
  if (!options.pattern.empty() && !pattern.compile(options.pattern, error))
    return usage_error(error);

  FoundFiles found = find_data_files(options.paths, options.pattern.empty() ? nullptr : &pattern);
  if (!options.manifest.empty() && !read_manifest(options.manifest, found, error))
    return fail(error);
  for (const SkippedFile& skipped : found.skipped)
    say(options, "skipped " + skipped.path + ": " + skipped.reason);
  for (const std::string& failure : found.failures)
    std::fprintf(stderr, "failed: cannot search %s\n", failure.c_str());

  std::error_code made;
  const std::string plots = options.output + "/plots";
  std::filesystem::create_directories(plots, made);
  ResultsStore store;
  if (made || !store.open(options.output + "/campaign.sqlite", error))
    return fail("cannot open the results store in " + options.output + ": " +
                (made ? made.message() : error));
  std::unordered_map<std::string, Analysis> stored;
  if (!store.load_latest(stored, error)) return fail("cannot read the results store: " + error);

  PlanSettings plan_settings;
  plan_settings.force = options.force;
  plan_settings.tool_version = tool_version;
  Plan plan = plan_campaign(look_at(std::move(found.files)), std::move(stored), plan_settings);

  RunSettings run_settings;
  run_settings.workers = options.jobs;
  run_settings.plots = plots;
  run_settings.map_scale = options.limits.c;
  run_settings.show_progress = !options.quiet;
  std::atomic<bool>& stop = catch_stop_signals();
  const RunOutcome run = run_analyses(plan, run_settings, store, stop);

  std::size_t failures = found.failures.size() + run.failed.size() + run.plot_failures.size();
  for (const std::size_t i : run.failed)
    std::fprintf(stderr, "failed: %s: %s\n", plan.results[i].analysis.path.c_str(),
                 plan.results[i].analysis.error.c_str());
  for (const std::string& failure : run.plot_failures)
    std::fprintf(stderr, "failed: %s\n", failure.c_str());
  if (!run.store_failure.empty()) {
    return fail("the results store in " + options.output + " failed: " + run.store_failure +
                "; stopped after " + std::to_string(run.analysed) + " of " +
                std::to_string(plan.to_analyse.size()) +
                " files. The outputs were left as they were; the next run completes the rest.");
  }
  if (stopped_by_signal()) {
    std::fprintf(stderr,
                 "qavrel-campaign: stopped after %zu of %zu files; the results store holds them, "
                 "and the next run carries on from there. The outputs were left as they were.\n",
                 run.analysed, plan.to_analyse.size());
    end_by_stop_signal();
  }

  ReportContext context;
  context.limits = options.limits;
  context.skipped = found.skipped;
  context.search_failures = found.failures;
  for (const std::string& failure : publish(options.output, plan.results, context, store)) {
    std::fprintf(stderr, "failed: %s\n", failure.c_str());
    ++failures;
  }
  if (!options.quiet) {
    std::printf("%s\nreport: %s/report.html\n",
                summary_line(plan.results, plan.reused, failures).c_str(), options.output.c_str());
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The libraries report what can't go on (no memory, a broken file
  // system) by exceptions; the campaign then ends with that reason.
  try {
    Options options;
    if (const int status = parse_options(argc, argv, options); status >= 0) return status;
    return run_campaign(options);
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}
