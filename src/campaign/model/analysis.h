// One analysis of one data file, as the results store keeps it: once
// stored it never changes, so its id stands for all of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "campaign/find/data_file.h"
#include "campaign/model/ratio_table.h"
#include "core/parity.h"

namespace qavrel::campaign {

// What kept an analysis from its table and log: the file could not be
// opened, or its reading failed part way (a corrupt or cut compressed
// stream), its configuration names no parity, or its log could not be
// written.
enum class Failure { none, open, read, parity, log };

struct Analysis {
  std::int64_t id = 0;        // its row in the store, once stored
  std::int64_t size = 0;      // of the data file, in bytes
  std::int64_t mtime_ns = 0;  // of the data file
  std::int64_t ctime_ns = 0;  // of the data file
  std::int64_t train_rows = 0;
  std::int64_t rows_read = 0;
  std::int64_t token_offset = 0;  // where the token that is not a number starts
  WorstChannel worst;             // once ratios were computed from a complete pedestal window
  FileState log;                  // of the log it wrote, just after; -1 when it wrote none

  std::string bench;  // that analysed it; with the path, what the file is known by
  std::string path;
  std::string chip;
  std::string config;
  std::optional<qavrel::Parity> parity;  // none when the configuration names neither
  Failure failure = Failure::none;
  std::string error;  // why the analysis failed, as qavrel.exe says it
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
  // The data file's state as it was analysed.
  FileState data_state() const { return {size, mtime_ns, ctime_ns}; }
};

// "open", "read", "parity" or "log"; "" for none.
const char* failure_name(Failure failure);
Failure failure_named(const std::string& name);

// The version stored with each analysis; a new one analyses everything again.
extern const char* const tool_version;

}  // namespace qavrel::campaign
