// One analysis of one data file, as the results store keeps it, and the
// running of it: the same analysis and log as qavrel.exe's.
#pragma once

#include <cstdint>
#include <string>

#include "campaign/data_files.h"
#include "cross_talk_table.h"

struct Analysis {
  std::int64_t id = 0;        // its row in the store, once stored
  std::int64_t size = 0;      // of the data file, in bytes
  std::int64_t mtime_ns = 0;  // of the data file
  std::int64_t train_rows = 0;
  std::int64_t rows_read = 0;
  std::int64_t token_offset = 0;  // where the token that is not a number starts
  // The observed channel whose mean ratio over the peaks is largest in size
  // (see grades.h), once ratios were computed from a complete pedestal window.
  double worst_abs_mean = 0.0;
  double worst_standard_error = 0.0;
  int worst_column = 0;

  std::string path;
  std::string chip;
  std::string config;
  std::string parity;  // "odd" or "even"; empty when the configuration names neither
  std::string error;   // why the analysis failed, as qavrel.exe says it
  std::string log_path;
  std::string tool_version;
  std::string analysed_at;  // UTC, as 2026-12-08T12:34:56Z

  bool ok = false;  // analysed, and its log written where one was due
  bool marker_found = false;
  bool ended_on_token = false;  // false: the input ended at the end of the file
  bool log_written = false;

  std::int64_t complete_trains() const;
  std::int64_t cut_train_rows() const;  // 0 when no train was cut short
  bool has_data() const;                // a complete pedestal window was read
};

// The cross-talk ratios of an analysis, by peak and observed channel;
// not-a-number where none was computed. The store keeps them, and the
// campaign holds those of one file at a time.
struct RatioTable {
  double values[npeaks][observed_channels];
  RatioTable();
};

// A data file's size and modification time, as the store keeps them; -1
// for both when the file can't be looked at.
struct FileState {
  std::int64_t size = -1;
  std::int64_t mtime_ns = -1;
};
FileState state_of(const std::string& path);

// The version stored with each analysis; a new one analyses everything again.
extern const char* const tool_version;

// Analyses the data file as qavrel.exe does with the file's chip and
// configuration as arguments, and writes the same log there when write_log.
Analysis analyse_data_file(const DataFile& file, bool write_log, RatioTable& ratios);
