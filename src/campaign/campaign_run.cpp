#include "campaign/campaign_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <unordered_map>

#include "campaign/common/hashing.h"
#include "campaign/common/text.h"
#include "campaign/find/data_files.h"
#include "campaign/find/manifest.h"
#include "campaign/model/bench_join.h"
#include "campaign/model/plan.h"
#include "campaign/report/publish.h"
#include "campaign/report/summary_line.h"
#include "campaign/run/analyse_file.h"
#include "campaign/run/run_analyses.h"
#include "campaign/run/stop_signals.h"
#include "campaign/store/connection_text.h"
#include "core/atomic_write.h"
#include "core/log_path.h"

namespace qavrel::campaign {

namespace {

// Past about this many bytes SQLite can't open a store's path.
constexpr std::size_t max_store_path = 450;

int fail(const std::string& line) {
  std::fprintf(stderr, "qavrel-campaign: %s\n", line.c_str());
  return 1;
}

// Says what the search skipped, could not search or took one way rather
// than another.
void tell_search(const Options& options, const Search& search) {
  for (const std::string& note : search.notes)
    std::fprintf(stderr, "qavrel-campaign: %s\n", note.c_str());
  if (!options.quiet)
    for (const SkippedFile& skipped : search.skipped)
      std::fprintf(stderr, "skipped %s: %s\n", skipped.path.c_str(), skipped.reason.c_str());
  for (const std::string& failure : search.failures)
    std::fprintf(stderr, "failed: cannot search %s\n", failure.c_str());
}

// The paths searched, and the manifest, as a user gave them.
std::string searched(const Options& options) {
  std::string where;
  for (const std::string& path : options.paths) where += (where.empty() ? "" : ", ") + path;
  if (!options.manifest.empty()) where += (where.empty() ? "" : ", ") + options.manifest;
  return where;
}

// The folders pages show paths under: each folder given, and the folder
// of each file given and of the manifest.
std::vector<std::string> given_folders(const Options& options) {
  std::vector<std::string> folders;
  for (const std::string& path : options.paths) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
      folders.push_back(std::filesystem::canonical(path, error).string());
    else
      folders.push_back(std::filesystem::path(canonical_path(path)).parent_path().string());
  }
  if (!options.manifest.empty())
    folders.push_back(
        std::filesystem::path(canonical_path(options.manifest)).parent_path().string());
  return folders;
}

int no_data_files(const Options& options) {
  return fail("no data files found under " + searched(options));
}

// Removes what runs that were killed left half written in the folders this
// run writes: in the output folder, which this run alone writes while it
// holds its lock, every temporary but its own; and, unless logs are off,
// in the data folders those of runs that no longer run.
void remove_stale_temporaries(const std::string& output, const Search& search, bool write_logs) {
  qavrel::remove_foreign_temporaries(output);
  for (const char* folder : {"/plots", "/chips", "/index"})
    qavrel::remove_foreign_temporaries(output + folder);
  if (!write_logs) return;
  for (const std::string& temporary : search.stale_temporaries)
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT)
      std::fprintf(stderr, "qavrel-campaign: cannot remove %s: %s\n", temporary.c_str(),
                   std::strerror(errno));
  // The folders of files named one by one were not searched.
  std::set<std::string> folders;
  for (const DataFile& file : search.files) {
    std::string folder = std::filesystem::path(file.path).parent_path().string();
    if (search.listed_folders.count(hash_of(folder)) == 0) folders.insert(std::move(folder));
  }
  for (const std::string& folder : folders) qavrel::remove_stale_temporaries(folder, "xtalk_vemra");
}

// The latest stored analysis of each file found, in the files' order.
Status stored_analyses(ResultsStore& store, const std::vector<DataFile>& files,
                       std::vector<Analysis>& stored, LogWriters& writers) {
  stored.resize(files.size());
  return store.load_latest(
      [&](Analysis& analysis) {
        const auto at = std::lower_bound(
            files.begin(), files.end(), analysis.path,
            [](const DataFile& file, const std::string& path) { return file.path < path; });
        if (at != files.end() && at->path == analysis.path)
          stored[static_cast<std::size_t>(at - files.begin())] = std::move(analysis);
      },
      writers);
}

// Says what went wrong in the run. Fails where the run could not complete;
// ends the process where a signal stopped it.
Status tell_run(const Options& options, const std::string& store_place, const Plan& plan,
                const RunOutcome& run) {
  // Workers are said to have run short only where the pool ran at all.
  const std::size_t wanted =
      !run.store_failure.ok() ? 0 : std::min<std::size_t>(options.jobs, plan.to_analyse.size());
  if (run.workers == 0 && wanted > 0 && !options.quiet)
    std::fprintf(stderr,
                 "qavrel-campaign: no worker could run (threads or memory ran short); the files "
                 "were analysed one at a time\n");
  else if (run.workers < wanted && !options.quiet)
    std::fprintf(stderr,
                 "qavrel-campaign: the system allowed %u of %zu workers (threads or memory ran "
                 "short); the run went on with those\n",
                 run.workers, wanted);
  for (const Status& failure : run.map_failures)
    std::fprintf(stderr, "failed: %s\n", failure.reason().c_str());
  const std::string stopped_after = "stopped after " + std::to_string(run.analysed) + " of " +
                                    std::to_string(plan.to_analyse.size()) + " files";
  // The maps of the files analysed are written as each ends; the rest waits.
  const std::string outputs = "The report and tables were left as they were";
  if (run.out_of_memory)
    return Status::failure("memory ran out; " + stopped_after + ", which are stored. " + outputs +
                           "; run again with fewer workers (-j) or more memory to complete the "
                           "rest.");
  if (!run.store_failure.ok())
    return Status::failure(
        "the results store " + store_place + " failed: " + run.store_failure.reason() + "; " +
        stopped_after + ". " + outputs + "; the next run completes the rest" +
        (run.store_failure.reason() == "out of memory" ? ", with fewer workers (-j) or more memory."
                                                       : "."));
  // A stop that came once every file was analysed lets the outputs be
  // written; publishing stops where it sees it.
  const bool all_started = std::none_of(run.made.begin(), run.made.end(),
                                        [](const Analysis& made) { return made.path.empty(); });
  if (stopped_by_signal() && !all_started) {
    fail(stopped_after +
         "; the results store holds them, and the next run carries on from there. " + outputs +
         ".");
    end_by_stop_signal();
  }
  return {};
}

// Leaves out of the search the files a watch saw change within the settle
// time: a later batch takes them once they rest.
void leave_waiting(const std::unordered_set<std::string>& waiting, Search& search) {
  if (waiting.empty()) return;
  search.files.erase(std::remove_if(search.files.begin(), search.files.end(),
                                    [&waiting](const DataFile& file) {
                                      return !file.unsearched && waiting.count(file.path) != 0;
                                    }),
                     search.files.end());
}

// Files still being written that share a log with others are left out
// before the plan, so that one of the others owns the log, as if they had
// not been found yet; the rest are left once the run has read them.
std::vector<std::string> leave_sharers_still_written(std::vector<DataFile>& files,
                                                     std::int64_t settle_ns) {
  std::unordered_map<std::string, int> sharing;
  for (const DataFile& file : files)
    ++sharing[qavrel::log_path_for(file.path, file.chip, file.config)];
  std::vector<std::string> left;
  files.erase(
      std::remove_if(files.begin(), files.end(),
                     [&](const DataFile& file) {
                       if (file.unsearched ||
                           sharing[qavrel::log_path_for(file.path, file.chip, file.config)] < 2 ||
                           !still_being_written(file, settle_ns))
                         return false;
                       left.push_back(file.path);
                       return true;
                     }),
      files.end());
  return left;
}

std::vector<std::string> folders_of(const std::vector<DataFile>& files) {
  std::set<std::string> folders;
  for (const DataFile& file : files)
    if (!file.unsearched) folders.insert(file.path.substr(0, file.path.rfind('/')));
  return {folders.begin(), folders.end()};
}

bool same_limits(const GradeLimits& one, const GradeLimits& other) {
  return one.a == other.a && one.b == other.b && one.c == other.c;
}

// Limits as --grades takes them.
std::string limits_text(const GradeLimits& limits) {
  std::string text = full_precision(limits.a);
  text += ',';
  text += full_precision(limits.b);
  text += ',';
  text += full_precision(limits.c);
  return text;
}

// The status of a run that ended with status, once --fail-on has looked
// at its chips: a failure stays one, as it says more.
int gate(const Options& options, const Grading& grading, int status) {
  if (!options.fail_on) return status;
  const std::size_t chips = chips_at_least(grading, *options.fail_on);
  if (chips == 0) return status;
  const bool worst = *options.fail_on == Grade::not_analysed;
  std::fprintf(stderr, "qavrel-campaign: --fail-on %s: %zu %s graded %s%s\n",
               grade_name(*options.fail_on), chips, chips == 1 ? "chip" : "chips",
               grade_name(*options.fail_on), worst ? "" : " or worse");
  return status == done_status ? fail_on_status : status;
}

// The name a shared store keeps the output folder's records of outputs
// under: the host's and the folder's, as other folders share the store.
std::string outputs_name(const Options& options, const std::string& folder) {
  return options.store.empty() ? std::string() : host_name() + ":" + folder;
}

}  // namespace

// What a run grades and publishes: the campaign's files, and what the run
// says of them.
struct CampaignRun::Campaign {
  std::vector<CampaignFile> files;
  std::vector<bool> analysed;  // by this run
  std::vector<bool> own;       // this bench's, whose failures the run answers for
  StoredGrades stored_grades;
  SearchReport search_report;
  std::size_t reused = 0;
  std::vector<std::string> left_paths;
  std::size_t map_failures = 0;  // maps the run could not write
};

CampaignRun::CampaignRun(const Options& options) : options_(options) {}

bool CampaignRun::other_benches_changed() {
  if (!store_open_) return false;
  std::string state;
  // A store lost reads as a change: the batch it calls for says so and
  // tries the store again, rather than a watch with no file to read
  // going on, silent, without the store or the bench's lock.
  return !store_.other_benches_state(state).ok() || state != other_benches_seen_;
}

RunEnd CampaignRun::store_lost(int status) {
  store_.close();
  store_open_ = false;
  return {status, false, {}, true};
}

std::string CampaignRun::store_place() const {
  if (options_.store.empty()) return "in " + options_.output;
  return "at " + (store_open_ ? store_.where() : masked_connection(options_.store));
}

Status CampaignRun::open_store() {
  if (store_open_) return {};
  StoreSettings settings;
  settings.url = options_.store;
  settings.sqlite_path = options_.output + "/campaign.sqlite";
  settings.wait_ms = static_cast<int>(options_.store_wait_s * 1000);
  settings.bench = options_.report_only ? "" : options_.bench;
  settings.keep_stored_bench = options_.store.empty() && !options_.bench_given;
  settings.outputs = outputs_name(options_, rules_.output_folder);
  if (Status opened = store_.open(settings); !opened.ok()) {
    const bool too_long =
        options_.store.empty() &&
        std::filesystem::absolute(settings.sqlite_path).string().size() > max_store_path;
    return Status::failure(
        "cannot open the results store " + store_place() + ": " + opened.reason() +
        (too_long ? " (SQLite takes paths of up to 512 bytes: choose a shorter -o)" : ""));
  }
  store_open_ = true;
  return {};
}

std::optional<int> CampaignRun::prepare() {
  if (!options_.pattern.empty())
    if (Status compiled = pattern_.compile(options_.pattern); !compiled.ok())
      return usage_error(compiled.reason());
  // Nothing in the output folder is ever taken as data, whether it is
  // there yet or not.
  std::error_code resolved;
  const std::filesystem::path absolute = std::filesystem::absolute(options_.output, resolved);
  rules_ = {options_.pattern.empty() ? nullptr : &pattern_,
            std::filesystem::weakly_canonical(absolute, resolved).string()};
  if (resolved) rules_.output_folder = absolute.lexically_normal().string();
  // A shared store that can't be reached stops the run before anything is
  // written or read.
  if (!options_.store.empty()) {
    if (Status opened = open_store(); !opened.ok()) return fail(opened.reason());
    if (!options_.report_only)
      if (Status writable = store_.check_writable(); !writable.ok())
        return fail("the results store " + store_place() +
                    " can't be written: " + writable.reason());
  }
  // A watch holds the folder from the start, for all its batches; a run
  // makes it only once there is something to put there.
  if (options_.watch) {
    if (Status taken = take_output_folder(); !taken.ok()) return fail(taken.reason());
    listings_ = std::make_unique<FolderListings>(rules_);
  }
  return std::nullopt;
}

bool CampaignRun::store_made() const {
  if (!options_.store.empty()) return true;
  struct stat info {};
  const std::string store_path = options_.output + "/campaign.sqlite";
  return store_open_ || ::stat(store_path.c_str(), &info) == 0;
}

Status CampaignRun::take_output_folder() {
  if (folder_taken_) return {};
  const std::string& output = options_.output;
  std::error_code made;
  std::filesystem::create_directories(output, made);
  if (made)
    return Status::failure("cannot create the output folder " + output + ": " + made.message());
  // The campaign writes and removes files in its folders: one that is a
  // link would have it write or remove files elsewhere.
  for (const char* folder : {"/plots", "/chips", "/index"}) {
    struct stat info {};
    const std::string path = output + folder;
    if (::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
      return Status::failure(path + " is not a folder of the campaign's own but " +
                             (S_ISLNK(info.st_mode) ? "a link" : "a file") +
                             "; move it away, as the campaign writes and removes its outputs "
                             "there");
  }
  // The first write into the folder tells one that can't be written, by
  // the name the user gave rather than that of a subfolder.
  std::filesystem::create_directory(output + "/plots", made);
  if (made)
    return Status::failure("cannot write in the output folder " + output + ": " + made.message());
  if (Status locked = lock_.take(output); !locked.ok()) return locked;
  const std::filesystem::path canonical = std::filesystem::canonical(output, made);
  if (made)
    return Status::failure("cannot open the output folder " + output + ": " + made.message());
  rules_.output_folder = canonical.string();
  folder_taken_ = true;
  return {};
}

void CampaignRun::changed(const std::string& path) {
  if (listings_) listings_->changed(path);
}

void CampaignRun::look_at_everything() {
  if (listings_) listings_->forget_all();
}

RunEnd CampaignRun::run(const std::unordered_set<std::string>& waiting, const GradedFile& graded,
                        bool batch) {
  if (options_.report_only) return report_only();
  const Options& options = options_;
  ResultsStore& store = store_;
  const auto cannot_go_on = [](int status) { return RunEnd{status, false, {}, false}; };
  const auto settle_ns = static_cast<std::int64_t>(options.settle_s * 1e9);
  Plan plan;
  SearchReport search_report;
  StoredGrades stored_grades;
  std::vector<std::string> left_paths;
  {
    // Find, and plan; what the search saw beyond the files goes once planned.
    Search search = find_data_files(
        options.paths, rules_,
        !listings_ ? SearchBelow() : [this](const std::string& top, Search& found) {
          listings_->search_below(top, found);
        });
    if (!options.manifest.empty())
      if (Status read = read_manifest(options.manifest, rules_, search); !read.ok())
        return {fail(read.reason()), true, {}};
    // Folders that could not be searched hold what the last run saw there,
    // which only a store from an earlier run can tell.
    if (search.files.empty() && (search.unsearched.empty() || !store_made())) {
      if (!batch) tell_search(options, search);
      return {no_data_files(options), true, {}};
    }
    // Found something: now the output folder is needed.
    if (Status taken = take_output_folder(); !taken.ok()) return cannot_go_on(fail(taken.reason()));
    if (Status opened = open_store(); !opened.ok()) return store_lost(fail(opened.reason()));
    // A store that another program holds is waited for, and given up on,
    // before any file is read.
    if (Status writable = store.check_writable(); !writable.ok())
      return store_lost(
          fail("the results store " + store_place() + " can't be written: " + writable.reason()));
    std::vector<DataFile> last_seen;
    if (Status read = store.last_seen_in(search.unsearched, last_seen); !read.ok())
      return store_lost(
          fail("cannot read the results store " + store_place() + ": " + read.reason()));
    take_unsearched(std::move(last_seen), search);
    leave_waiting(waiting, search);
    if (!batch) tell_search(options, search);
    if (search.files.empty()) return {no_data_files(options), true, {}};
    look_at(search);
    left_paths = leave_sharers_still_written(search.files, settle_ns);
    remove_stale_temporaries(options.output, search, options.write_logs);
    data_folders_ = folders_of(search.files);

    std::vector<Analysis> stored;
    LogWriters writers;
    if (Status read = stored_analyses(store, search.files, stored, writers); !read.ok())
      return store_lost(
          fail("cannot read the results store " + store_place() + ": " + read.reason()));
    if (Status recorded = store.record_search(search.files, stored_grades); !recorded.ok())
      return store_lost(
          fail("the results store " + store_place() + " failed: " + recorded.reason()));
    PlanSettings plan_settings;
    plan_settings.force = options.force && !batch;
    plan_settings.write_logs = options.write_logs;
    plan_settings.tool_version = tool_version;
    plan_settings.bench = store.bench();
    plan = plan_campaign(std::move(search.files), std::move(stored), writers, plan_settings);
    search_report = {std::move(search.skipped), std::move(search.failures)};
  }

  // Run.
  std::atomic<bool>& stop = catch_stop_signals();
  RunSettings run_settings;
  run_settings.workers = options.jobs;
  run_settings.output_folder = rules_.output_folder;
  run_settings.map_limits = options.limits;
  run_settings.settle_ns = settle_ns;
  run_settings.show_progress = !options.quiet && !batch;
  RunOutcome run = run_analyses(plan, run_settings, store, stop);
  if (Status ran = tell_run(options, store_place(), plan, run); !ran.ok())
    return run.store_failure.ok() ? cannot_go_on(fail(ran.reason()))
                                  : store_lost(fail(ran.reason()));
  const std::size_t reused = plan.reused;
  // Files still being written are left out, as if this run had not found
  // them: the next one reads them.
  std::vector<bool> left(plan.files.size(), false);
  std::vector<bool> analysed(plan.files.size(), false);
  std::vector<std::string> left_after_reading;
  for (const std::size_t k : run.still_written) {
    left[plan.to_analyse[k]] = true;
    left_after_reading.push_back(run.made[k].path);
  }
  left_paths.insert(left_paths.end(), left_after_reading.begin(), left_after_reading.end());
  std::sort(left_paths.begin(), left_paths.end());
  for (const std::string& path : left_paths)
    std::fprintf(stderr, "still being written, left for the next run: %s\n", path.c_str());
  // Nothing complete yet: the outputs stay as they were, as when no file
  // is found, rather than showing an empty campaign.
  if (!left_paths.empty() && left_after_reading.size() == plan.files.size())
    return {fail("no data file under " + searched(options) +
                 " is complete yet; the outputs were left as they were"),
            true, std::move(left_paths)};
  for (std::size_t k = 0; k < run.made.size(); ++k)
    analysed[plan.to_analyse[k]] = !run.made[k].path.empty() && !left[plan.to_analyse[k]];
  drop_marked(stored_grades, left);
  drop_marked(analysed, left);
  if (Status forgot = store.forget_data_files(left_after_reading); !forgot.ok())
    return store_lost(fail("the results store " + store_place() + " failed: " + forgot.reason()));
  std::vector<CampaignFile> own = with_analyses(std::move(plan), std::move(run.made), left);

  // The files of the other benches that share the store join this bench's;
  // their state is taken first, so that a change after it is seen later.
  std::vector<CampaignFile> others;
  StoredGrades other_grades;
  if (Status read = store.other_benches_state(other_benches_seen_); !read.ok())
    return store_lost(
        fail("cannot read the results store " + store_place() + ": " + read.reason()));
  if (Status read = store.other_benches(others, other_grades); !read.ok())
    return store_lost(
        fail("cannot read the results store " + store_place() + ": " + read.reason()));
  Campaign campaign;
  JoinedBenches benches = join_benches(std::move(own), std::move(others));
  campaign.analysed = joined(benches, analysed, {});
  campaign.own = joined(benches, std::vector<bool>(benches.own_places.size(), true), {});
  campaign.stored_grades = joined(benches, stored_grades, other_grades);
  campaign.files = std::move(benches.files);
  campaign.search_report = std::move(search_report);
  campaign.reused = reused;
  campaign.left_paths = std::move(left_paths);
  campaign.map_failures = run.map_failures.size();
  return grade_and_publish(campaign, graded, batch);
}

RunEnd CampaignRun::report_only() {
  if (Status opened = open_store(); !opened.ok()) return store_lost(fail(opened.reason()));
  Campaign campaign;
  if (Status read = store_.other_benches(campaign.files, campaign.stored_grades); !read.ok())
    return store_lost(
        fail("cannot read the results store " + store_place() + ": " + read.reason()));
  // Nothing to show: no output folder is made.
  if (campaign.files.empty())
    return {
        fail("the results store " + store_place() + " holds no analysed data file yet"), true, {}};
  if (Status taken = take_output_folder(); !taken.ok())
    return {fail(taken.reason()), false, {}, false};
  mark_superseded(campaign.files);
  campaign.analysed.assign(campaign.files.size(), false);
  campaign.own.assign(campaign.files.size(), true);
  return grade_and_publish(campaign, nullptr, false);
}

RunEnd CampaignRun::grade_and_publish(Campaign& campaign, const GradedFile& graded, bool batch) {
  const Options& options = options_;
  const std::vector<CampaignFile>& files = campaign.files;
  // Every file of the bench that failed, in this run or as stored (a
  // damaged file stays failed until it changes), with qavrel.exe's words;
  // a batch says those it read.
  std::size_t failures = campaign.search_report.search_failures.size();
  for (std::size_t i = 0; i < files.size(); ++i)
    if (!files[i].analysis.ok && campaign.own[i]) {
      if (!batch || campaign.analysed[i])
        std::fprintf(stderr, "failed: %s: %s\n", files[i].analysis.path.c_str(),
                     files[i].analysis.error.c_str());
      ++failures;
    }

  // The limits are those of the outputs about to be written; a watch's
  // batches grade by those of its first run. A report from the store
  // alone grades no bench's files: the benches' limits stay the last.
  if (!batch && !options.report_only) {
    std::optional<GradeLimits> last;
    if (Status recorded = store_.record_grade_limits(options.limits, last); !recorded.ok())
      return store_lost(
          fail("the results store " + store_place() + " failed: " + recorded.reason()));
    if (last && !same_limits(*last, options.limits))
      std::fprintf(stderr,
                   "qavrel-campaign: grading by the limits %s, which differ from the last "
                   "run's %s (--grades)\n",
                   limits_text(options.limits).c_str(), limits_text(*last).c_str());
  }

  // Grade, and tell; then publish.
  const Grading grading = grade_campaign(files, options.limits);
  if (graded)
    for (std::size_t i = 0; i < files.size(); ++i)
      if (campaign.analysed[i]) graded(files[i], grading.of_file[i], grading.limits);
  const ReportInputs inputs{files,
                            grading,
                            campaign.search_report,
                            options.ratios_csv,
                            given_folders(options),
                            !options.store.empty()};
  std::size_t outputs_failed = campaign.map_failures;
  std::atomic<bool>& stop = catch_stop_signals();
  const Published published = publish(options.output, inputs, store_, campaign.stored_grades, stop);
  for (const Status& failure : published.failures) {
    std::fprintf(stderr, "failed: %s\n", failure.reason().c_str());
    ++outputs_failed;
  }
  // A shared store that failed while the outputs were written ends the run
  // as a store that fails before does: a watch then tries it again.
  if (published.store_failed && !options.store.empty())
    return store_lost(fail("the results store " + store_place() +
                           " failed while the outputs were written; those not yet written were "
                           "left as they were, and the next run makes them"));
  if (published.cut_short) {
    std::fprintf(stderr,
                 "qavrel-campaign: stopped while writing the outputs; those not yet replaced "
                 "were left as they were, and the next run makes them.\n");
    end_by_stop_signal();
  }
  if (outputs_failed > 0)
    fail(std::to_string(outputs_failed) + (outputs_failed == 1 ? " output" : " outputs") +
         " could not be written; the report is not up to date, and the next run makes what is "
         "missing");
  if (!options.quiet && !batch) {
    std::printf("%s\n",
                summary_line(files, grading, campaign.reused, failures, campaign.left_paths.size())
                    .c_str());
    if (outputs_failed == 0) std::printf("report: %s/report.html\n", options.output.c_str());
    if (std::fflush(stdout) != 0)
      return {fail(std::string("cannot write the summary: ") + std::strerror(errno)), true, {}};
  }
  const int status = failures == 0 && outputs_failed == 0 ? done_status : failed_status;
  return {gate(options, grading, status), true, std::move(campaign.left_paths)};
}

}  // namespace qavrel::campaign
