// The campaign's results store, an SQLite database that keeps every
// analysis ever made: reruns add to it and never remove anything.
//
// Tables: analyses (one row per analysis of a data file, with the facts of
// its reading), ratios (its 240 ratios at full double precision; NULL for
// not-a-number), channel_means (each observed channel's mean absolute ratio
// over the peaks), outputs and chip_pages (what the outputs were made
// from). The view latest_analyses holds the newest analysis of each data
// file, and latest_ratios its ratios: path, chip, config, peak, channel,
// ratio.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "campaign/model/analysis.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qavrel::campaign {

// For each log, by a hash of its path, the id of the newest analysis that
// wrote it.
using LogWriters = std::unordered_map<std::uint64_t, std::int64_t>;

// A channel's mean absolute ratio, summed over analyses.
struct ChannelMean {
  double sum = 0.0;
  std::int64_t count = 0;
};

// A chip's page in the outputs, and what it was made from.
struct ChipPage {
  std::string file;
  std::string made_from;
};

class ResultsStore {
 public:
  ResultsStore() = default;
  ~ResultsStore();
  ResultsStore(const ResultsStore&) = delete;
  ResultsStore& operator=(const ResultsStore&) = delete;

  // Opens or creates the store, waiting up to wait_ms for a lock another
  // program holds. False, with the reason, when that fails.
  bool open(const std::string& path, std::string& error, int wait_ms = default_wait_ms);
  static constexpr int default_wait_ms = 10000;

  // Hands the newest analysis of each data file to keep, in path order,
  // and tells who wrote each log. keep may take the analysis.
  bool load_latest(const std::function<void(Analysis&)>& keep, LogWriters& writers,
                   std::string& error);
  // The ratios of a stored analysis.
  bool load_ratios(const Analysis& analysis, RatioTable& ratios, std::string& error);

  // Adds an analysis and its ratios (when it computed them), giving it its
  // id. Additions become durable together at the next commit. A failed add
  // or commit undoes every addition since the last commit.
  bool add(Analysis& analysis, const RatioTable& ratios, std::string& error);
  bool commit(std::string& error);
  // Whether an addition could be made now: false, with the reason, when
  // another program holds the store past the wait, or it is read-only.
  bool check_writable(std::string& error);

  // What the outputs in the store's folder were last made from (see
  // publish.cpp), so that unchanged ones need not be made again.
  std::string outputs_made_from();
  bool set_outputs_made_from(const std::string& fingerprint, std::string& error);

  // The mean absolute ratio of each chip channel, over the given analyses.
  bool channel_means(const std::vector<std::int64_t>& analyses,
                     std::array<ChannelMean, qavrel::nchan>& means, std::string& error);

  // The chip pages written, by chip; and the record of those written and
  // of those removed.
  bool load_chip_pages(std::unordered_map<std::string, ChipPage>& pages, std::string& error);
  bool save_chip_pages(const std::vector<std::pair<std::string, ChipPage>>& written,
                       const std::vector<std::string>& removed, std::string& error);

 private:
  bool prepare(const char* sql, sqlite3_stmt*& statement, std::string& error);
  bool execute(const char* sql, std::string& error);
  bool fail(std::string& error);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_analysis_ = nullptr;
  sqlite3_stmt* insert_ratio_ = nullptr;
  sqlite3_stmt* insert_channel_mean_ = nullptr;
  sqlite3_stmt* select_ratios_ = nullptr;
};

}  // namespace qavrel::campaign
