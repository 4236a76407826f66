// The campaign's results store, an SQLite database that keeps every
// analysis ever made: reruns add to it and never remove anything.
//
// Tables: analyses (one row per analysis of a data file, with the facts of
// its reading) and ratios (its 240 ratios at full double precision; NULL
// for not-a-number). The view latest_analyses holds the newest analysis of
// each data file.
#pragma once

#include <string>
#include <unordered_map>

#include "campaign/analysis.h"

struct sqlite3;
struct sqlite3_stmt;

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

  // The newest analysis of each data file, by path.
  bool load_latest(std::unordered_map<std::string, Analysis>& latest, std::string& error);
  // The ratios of a stored analysis.
  bool load_ratios(const Analysis& analysis, RatioTable& ratios, std::string& error);

  // Adds an analysis and its ratios (when it computed them), giving it its
  // id. Additions become durable together at the next commit. A failed add
  // or commit undoes every addition since the last commit.
  bool add(Analysis& analysis, const RatioTable& ratios, std::string& error);
  bool commit(std::string& error);

  // What the outputs in the store's folder were last made from (see
  // publish.cpp), so that unchanged ones need not be made again.
  std::string outputs_made_from();
  bool set_outputs_made_from(const std::string& fingerprint, std::string& error);

 private:
  bool execute(const char* sql, std::string& error);
  bool fail(std::string& error);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_analysis_ = nullptr;
  sqlite3_stmt* insert_ratio_ = nullptr;
  sqlite3_stmt* select_ratios_ = nullptr;
};
