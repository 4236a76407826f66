#include "campaign/store/results_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "campaign/common/hashing.h"

namespace qavrel::campaign {

namespace {

const char* const schema = R"sql(
CREATE TABLE IF NOT EXISTS analyses (
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  chip TEXT NOT NULL,
  config TEXT NOT NULL,
  parity TEXT,
  status TEXT NOT NULL CHECK (status IN ('ok', 'failed')),
  error TEXT,
  marker_found INTEGER NOT NULL,
  complete_trains INTEGER NOT NULL,
  cut_train_rows INTEGER NOT NULL,
  train_rows INTEGER NOT NULL,
  rows_read INTEGER NOT NULL,
  input_end TEXT NOT NULL CHECK (input_end IN ('end of file', 'token')),
  token_offset INTEGER,
  log_path TEXT NOT NULL,
  log_written INTEGER NOT NULL,
  worst_channel INTEGER,
  worst_abs_mean_ratio REAL,
  worst_standard_error REAL,
  tool_version TEXT NOT NULL,
  analysed_at TEXT NOT NULL,
  log_size INTEGER,
  log_mtime_ns INTEGER
);
CREATE INDEX IF NOT EXISTS analyses_by_path ON analyses (path, id);
CREATE TABLE IF NOT EXISTS ratios (
  analysis_id INTEGER NOT NULL REFERENCES analyses (id),
  peak INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  ratio REAL,
  PRIMARY KEY (analysis_id, peak, channel)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS outputs (made_from TEXT NOT NULL);
CREATE VIEW IF NOT EXISTS latest_analyses AS
  SELECT * FROM analyses WHERE id IN (SELECT max(id) FROM analyses GROUP BY path);
CREATE VIEW IF NOT EXISTS latest_ratios AS
  SELECT a.path, a.chip, a.config, r.peak, r.channel, r.ratio
  FROM latest_analyses AS a JOIN ratios AS r ON r.analysis_id = a.id;
CREATE TABLE IF NOT EXISTS chip_pages (
  chip TEXT PRIMARY KEY,
  page TEXT NOT NULL,
  made_from TEXT NOT NULL
);
)sql";

// Each observed channel's mean absolute ratio over the peaks, for the
// campaign's view of every channel. A store made before this table existed
// has it filled from its ratios once.
const char* const channel_means_schema = R"sql(
CREATE TABLE channel_means (
  analysis_id INTEGER NOT NULL REFERENCES analyses (id),
  channel INTEGER NOT NULL,
  mean_abs_ratio REAL NOT NULL,
  PRIMARY KEY (analysis_id, channel)
) WITHOUT ROWID;
INSERT INTO channel_means
  SELECT analysis_id, channel, avg(abs(ratio)) FROM ratios
  WHERE ratio IS NOT NULL AND abs(ratio) < 9e999
  GROUP BY analysis_id, channel;
)sql";

const char* const insert_analysis_sql =
    "INSERT INTO analyses (path, size, mtime_ns, chip, config, parity, status, error,"
    " marker_found, complete_trains, cut_train_rows, train_rows, rows_read, input_end,"
    " token_offset, log_path, log_written, worst_channel, worst_abs_mean_ratio,"
    " worst_standard_error, tool_version, analysed_at, log_size, log_mtime_ns)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
const char* const insert_ratio_sql =
    "INSERT INTO ratios (analysis_id, peak, channel, ratio) VALUES (?, ?, ?, ?)";
const char* const insert_channel_mean_sql =
    "INSERT INTO channel_means (analysis_id, channel, mean_abs_ratio) VALUES (?, ?, ?)";
const char* const select_latest_sql =
    "SELECT id, path, size, mtime_ns, chip, config, parity, status, error, marker_found,"
    " train_rows, rows_read, input_end, token_offset, log_path, log_written, worst_channel,"
    " worst_abs_mean_ratio, worst_standard_error, tool_version, analysed_at, log_size,"
    " log_mtime_ns FROM analyses AS a"
    // In path order as the index on paths has them, so that nothing is sorted.
    " WHERE id = (SELECT max(id) FROM analyses WHERE path = a.path) ORDER BY path";
const char* const select_ratios_sql =
    "SELECT peak, channel, ratio FROM ratios WHERE analysis_id = ?";

void bind_text(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string column_text(sqlite3_stmt* statement, int index) {
  const unsigned char* text = sqlite3_column_text(statement, index);
  return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
}

// SQLite keeps not-a-number as NULL, which would read back as 0.0.
double column_double(sqlite3_stmt* statement, int index) {
  return sqlite3_column_type(statement, index) == SQLITE_NULL
             ? std::nan("")
             : sqlite3_column_double(statement, index);
}

// A statement that is finalized when it goes out of scope.
struct Query {
  sqlite3_stmt* statement = nullptr;
  ~Query() { sqlite3_finalize(statement); }
};

}  // namespace

ResultsStore::~ResultsStore() {
  if (db_ != nullptr) {
    std::string ignored;
    static_cast<void>(commit(ignored));
  }
  sqlite3_finalize(insert_analysis_);
  sqlite3_finalize(insert_ratio_);
  sqlite3_finalize(insert_channel_mean_);
  sqlite3_finalize(select_ratios_);
  sqlite3_close(db_);
}

bool ResultsStore::fail(std::string& error) {
  error = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
  // SQLite's words for a failed read or write ("disk I/O error") leave out
  // the system's reason, which tells a full disk from a file-size limit.
  const int code = db_ != nullptr ? sqlite3_errcode(db_) & 0xff : SQLITE_OK;
  if ((code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN) &&
      sqlite3_system_errno(db_) != 0)
    error += std::string(" (") + std::strerror(sqlite3_system_errno(db_)) + ")";
  // What the failed transaction added is undone, so that the store never
  // goes on inside a transaction SQLite may have dropped.
  for (sqlite3_stmt* statement :
       {insert_analysis_, insert_ratio_, insert_channel_mean_, select_ratios_})
    sqlite3_reset(statement);
  if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0)
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

bool ResultsStore::execute(const char* sql, std::string& error) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK || fail(error);
}

bool ResultsStore::prepare(const char* sql, sqlite3_stmt*& statement, std::string& error) {
  return sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) == SQLITE_OK || fail(error);
}

bool ResultsStore::open(const std::string& path, std::string& error, int wait_ms) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) return fail(error);
  // Another program may hold the store for a moment; a write-ahead log
  // keeps readers and the writer apart and makes each commit cheap.
  sqlite3_busy_timeout(db_, wait_ms);
  if (!execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;", error) ||
      !execute(schema, error))
    return false;
  // A store made before the log's state was kept gains its columns.
  Query has_log_state;
  if (sqlite3_prepare_v2(db_, "SELECT log_size FROM analyses LIMIT 0", -1, &has_log_state.statement,
                         nullptr) != SQLITE_OK &&
      !execute("ALTER TABLE analyses ADD COLUMN log_size INTEGER;"
               " ALTER TABLE analyses ADD COLUMN log_mtime_ns INTEGER;",
               error))
    return false;
  Query has_means;
  if (!prepare("SELECT 1 FROM sqlite_master WHERE name = 'channel_means'", has_means.statement,
               error))
    return false;
  if (sqlite3_step(has_means.statement) != SQLITE_ROW &&
      !execute((std::string("BEGIN;") + channel_means_schema + "COMMIT;").c_str(), error))
    return false;
  return prepare(insert_analysis_sql, insert_analysis_, error) &&
         prepare(insert_ratio_sql, insert_ratio_, error) &&
         prepare(insert_channel_mean_sql, insert_channel_mean_, error) &&
         prepare(select_ratios_sql, select_ratios_, error);
}

bool ResultsStore::load_latest(const std::function<void(Analysis&)>& keep, LogWriters& writers,
                               std::string& error) {
  Query analyses;
  if (!prepare(select_latest_sql, analyses.statement, error)) return false;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(analyses.statement)) == SQLITE_ROW) {
    sqlite3_stmt* row = analyses.statement;
    Analysis analysis;
    analysis.id = sqlite3_column_int64(row, 0);
    analysis.path = column_text(row, 1);
    analysis.size = sqlite3_column_int64(row, 2);
    analysis.mtime_ns = sqlite3_column_int64(row, 3);
    analysis.chip = column_text(row, 4);
    analysis.config = column_text(row, 5);
    if (sqlite3_column_type(row, 6) != SQLITE_NULL)
      analysis.parity = qavrel::parity_named_in(column_text(row, 6));
    analysis.has_ratios = analysis.parity.has_value();
    analysis.ok = column_text(row, 7) == "ok";
    analysis.error = column_text(row, 8);
    analysis.marker_found = sqlite3_column_int(row, 9) != 0;
    analysis.train_rows = sqlite3_column_int64(row, 10);
    analysis.rows_read = sqlite3_column_int64(row, 11);
    analysis.ended_on_token = column_text(row, 12) == "token";
    analysis.token_offset = sqlite3_column_int64(row, 13);
    analysis.log_written = sqlite3_column_int(row, 15) != 0;
    analysis.worst.column = sqlite3_column_int(row, 16) / 2;
    analysis.worst.abs_mean = column_double(row, 17);
    analysis.worst.standard_error = column_double(row, 18);
    analysis.tool_version = column_text(row, 19);
    analysis.analysed_at = column_text(row, 20);
    if (sqlite3_column_type(row, 21) != SQLITE_NULL)
      analysis.log = {sqlite3_column_int64(row, 21), sqlite3_column_int64(row, 22)};
    if (analysis.log_written) {
      std::int64_t& writer = writers[hash_of(column_text(row, 14))];
      writer = std::max(writer, analysis.id);
    }
    keep(analysis);
  }
  return step == SQLITE_DONE || fail(error);
}

bool ResultsStore::load_ratios(const Analysis& analysis, RatioTable& ratios, std::string& error) {
  ratios = RatioTable();
  sqlite3_reset(select_ratios_);
  sqlite3_bind_int64(select_ratios_, 1, analysis.id);
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(select_ratios_)) == SQLITE_ROW) {
    const int peak = sqlite3_column_int(select_ratios_, 0);
    // Channels are numbered on the chip; the observed ones alternate.
    const int column = sqlite3_column_int(select_ratios_, 1) / 2;
    if (peak < 0 || peak >= qavrel::npeaks || column < 0 || column >= qavrel::observed_channels)
      continue;
    ratios.values[peak][column] = column_double(select_ratios_, 2);
  }
  return step == SQLITE_DONE || fail(error);
}

std::string ResultsStore::outputs_made_from() {
  Query query;
  if (sqlite3_prepare_v2(db_, "SELECT made_from FROM outputs", -1, &query.statement, nullptr) !=
          SQLITE_OK ||
      sqlite3_step(query.statement) != SQLITE_ROW)
    return {};
  return column_text(query.statement, 0);
}

bool ResultsStore::set_outputs_made_from(const std::string& fingerprint, std::string& error) {
  Query insert;
  if (!commit(error) || !execute("BEGIN; DELETE FROM outputs", error)) return false;
  if (sqlite3_prepare_v2(db_, "INSERT INTO outputs (made_from) VALUES (?)", -1, &insert.statement,
                         nullptr) != SQLITE_OK)
    return fail(error);
  bind_text(insert.statement, 1, fingerprint);
  if (sqlite3_step(insert.statement) != SQLITE_DONE) return fail(error);
  return commit(error);
}

bool ResultsStore::add(Analysis& analysis, const RatioTable& ratios, std::string& error) {
  if (sqlite3_get_autocommit(db_) != 0 && !execute("BEGIN", error)) return false;
  sqlite3_stmt* insert = insert_analysis_;
  sqlite3_reset(insert);
  bind_text(insert, 1, analysis.path);
  sqlite3_bind_int64(insert, 2, analysis.size);
  sqlite3_bind_int64(insert, 3, analysis.mtime_ns);
  bind_text(insert, 4, analysis.chip);
  bind_text(insert, 5, analysis.config);
  if (analysis.parity)
    bind_text(insert, 6, qavrel::parity_name(*analysis.parity));
  else
    sqlite3_bind_null(insert, 6);
  bind_text(insert, 7, analysis.ok ? "ok" : "failed");
  if (analysis.error.empty())
    sqlite3_bind_null(insert, 8);
  else
    bind_text(insert, 8, analysis.error);
  sqlite3_bind_int(insert, 9, analysis.marker_found ? 1 : 0);
  sqlite3_bind_int64(insert, 10, analysis.complete_trains());
  sqlite3_bind_int64(insert, 11, analysis.cut_train_rows());
  sqlite3_bind_int64(insert, 12, analysis.train_rows);
  sqlite3_bind_int64(insert, 13, analysis.rows_read);
  bind_text(insert, 14, analysis.ended_on_token ? "token" : "end of file");
  if (analysis.ended_on_token)
    sqlite3_bind_int64(insert, 15, analysis.token_offset);
  else
    sqlite3_bind_null(insert, 15);
  bind_text(insert, 16, analysis.log_path());
  sqlite3_bind_int(insert, 17, analysis.log_written ? 1 : 0);
  if (analysis.has_data() && analysis.has_ratios) {
    sqlite3_bind_int(insert, 18, analysis.worst_channel_number());
    sqlite3_bind_double(insert, 19, analysis.worst.abs_mean);
    sqlite3_bind_double(insert, 20, analysis.worst.standard_error);
  } else {
    for (const int index : {18, 19, 20}) sqlite3_bind_null(insert, index);
  }
  bind_text(insert, 21, analysis.tool_version);
  bind_text(insert, 22, analysis.analysed_at);
  if (analysis.log.size >= 0) {
    sqlite3_bind_int64(insert, 23, analysis.log.size);
    sqlite3_bind_int64(insert, 24, analysis.log.mtime_ns);
  } else {
    for (const int index : {23, 24}) sqlite3_bind_null(insert, index);
  }
  if (sqlite3_step(insert) != SQLITE_DONE) return fail(error);
  analysis.id = sqlite3_last_insert_rowid(db_);
  if (!analysis.has_ratios) return true;
  const qavrel::Parity pulsed = *analysis.parity;
  for (int peak = 0; peak < qavrel::npeaks; ++peak) {
    for (int column = 0; column < qavrel::observed_channels; ++column) {
      sqlite3_reset(insert_ratio_);
      sqlite3_bind_int64(insert_ratio_, 1, analysis.id);
      sqlite3_bind_int(insert_ratio_, 2, peak);
      sqlite3_bind_int(insert_ratio_, 3, qavrel::observed_channel(column, pulsed));
      sqlite3_bind_double(insert_ratio_, 4, ratios.values[peak][column]);
      if (sqlite3_step(insert_ratio_) != SQLITE_DONE) return fail(error);
    }
  }
  const auto means = mean_abs_ratios(ratios);
  for (int column = 0; column < qavrel::observed_channels; ++column) {
    if (std::isnan(means[static_cast<std::size_t>(column)])) continue;
    sqlite3_reset(insert_channel_mean_);
    sqlite3_bind_int64(insert_channel_mean_, 1, analysis.id);
    sqlite3_bind_int(insert_channel_mean_, 2, qavrel::observed_channel(column, pulsed));
    sqlite3_bind_double(insert_channel_mean_, 3, means[static_cast<std::size_t>(column)]);
    if (sqlite3_step(insert_channel_mean_) != SQLITE_DONE) return fail(error);
  }
  return true;
}

bool ResultsStore::check_writable(std::string& error) {
  return commit(error) && execute("BEGIN IMMEDIATE; COMMIT;", error);
}

bool ResultsStore::commit(std::string& error) {
  return sqlite3_get_autocommit(db_) != 0 || execute("COMMIT", error);
}

bool ResultsStore::channel_means(const std::vector<std::int64_t>& analyses,
                                 std::array<ChannelMean, qavrel::nchan>& means,
                                 std::string& error) {
  means = {};
  if (!commit(error) ||
      !execute("BEGIN; CREATE TEMP TABLE IF NOT EXISTS chosen (id INTEGER PRIMARY KEY);"
               " DELETE FROM chosen;",
               error))
    return false;
  Query insert;
  if (!prepare("INSERT OR IGNORE INTO chosen (id) VALUES (?)", insert.statement, error))
    return false;
  for (const std::int64_t id : analyses) {
    sqlite3_reset(insert.statement);
    sqlite3_bind_int64(insert.statement, 1, id);
    if (sqlite3_step(insert.statement) != SQLITE_DONE) return fail(error);
  }
  // Summed here: a GROUP BY would sort every row first.
  Query select;
  if (!prepare("SELECT channel, mean_abs_ratio FROM chosen"
               " JOIN channel_means ON channel_means.analysis_id = chosen.id",
               select.statement, error))
    return false;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(select.statement)) == SQLITE_ROW) {
    const int channel = sqlite3_column_int(select.statement, 0);
    if (channel < 0 || channel >= qavrel::nchan) continue;
    ChannelMean& mean = means[static_cast<std::size_t>(channel)];
    mean.sum += sqlite3_column_double(select.statement, 1);
    ++mean.count;
  }
  if (step != SQLITE_DONE) return fail(error);
  return execute("COMMIT", error);
}

bool ResultsStore::load_chip_pages(std::unordered_map<std::string, ChipPage>& pages,
                                   std::string& error) {
  Query select;
  if (!prepare("SELECT chip, page, made_from FROM chip_pages", select.statement, error))
    return false;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(select.statement)) == SQLITE_ROW)
    pages[column_text(select.statement, 0)] = {column_text(select.statement, 1),
                                               column_text(select.statement, 2)};
  return step == SQLITE_DONE || fail(error);
}

bool ResultsStore::save_chip_pages(const std::vector<std::pair<std::string, ChipPage>>& written,
                                   const std::vector<std::string>& removed, std::string& error) {
  if (!commit(error) || !execute("BEGIN", error)) return false;
  Query upsert;
  Query remove;
  if (!prepare("INSERT OR REPLACE INTO chip_pages (chip, page, made_from) VALUES (?, ?, ?)",
               upsert.statement, error) ||
      !prepare("DELETE FROM chip_pages WHERE chip = ?", remove.statement, error))
    return false;
  for (const auto& [chip, page] : written) {
    sqlite3_reset(upsert.statement);
    bind_text(upsert.statement, 1, chip);
    bind_text(upsert.statement, 2, page.file);
    bind_text(upsert.statement, 3, page.made_from);
    if (sqlite3_step(upsert.statement) != SQLITE_DONE) return fail(error);
  }
  for (const std::string& chip : removed) {
    sqlite3_reset(remove.statement);
    bind_text(remove.statement, 1, chip);
    if (sqlite3_step(remove.statement) != SQLITE_DONE) return fail(error);
  }
  return commit(error);
}

}  // namespace qavrel::campaign
