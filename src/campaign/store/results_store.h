// The campaign's results store, which keeps every analysis ever made:
// reruns add to it and never remove an analysis. It is an SQLite file in
// the output folder, or a PostgreSQL database that several benches share;
// a data file is known by its bench and its path.
//
// Tables: analyses (one row per analysis of a data file, with the facts of
// its reading), ratios (its 240 ratios at full double precision; NULL for
// not-a-number), channel_means (each observed channel's mean absolute
// ratio over the peaks), data_files (the files the last search saw, with
// the grade and standing the last outputs gave them) and output_files
// (what each output folder's outputs were made from), and grade_limits
// (those of each run).
// The view latest_analyses holds the
// newest analysis of each of those files, latest_ratios its ratios (path,
// chip, config, peak, channel, ratio), and current_measurements one row
// per chip and configuration. Text that is not UTF-8 is kept exactly (see
// database.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "campaign/model/grading.h"
#include "campaign/model/plan.h"
#include "campaign/store/database.h"
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

// Where the store is, and who opens it.
struct StoreSettings {
  std::string url;          // of a PostgreSQL database; empty for SQLite at sqlite_path
  std::string sqlite_path;  // the SQLite file
  int wait_ms = 10000;      // for a lock another program holds
  // The bench this run reads files for; empty for a run that only reads
  // the store and writes the outputs of every bench.
  std::string bench;
  // A SQLite store whose files are of one bench goes on under that bench's
  // name: a machine renamed is not a new bench.
  bool keep_stored_bench = false;
  // The output folder the records of outputs are of.
  std::string outputs;
};

class ResultsStore {
 public:
  ResultsStore() = default;
  ~ResultsStore();
  ResultsStore(const ResultsStore&) = delete;
  ResultsStore& operator=(const ResultsStore&) = delete;

  // Opens or creates the store, bringing an older layout up to date, and
  // keeps other runs of the bench out of it while it is open.
  Status open(const StoreSettings& settings);
  // The SQLite store at path, for a bench of no name.
  Status open(const std::string& path, int wait_ms = default_wait_ms);
  static constexpr int default_wait_ms = 10000;
  // Where it is, for messages; a password is never shown.
  std::string where() const;
  // The bench its analyses are stored under.
  const std::string& bench() const { return bench_; }
  // Closes it, keeping nothing that was not committed.
  void close();
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

  // Hands the newest analysis of each path the bench ever analysed to
  // keep, and tells who wrote each log. keep may take the analysis.
  Status load_latest(const std::function<void(Analysis&)>& keep, LogWriters& writers);
  // The files of the last search of every other bench (of every bench,
  // for a store opened without one) that have an analysis, in path order
  // then bench order, with the newest analysis of each, and the grades
  // the store holds of them.
  Status other_benches(std::vector<CampaignFile>& files, StoredGrades& grades);
  // What tells whether the other benches' files changed: their newest
  // analysis and how many files their last searches found.
  Status other_benches_state(std::string& state);
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
  // Takes the bench of the files stored, if they are all of one.
  Status keep_stored_bench();
  Status prepare(const std::string& sql, std::unique_ptr<Query>& query);
  Status begin_batch();
  // Deletes the row of each key with sql (the first parameter bound to
  // key, the second to bench), in a transaction of its own, after
  // committing what is pending.
  Status delete_each(const char* sql, const std::vector<std::string>& keys,
                     const std::string& bench);

  std::unique_ptr<Database> db_;
  std::string bench_;
  std::string outputs_;
  std::unique_ptr<Query> insert_analysis_;
  std::unique_ptr<Query> insert_output_;
  std::unique_ptr<Query> select_ratios_;
};

}  // namespace qavrel::campaign
