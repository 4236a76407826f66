// The campaign's results store, an SQLite database in the output folder
// that keeps every analysis ever made: reruns add to it and never remove
// an analysis.
//
// Tables: analyses (one row per analysis of a data file, with the facts of
// its reading), ratios (its 240 ratios at full double precision; NULL for
// not-a-number), channel_means (each observed channel's mean absolute
// ratio over the peaks), data_files (the files the last search saw, with
// the grade and standing the last outputs gave them) and output_files
// (what each output was made from), and grade_limits (those of each run).
// The view latest_analyses holds the
// newest analysis of each of those files, latest_ratios its ratios (path,
// chip, config, peak, channel, ratio), and current_measurements one row
// per chip and configuration. Text that is not UTF-8 is kept as a BLOB of
// its exact bytes (see statement.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "campaign/model/grading.h"
#include "campaign/model/plan.h"
#include "campaign/store/statement.h"
#include "core/status.h"

namespace qavrel::campaign {

// A channel's mean absolute ratio, summed over analyses.
struct ChannelMean {
  double sum = 0.0;
  std::int64_t count = 0;
};

// What an output was made from, and its file's state once it was in place,
// so that an output another program changed or removed is told.
struct OutputRecord {
  std::uint64_t made_from = 0;
  FileState state;
};

// The records of the outputs, by a hash of each one's name.
using OutputRecords = std::unordered_map<std::uint64_t, OutputRecord>;

// For each file of a search, its grade and standing as the store holds
// them from the last outputs (see record_grades); 0 where it holds none.
using StoredGrades = std::vector<std::uint8_t>;

class ResultsStore {
 public:
  ResultsStore() = default;
  ~ResultsStore();
  ResultsStore(const ResultsStore&) = delete;
  ResultsStore& operator=(const ResultsStore&) = delete;

  // Opens or creates the store, bringing an older layout up to date, and
  // waits up to wait_ms for a lock another program holds.
  Status open(const std::string& path, int wait_ms = default_wait_ms);
  static constexpr int default_wait_ms = 10000;
  // Whether an addition could be made now: fails, with the reason, when
  // another program holds the store past the wait, or it is read-only.
  Status check_writable();

  // The files the last search saw in these folders, as data files that
  // stand as stored: named as then, with the states of the file and its
  // log that their latest analysis recorded.
  Status last_seen_in(const std::vector<std::string>& folders, std::vector<DataFile>& files);
  // Makes the files of this search (in path order) those the store holds
  // as the last search's, and tells the grades it holds of them.
  Status record_search(const std::vector<DataFile>& files, StoredGrades& grades);
  // Takes files out of the last search's, as a run that left them for the
  // next (they were still being written) had not found them.
  Status forget_data_files(const std::vector<std::string>& paths);

  // Adds the grade limits of this run, with the next commit, and tells
  // those of the last run that recorded any (none for a new store).
  Status record_grade_limits(const GradeLimits& limits, std::optional<GradeLimits>& last);

  // Hands the newest analysis of each path ever analysed to keep, and
  // tells who wrote each log. keep may take the analysis.
  Status load_latest(const std::function<void(Analysis&)>& keep, LogWriters& writers);
  // The ratios of a stored analysis.
  Status load_ratios(std::int64_t analysis_id, RatioTable& ratios);

  // Adds an analysis and its ratios (when it computed them), giving it its
  // id, and records an output made from it. Additions become durable
  // together at the next commit; a failed addition or commit undoes every
  // one since the last commit.
  Status add(Analysis& analysis, const RatioTable& ratios);
  Status record_output(const std::string& name, const OutputRecord& record);
  Status commit();

  // The records of the outputs: all of them, or the one named (known
  // tells whether the store holds it).
  Status load_outputs(OutputRecords& records);
  Status load_output(const std::string& name, OutputRecord& record, bool& known);
  // Forgets what these outputs were made from, at once and durably,
  // before they are written again or removed.
  Status forget_outputs(const std::vector<std::string>& names);
  // The grade and standing of each file, where they differ from grades.
  Status record_grades(const std::vector<CampaignFile>& files, const Grading& grading,
                       const StoredGrades& grades);

  // The mean absolute ratio of each chip channel over the given analyses,
  // summed in an order of its own, so that it is the same whatever order
  // the analyses were stored in.
  Status channel_means(const std::vector<std::int64_t>& analyses,
                       std::array<ChannelMean, qavrel::nchan>& means);

 private:
  Status fail();
  Status execute(const char* sql);
  Status begin_batch();
  // Deletes the row of each key with sql (one bound key), in a transaction
  // of its own, after committing what is pending.
  Status delete_each(const char* sql, const std::vector<std::string>& keys);

  sqlite3* db_ = nullptr;
  Statement insert_analysis_;
  Statement insert_ratio_;
  Statement insert_channel_mean_;
  Statement insert_output_;
  Statement select_ratios_;
};

}  // namespace qavrel::campaign
