// One analysis of one data file, as the results store keeps it, and the
// running of it: the same analysis and log as qavrel.exe's.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "campaign/find/data_files.h"
#include "campaign/model/ratio_table.h"
#include "core/parity.h"

namespace qavrel::campaign {

struct Analysis {
  std::int64_t id = 0;        // its row in the store, once stored
  std::int64_t size = 0;      // of the data file, in bytes
  std::int64_t mtime_ns = 0;  // of the data file
  std::int64_t train_rows = 0;
  std::int64_t rows_read = 0;
  std::int64_t token_offset = 0;  // where the token that is not a number starts
  WorstChannel worst;             // once ratios were computed from a complete pedestal window
  FileState log;                  // of the log it wrote, just after; -1 when it wrote none

  std::string path;
  std::string chip;
  std::string config;
  std::optional<qavrel::Parity> parity;  // none when the configuration names neither
  std::string error;                     // why the analysis failed, as qavrel.exe says it
  std::string tool_version;
  std::string analysed_at;  // UTC, as 2026-12-08T12:34:56Z

  bool ok = false;          // analysed, and its log written where one was due
  bool has_ratios = false;  // the file was read and its ratios computed
  bool marker_found = false;
  bool ended_on_token = false;  // false: the input ended at the end of the file
  bool log_written = false;

  std::int64_t complete_trains() const;
  std::int64_t cut_train_rows() const;  // 0 when no train was cut short
  bool has_data() const;                // a complete pedestal window was read
  std::string log_path() const;         // where its chip and configuration put the log
  // The chip's number of the worst observed channel.
  int worst_channel_number() const;
};

// The version stored with each analysis; a new one analyses everything again.
extern const char* const tool_version;

// Analyses the data file as qavrel.exe does with the file's chip and
// configuration as arguments, and writes the same log there when write_log,
// unless the log already holds that very table. Unlike qavrel.exe it
// refuses a log that is not a regular file (a FIFO would hold the whole
// campaign up, a device take the table), and a log that is a link to a file
// that link_refused(target) gives a reason for (data, the store).
Analysis analyse_data_file(const DataFile& file, bool write_log, RatioTable& ratios,
                           const std::function<std::string(const std::string&)>& link_refused);

}  // namespace qavrel::campaign
