#include "campaign/store/layouts.h"

#include <sqlite3.h>

#include <algorithm>
#include <set>
#include <string>

#include "campaign/model/analysis.h"
#include "campaign/store/analysis_columns.h"
#include "campaign/store/statement.h"

namespace qavrel::campaign {

namespace {

// Each observed channel's mean |ratio| over the peaks (layout 3 on).
const char* const channel_means_table = R"sql(
CREATE TABLE channel_means (
  analysis_id INTEGER NOT NULL REFERENCES analyses (id),
  channel INTEGER NOT NULL,
  mean_abs_ratio REAL NOT NULL,
  PRIMARY KEY (analysis_id, channel)
) WITHOUT ROWID;
)sql";

// The tables of the first layout beside analyses, as the current one has them.
const char* const first_tables = R"sql(
CREATE INDEX analyses_by_path ON analyses (path, id);
CREATE TABLE ratios (
  analysis_id INTEGER NOT NULL REFERENCES analyses (id),
  peak INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  ratio REAL,
  PRIMARY KEY (analysis_id, peak, channel)
) WITHOUT ROWID;
)sql";

// What layout 5 adds: the files of the last search and what the outputs
// were made from.
const char* const layout_5_tables = R"sql(
CREATE TABLE data_files (
  path TEXT PRIMARY KEY,
  chip TEXT NOT NULL,
  config TEXT NOT NULL,
  grade TEXT,
  current INTEGER
);
CREATE TABLE output_files (
  name TEXT PRIMARY KEY,
  made_from INTEGER NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  ctime_ns INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE store_layout (
  layout INTEGER NOT NULL,
  written_by TEXT NOT NULL
);
)sql";

// What layout 6 adds: when each file was measured, and the views over the
// files of the last search, which show it.
const char* const layout_6_tables = R"sql(
ALTER TABLE data_files ADD COLUMN measured_at TEXT;
ALTER TABLE data_files ADD COLUMN measured_from TEXT
  CHECK (measured_from IN ('manifest', 'pattern', 'name', 'mtime'));
CREATE VIEW latest_analyses AS
  SELECT a.*, f.measured_at, f.measured_from FROM data_files AS f
  JOIN analyses AS a ON a.id = (SELECT max(id) FROM analyses WHERE path = f.path);
CREATE VIEW latest_ratios AS
  SELECT a.path, a.chip, a.config, r.peak, r.channel, r.ratio
  FROM latest_analyses AS a JOIN ratios AS r ON r.analysis_id = a.id;
CREATE VIEW current_measurements AS
  SELECT f.chip, f.config, f.path, f.grade, a.worst_channel, a.worst_abs_mean_ratio,
    a.worst_standard_error, a.id AS analysis_id, f.measured_at, f.measured_from
  FROM data_files AS f
  LEFT JOIN analyses AS a ON a.id = (SELECT max(id) FROM analyses WHERE path = f.path)
  WHERE f.current = 1;
)sql";

// What layout 7 adds: the grade limits of each run, so that a run graded
// by other limits than the last is told.
const char* const layout_7_tables = R"sql(
CREATE TABLE grade_limits (
  id INTEGER PRIMARY KEY,
  run_at TEXT NOT NULL,
  limit_a REAL NOT NULL,
  limit_b REAL NOT NULL,
  limit_c REAL NOT NULL,
  tool_version TEXT NOT NULL
);
)sql";

// What layout 8 adds: a data file is known by its bench and its path, so
// that benches that share a store may use the same paths, and the record
// of each output names its folder. Existing rows become the bench's that
// migrates the store (?1), whose store it was.
const char* const layout_8_tables = R"sql(
DROP VIEW IF EXISTS latest_ratios;
DROP VIEW IF EXISTS latest_analyses;
DROP VIEW IF EXISTS current_measurements;
UPDATE analyses SET bench = ?1;
DROP INDEX analyses_by_path;
CREATE INDEX analyses_by_path ON analyses (bench, path, id);
CREATE TABLE data_files_8 (
  bench TEXT NOT NULL,
  path TEXT NOT NULL,
  chip TEXT NOT NULL,
  config TEXT NOT NULL,
  grade TEXT,
  current INTEGER,
  measured_at TEXT,
  measured_from TEXT CHECK (measured_from IN ('manifest', 'pattern', 'name', 'mtime')),
  PRIMARY KEY (bench, path)
);
INSERT INTO data_files_8
  SELECT ?1, path, chip, config, grade, current, measured_at, measured_from FROM data_files;
DROP TABLE data_files;
ALTER TABLE data_files_8 RENAME TO data_files;
DROP TABLE output_files;
CREATE TABLE output_files (
  folder TEXT NOT NULL,
  name TEXT NOT NULL,
  made_from INTEGER NOT NULL,
  size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL,
  ctime_ns INTEGER NOT NULL,
  PRIMARY KEY (folder, name)
) WITHOUT ROWID;
CREATE VIEW latest_analyses AS
  SELECT a.*, f.measured_at, f.measured_from FROM data_files AS f
  JOIN analyses AS a
    ON a.id = (SELECT max(id) FROM analyses WHERE bench = f.bench AND path = f.path);
CREATE VIEW latest_ratios AS
  SELECT a.bench, a.path, a.chip, a.config, r.peak, r.channel, r.ratio
  FROM latest_analyses AS a JOIN ratios AS r ON r.analysis_id = a.id;
CREATE VIEW current_measurements AS
  SELECT f.bench, f.chip, f.config, f.path, f.grade, a.worst_channel, a.worst_abs_mean_ratio,
    a.worst_standard_error, a.id AS analysis_id, f.measured_at, f.measured_from
  FROM data_files AS f
  LEFT JOIN analyses AS a
    ON a.id = (SELECT max(id) FROM analyses WHERE bench = f.bench AND path = f.path)
  WHERE f.current = 1;
)sql";

// Runs each statement of sql, binding bench to every parameter.
Status execute_with_bench(sqlite3* db, const char* sql, const std::string& bench) {
  for (const char* rest = sql; *rest != '\0';) {
    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, rest, -1, &raw, &tail) != SQLITE_OK)
      return Status::failure(sqlite3_errmsg(db));
    rest = tail;
    if (raw == nullptr) continue;  // only space was left
    if (sqlite3_bind_parameter_count(raw) > 0)
      sqlite3_bind_text(raw, 1, bench.data(), static_cast<int>(bench.size()), SQLITE_TRANSIENT);
    const int step = sqlite3_step(raw);
    sqlite3_finalize(raw);
    if (step != SQLITE_DONE && step != SQLITE_ROW) return Status::failure(sqlite3_errmsg(db));
  }
  return {};
}

Status failure(sqlite3* db) { return Status::failure(sqlite3_errmsg(db)); }

Status execute(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ? Status()
                                                                               : failure(db);
}

Status query_integer(sqlite3* db, const char* sql, std::int64_t& value) {
  Statement query;
  if (Status prepared = query.prepare(db, sql); !prepared.ok()) return prepared;
  const int step = query.step();
  if (step == SQLITE_ROW) value = query.integer(0);
  return step == SQLITE_ROW || step == SQLITE_DONE ? Status() : failure(db);
}

Status column_names(sqlite3* db, std::set<std::string>& names) {
  Statement query;
  if (Status prepared = query.prepare(db, "SELECT name FROM pragma_table_info('analyses')");
      !prepared.ok())
    return prepared;
  int step = SQLITE_ROW;
  while ((step = query.step()) == SQLITE_ROW) names.insert(query.text(0));
  return step == SQLITE_DONE ? Status() : failure(db);
}

// A store that holds no layout number is told by its tables.
Status layout_by_tables(sqlite3* db, int& layout) {
  std::set<std::string> columns;
  if (Status read = column_names(db, columns); !read.ok()) return read;
  std::int64_t has_means = 0;
  if (Status read = query_integer(
          db, "SELECT count(*) FROM sqlite_master WHERE name = 'channel_means'", has_means);
      !read.ok())
    return read;
  layout = columns.empty()                       ? 0
           : columns.count("worst_channel") == 0 ? 1
           : has_means == 0                      ? 2
           : columns.count("log_size") == 0      ? 3
                                                 : 4;
  return {};
}

// Layout 1 kept no worst channel: it is worked out from the stored ratios
// of each analysis that has them, as a new analysis would.
Status add_worst_channels(sqlite3* db) {
  if (Status added = execute(db,
                             "ALTER TABLE analyses ADD COLUMN worst_channel INTEGER;"
                             "ALTER TABLE analyses ADD COLUMN worst_abs_mean_ratio REAL;"
                             "ALTER TABLE analyses ADD COLUMN worst_standard_error REAL;");
      !added.ok())
    return added;
  Statement analyses;
  Statement ratios;
  Statement update;
  for (const auto& [statement, sql] :
       {std::pair{&analyses,
                  "SELECT id, parity, train_rows FROM analyses WHERE parity IS NOT NULL"},
        {&ratios, "SELECT peak, channel, ratio FROM ratios WHERE analysis_id = ?"},
        {&update,
         "UPDATE analyses SET worst_channel = ?, worst_abs_mean_ratio = ?,"
         " worst_standard_error = ? WHERE id = ?"}})
    if (Status prepared = statement->prepare(db, sql); !prepared.ok()) return prepared;
  int step = SQLITE_ROW;
  while ((step = analyses.step()) == SQLITE_ROW) {
    Analysis analysis;
    analysis.id = analyses.integer(0);
    analysis.parity = qavrel::parity_named_in(analyses.text(1));
    analysis.train_rows = analyses.integer(2);
    if (!analysis.has_data()) continue;
    RatioTable table;
    ratios.reset();
    ratios.bind_integer(1, analysis.id);
    while (ratios.step() == SQLITE_ROW) {
      const auto peak = ratios.integer(0);
      const auto column = ratios.integer(1) / 2;
      if (peak >= 0 && peak < qavrel::npeaks && column >= 0 && column < qavrel::observed_channels)
        table.values[peak][column] = ratios.real(2);
    }
    analysis.worst = worst_channel(table);
    update.reset();
    update.bind_integer(1, analysis.worst_channel_number());
    update.bind_real(2, analysis.worst.abs_mean);
    update.bind_real(3, analysis.worst.standard_error);
    update.bind_integer(4, analysis.id);
    if (update.step() != SQLITE_DONE) return failure(db);
  }
  return step == SQLITE_DONE ? Status() : failure(db);
}

Status migrate_step(sqlite3* db, int from, const std::string& bench) {
  switch (from) {
    case 1:
      return add_worst_channels(db);
    case 2:
      // Each channel's mean from the stored ratios.
      return execute(db, std::string(channel_means_table) + R"sql(
INSERT INTO channel_means
  SELECT analysis_id, channel, avg(abs(ratio)) FROM ratios
  WHERE ratio IS NOT NULL AND abs(ratio) < 9e999
  GROUP BY analysis_id, channel;
)sql");
    case 3:
      return execute(db,
                     "ALTER TABLE analyses ADD COLUMN log_size INTEGER;"
                     "ALTER TABLE analyses ADD COLUMN log_mtime_ns INTEGER;");
    case 4:
      // The record of the outputs starts afresh (a run then makes them
      // all again), and the files of the last search are, as well as the
      // store can tell, those it holds analyses of.
      return execute(db, std::string(R"sql(
DROP VIEW IF EXISTS latest_ratios;
DROP VIEW IF EXISTS latest_analyses;
DROP VIEW IF EXISTS current_measurements;
DROP TABLE IF EXISTS outputs;
DROP TABLE IF EXISTS chip_pages;
ALTER TABLE analyses ADD COLUMN ctime_ns INTEGER;
ALTER TABLE analyses ADD COLUMN failure TEXT
  CHECK (failure IN ('open', 'read', 'parity', 'log'));
ALTER TABLE analyses ADD COLUMN log_ctime_ns INTEGER;
)sql") + layout_5_tables + R"sql(
INSERT INTO data_files (path, chip, config)
  SELECT path, chip, config FROM analyses AS a
  WHERE id = (SELECT max(id) FROM analyses WHERE path = a.path);
)sql");
    case 5:
      // The tables gain columns, so every output is made again.
      return execute(db, std::string(R"sql(
DROP VIEW IF EXISTS latest_ratios;
DROP VIEW IF EXISTS latest_analyses;
DROP VIEW IF EXISTS current_measurements;
DELETE FROM output_files;
)sql") + layout_6_tables);
    case 6:
      // The tables write booleans as true and false, and the folder gains
      // summary.json, so every output is made again.
      return execute(db, std::string("DELETE FROM output_files;") + layout_7_tables);
    case 7:
      // The tables gain a bench column, so every output is made again
      // (the records of outputs start afresh).
      {
        // A new store's analyses have the column from the start.
        std::set<std::string> columns;
        if (Status read = column_names(db, columns); !read.ok()) return read;
        if (columns.count("bench") == 0)
          if (Status added =
                  execute(db, "ALTER TABLE analyses ADD COLUMN bench TEXT NOT NULL DEFAULT ''");
              !added.ok())
            return added;
        return execute_with_bench(db, layout_8_tables, bench);
      }
    default:
      return Status::failure("no migration from layout " + std::to_string(from));
  }
}

// The columns of analyses must be those the list describes, whichever
// layout the store came from.
Status check_columns(sqlite3* db) {
  std::set<std::string> stored;
  if (Status read = column_names(db, stored); !read.ok()) return read;
  std::set<std::string> described;
  for (const AnalysisColumn& column : analysis_columns()) described.insert(column.name);
  if (stored == described) return {};
  return Status::failure("its analyses table has columns this version does not know");
}

Status migrate(sqlite3* db, int layout, const std::string& bench) {
  if (layout == 0) {
    // A new store is made as layout 5 was, then brought on as any other.
    if (Status made = execute(
            db, create_analyses_sql() + ";" + first_tables + channel_means_table + layout_5_tables);
        !made.ok())
      return made;
    layout = 5;
  }
  for (; layout < current_layout; ++layout)
    if (Status stepped = migrate_step(db, layout, bench); !stepped.ok()) return stepped;
  if (Status checked = check_columns(db); !checked.ok()) return checked;
  Statement written;
  if (Status prepared =
          written.prepare(db, "INSERT INTO store_layout (layout, written_by) VALUES (?, ?)");
      !prepared.ok())
    return prepared;
  written.bind_integer(1, current_layout);
  written.bind_text(2, tool_version);
  if (written.step() != SQLITE_DONE) return failure(db);
  return execute(db, "PRAGMA user_version = " + std::to_string(current_layout));
}

Status refuse_newer(sqlite3* db, int layout) {
  Statement writer;
  std::string written_by = "a later version";
  if (writer.prepare(db, "SELECT written_by FROM store_layout ORDER BY layout DESC LIMIT 1").ok() &&
      writer.step() == SQLITE_ROW)
    written_by = "qavrel-campaign " + writer.text(0);
  return refuse_newer_layout(layout, written_by);
}

}  // namespace

Status refuse_newer_layout(int layout, const std::string& written_by) {
  // The store is another program's: what it holds is shown on one line.
  std::string writer = written_by;
  std::replace_if(
      writer.begin(), writer.end(), [](char c) { return static_cast<unsigned char>(c) < ' '; },
      '?');
  return Status::failure("it was made by " + writer + " (store layout " + std::to_string(layout) +
                         "); this is qavrel-campaign " + tool_version +
                         ", which reads store layouts up to " + std::to_string(current_layout));
}

Status layout_of(sqlite3* db, int& layout) {
  std::int64_t version = 0;
  if (Status read = query_integer(db, "PRAGMA user_version", version); !read.ok()) return read;
  layout = static_cast<int>(version);
  return layout != 0 ? Status() : layout_by_tables(db, layout);
}

Status create_or_migrate(sqlite3* db, const std::string& bench) {
  int layout = 0;
  if (Status read = layout_of(db, layout); !read.ok()) return read;
  if (layout > current_layout) return refuse_newer(db, layout);
  if (layout == current_layout) return {};
  // Taken at once for writing, so that two runs never migrate one store;
  // the layout is read again once the store is this run's alone.
  if (Status begun = execute(db, "BEGIN IMMEDIATE"); !begun.ok()) return begun;
  Status status = layout_of(db, layout);
  if (status.ok() && layout > current_layout) status = refuse_newer(db, layout);
  if (status.ok() && layout < current_layout) status = migrate(db, layout, bench);
  if (status.ok()) status = execute(db, "COMMIT");
  if (!status.ok()) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return status;
}

}  // namespace qavrel::campaign
