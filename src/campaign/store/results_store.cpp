#include "campaign/store/results_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "campaign/common/hashing.h"
#include "campaign/common/stop_points.h"
#include "campaign/find/measurement_time.h"
#include "campaign/store/analysis_columns.h"
#include "campaign/store/layouts.h"

namespace qavrel::campaign {

namespace {

const Grade all_grades[] = {Grade::a,       Grade::b,    Grade::c,
                            Grade::no_data, Grade::fail, Grade::not_analysed};

// A file's grade and standing in one byte, 0 for none.
std::uint8_t grade_code(Grade grade, bool current) {
  return static_cast<std::uint8_t>(1 + 2 * static_cast<int>(grade) + (current ? 1 : 0));
}

std::uint8_t stored_grade_code(const Statement& row, int grade_column, int current_column) {
  if (row.is_null(grade_column) || row.is_null(current_column)) return 0;
  const std::string name = row.text(grade_column);
  for (const Grade grade : all_grades)
    if (name == grade_name(grade)) return grade_code(grade, row.integer(current_column) != 0);
  return 0;
}

// The place of path among files (in path order), or files.size().
// A file's measurement time as the columns at and from hold it.
MeasurementTime stored_measurement(const Statement& row, int at_column, int from_column) {
  MeasurementTime measured;
  if (!row.is_null(at_column)) measured.at = row.text(at_column);
  if (!row.is_null(from_column))
    measured.from = measured_from_named(row.text(from_column)).value_or(MeasuredFrom::mtime);
  return measured;
}

std::size_t place_of(const std::vector<DataFile>& files, const std::string& path) {
  const auto at = std::lower_bound(
      files.begin(), files.end(), path,
      [](const DataFile& file, const std::string& wanted) { return file.path < wanted; });
  return at != files.end() && at->path == path ? static_cast<std::size_t>(at - files.begin())
                                               : files.size();
}

}  // namespace

ResultsStore::~ResultsStore() {
  if (db_ == nullptr) return;
  // What was added since the last commit is kept where it can be; a
  // failure here has nowhere to be said, and the next run redoes the rest.
  static_cast<void>(commit());
  // Closed once the statements, finalized after this, are gone.
  sqlite3_close_v2(db_);
}

Status ResultsStore::fail() {
  std::string error = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
  // SQLite's words for a failed read or write ("disk I/O error") leave out
  // the system's reason, which tells a full disk from a file-size limit.
  const int code = db_ != nullptr ? sqlite3_errcode(db_) & 0xff : SQLITE_OK;
  if ((code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN) &&
      sqlite3_system_errno(db_) != 0)
    error += std::string(" (") + std::strerror(sqlite3_system_errno(db_)) + ")";
  // What the failed transaction added is undone, so that the store never
  // goes on inside a transaction SQLite may have dropped.
  for (Statement* statement :
       {&insert_analysis_, &insert_ratio_, &insert_channel_mean_, &insert_output_, &select_ratios_})
    statement->reset();
  if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0)
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return Status::failure(error);
}

Status ResultsStore::execute(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK ? Status() : fail();
}

Status ResultsStore::begin_batch() {
  return sqlite3_get_autocommit(db_) != 0 ? execute("BEGIN") : Status();
}

Status ResultsStore::open(const std::string& path, int wait_ms) {
  // A store file that may not be written would be opened read-only, and
  // its shared-memory file made so too, which would keep later runs from
  // writing it even once its own mode is mended.
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  for (const std::string& file : {path, path + "-wal", path + "-shm", folder}) {
    if (::access(file.c_str(), F_OK) != 0 || ::access(file.c_str(), W_OK) == 0) continue;
    const std::string name = file == folder ? file : file.substr(slash + 1);
    return Status::failure(name + " can't be written: " + std::strerror(errno));
  }
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) return fail();
  // Another program may hold the store for a moment; a write-ahead log
  // keeps readers and the writer apart and makes each commit cheap.
  sqlite3_busy_timeout(db_, wait_ms);
  if (Status set = execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"); !set.ok())
    return set;
  if (Status laid_out = create_or_migrate(db_); !laid_out.ok()) return laid_out;
  for (const auto& [statement, sql] :
       {std::pair{&insert_analysis_, insert_analysis_sql()},
        {&insert_ratio_,
         "INSERT INTO ratios (analysis_id, peak, channel, ratio) VALUES (?, ?, ?, ?)"},
        {&insert_channel_mean_,
         "INSERT INTO channel_means (analysis_id, channel, mean_abs_ratio) VALUES (?, ?, ?)"},
        {&insert_output_,
         "INSERT OR REPLACE INTO output_files (name, made_from, size, mtime_ns, ctime_ns)"
         " VALUES (?, ?, ?, ?, ?)"},
        {&select_ratios_, "SELECT peak, channel, ratio FROM ratios WHERE analysis_id = ?"}})
    if (Status prepared = statement->prepare(db_, sql); !prepared.ok()) return prepared;
  return {};
}

Status ResultsStore::check_writable() {
  if (sqlite3_db_readonly(db_, "main") == 1) return Status::failure("it is read-only");
  if (Status committed = commit(); !committed.ok()) return committed;
  return execute("BEGIN IMMEDIATE; COMMIT;");
}

Status ResultsStore::last_seen_in(const std::vector<std::string>& folders,
                                  std::vector<DataFile>& files) {
  if (folders.empty()) return {};
  Statement rows;
  if (Status prepared = rows.prepare(
          db_,
          "SELECT f.path, f.chip, f.config, a.size, a.mtime_ns, a.ctime_ns, a.log_written,"
          " a.log_size, a.log_mtime_ns, a.log_ctime_ns, f.measured_at, f.measured_from"
          " FROM data_files AS f LEFT JOIN analyses AS a"
          " ON a.id = (SELECT max(id) FROM analyses WHERE path = f.path)");
      !prepared.ok())
    return prepared;
  int step = SQLITE_ROW;
  while ((step = rows.step()) == SQLITE_ROW) {
    std::string path = rows.text(0);
    const bool wanted =
        std::any_of(folders.begin(), folders.end(), [&path](const std::string& folder) {
          return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                 path[folder.size()] == '/';
        });
    if (!wanted) continue;
    DataFile file;
    file.path = std::move(path);
    file.chip = rows.text(1);
    file.config = rows.text(2);
    const auto maybe = [&rows](int column) {
      return rows.is_null(column) ? -1 : rows.integer(column);
    };
    if (!rows.is_null(3)) file.state = {rows.integer(3), rows.integer(4), maybe(5)};
    if (rows.integer(6) != 0 && !rows.is_null(7))
      file.log = {rows.integer(7), rows.integer(8), maybe(9)};
    file.measured = stored_measurement(rows, 10, 11);
    file.unsearched = true;
    files.push_back(std::move(file));
  }
  return step == SQLITE_DONE ? Status() : fail();
}

Status ResultsStore::record_search(const std::vector<DataFile>& files, StoredGrades& grades) {
  grades.assign(files.size(), 0);
  std::vector<bool> held(files.size(), false);
  std::vector<bool> renamed(files.size(), false);
  std::vector<std::string> gone;
  {
    Statement rows;
    if (Status prepared =
            rows.prepare(db_,
                         "SELECT path, chip, config, grade, current, measured_at, measured_from"
                         " FROM data_files");
        !prepared.ok())
      return prepared;
    int step = SQLITE_ROW;
    while ((step = rows.step()) == SQLITE_ROW) {
      std::string path = rows.text(0);
      const std::size_t i = place_of(files, path);
      if (i == files.size()) {
        gone.push_back(std::move(path));
        continue;
      }
      held[i] = true;
      if (rows.text(1) != files[i].chip || rows.text(2) != files[i].config ||
          stored_measurement(rows, 5, 6) != files[i].measured)
        renamed[i] = true;
      else
        grades[i] = stored_grade_code(rows, 3, 4);
    }
    if (step != SQLITE_DONE) return fail();
  }
  const bool changed = std::find(held.begin(), held.end(), false) != held.end() ||
                       std::find(renamed.begin(), renamed.end(), true) != renamed.end();
  if (gone.empty() && !changed) return {};

  if (Status begun = begin_batch(); !begun.ok()) return begun;
  Statement remove;
  Statement insert;
  if (Status prepared = remove.prepare(db_, "DELETE FROM data_files WHERE path = ?");
      !prepared.ok())
    return prepared;
  if (Status prepared = insert.prepare(
          db_,
          "INSERT OR REPLACE INTO data_files (path, chip, config, measured_at, measured_from)"
          " VALUES (?, ?, ?, ?, ?)");
      !prepared.ok())
    return prepared;
  for (const std::string& path : gone) {
    remove.reset();
    remove.bind_text(1, path);
    if (remove.step() != SQLITE_DONE) return fail();
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (held[i] && !renamed[i]) continue;
    insert.reset();
    insert.bind_text(1, files[i].path);
    insert.bind_text(2, files[i].chip);
    insert.bind_text(3, files[i].config);
    insert.bind_text(4, files[i].measured.at);
    insert.bind_text(5, measured_from_name(files[i].measured.from));
    if (insert.step() != SQLITE_DONE) return fail();
  }
  return commit();
}

Status ResultsStore::forget_data_files(const std::vector<std::string>& paths) {
  return delete_each("DELETE FROM data_files WHERE path = ?", paths);
}

Status ResultsStore::record_grade_limits(const GradeLimits& limits,
                                         std::optional<GradeLimits>& last) {
  last.reset();
  {
    Statement row;
    if (Status prepared = row.prepare(
            db_, "SELECT limit_a, limit_b, limit_c FROM grade_limits ORDER BY id DESC LIMIT 1");
        !prepared.ok())
      return prepared;
    const int step = row.step();
    if (step == SQLITE_ROW) last = GradeLimits{row.real(0), row.real(1), row.real(2)};
    if (step != SQLITE_ROW && step != SQLITE_DONE) return fail();
  }
  if (Status begun = begin_batch(); !begun.ok()) return begun;
  Statement insert;
  if (Status prepared = insert.prepare(
          db_,
          "INSERT INTO grade_limits (run_at, limit_a, limit_b, limit_c, tool_version)"
          " VALUES (strftime('%Y-%m-%dT%H:%M:%SZ', 'now'), ?, ?, ?, ?)");
      !prepared.ok())
    return prepared;
  insert.bind_real(1, limits.a);
  insert.bind_real(2, limits.b);
  insert.bind_real(3, limits.c);
  insert.bind_text(4, tool_version);
  return insert.step() == SQLITE_DONE ? Status() : fail();
}

Status ResultsStore::load_latest(const std::function<void(Analysis&)>& keep, LogWriters& writers) {
  Statement rows;
  if (Status prepared =
          rows.prepare(db_, select_analyses_sql() +
                                " WHERE id = (SELECT max(id) FROM analyses WHERE path = a.path)");
      !prepared.ok())
    return prepared;
  int step = SQLITE_ROW;
  while ((step = rows.step()) == SQLITE_ROW) {
    Analysis analysis = read_analysis(rows);
    if (analysis.log_written) {
      std::int64_t& writer = writers[hash_of(analysis.log_path())];
      writer = std::max(writer, analysis.id);
    }
    keep(analysis);
  }
  return step == SQLITE_DONE ? Status() : fail();
}

Status ResultsStore::load_ratios(std::int64_t analysis_id, RatioTable& ratios) {
  ratios = RatioTable();
  select_ratios_.reset();
  select_ratios_.bind_integer(1, analysis_id);
  int step = SQLITE_ROW;
  while ((step = select_ratios_.step()) == SQLITE_ROW) {
    const auto peak = select_ratios_.integer(0);
    // Channels are numbered on the chip; the observed ones alternate.
    const auto column = select_ratios_.integer(1) / 2;
    if (peak < 0 || peak >= qavrel::npeaks || column < 0 || column >= qavrel::observed_channels)
      continue;
    ratios.values[peak][column] = select_ratios_.real(2);
  }
  return step == SQLITE_DONE ? Status() : fail();
}

Status ResultsStore::add(Analysis& analysis, const RatioTable& ratios) {
  if (Status begun = begin_batch(); !begun.ok()) return begun;
  insert_analysis_.reset();
  bind_analysis(insert_analysis_, analysis);
  if (insert_analysis_.step() != SQLITE_DONE) return fail();
  analysis.id = sqlite3_last_insert_rowid(db_);
  if (!analysis.has_ratios) return {};
  const qavrel::Parity pulsed = *analysis.parity;
  for (int peak = 0; peak < qavrel::npeaks; ++peak) {
    for (int column = 0; column < qavrel::observed_channels; ++column) {
      insert_ratio_.reset();
      insert_ratio_.bind_integer(1, analysis.id);
      insert_ratio_.bind_integer(2, peak);
      insert_ratio_.bind_integer(3, qavrel::observed_channel(column, pulsed));
      insert_ratio_.bind_real(4, ratios.values[peak][column]);
      if (insert_ratio_.step() != SQLITE_DONE) return fail();
    }
  }
  const auto means = mean_abs_ratios(ratios);
  for (int column = 0; column < qavrel::observed_channels; ++column) {
    if (std::isnan(means[static_cast<std::size_t>(column)])) continue;
    insert_channel_mean_.reset();
    insert_channel_mean_.bind_integer(1, analysis.id);
    insert_channel_mean_.bind_integer(2, qavrel::observed_channel(column, pulsed));
    insert_channel_mean_.bind_real(3, means[static_cast<std::size_t>(column)]);
    if (insert_channel_mean_.step() != SQLITE_DONE) return fail();
  }
  return {};
}

Status ResultsStore::record_output(const std::string& name, const OutputRecord& record) {
  if (Status begun = begin_batch(); !begun.ok()) return begun;
  insert_output_.reset();
  insert_output_.bind_text(1, name);
  insert_output_.bind_integer(2, static_cast<std::int64_t>(record.made_from));
  insert_output_.bind_integer(3, record.state.size);
  insert_output_.bind_integer(4, record.state.mtime_ns);
  insert_output_.bind_integer(5, record.state.ctime_ns);
  return insert_output_.step() == SQLITE_DONE ? Status() : fail();
}

Status ResultsStore::commit() {
  if (sqlite3_get_autocommit(db_) != 0) return {};
  stop_point();
  return execute("COMMIT");
}

namespace {

OutputRecord read_record(const Statement& row, int first) {
  return {static_cast<std::uint64_t>(row.integer(first)),
          {row.integer(first + 1), row.integer(first + 2), row.integer(first + 3)}};
}

}  // namespace

Status ResultsStore::load_outputs(OutputRecords& records) {
  Statement rows;
  if (Status prepared =
          rows.prepare(db_, "SELECT name, made_from, size, mtime_ns, ctime_ns FROM output_files");
      !prepared.ok())
    return prepared;
  int step = SQLITE_ROW;
  while ((step = rows.step()) == SQLITE_ROW) records[hash_of(rows.text(0))] = read_record(rows, 1);
  return step == SQLITE_DONE ? Status() : fail();
}

Status ResultsStore::load_output(const std::string& name, OutputRecord& record, bool& known) {
  Statement row;
  if (Status prepared = row.prepare(
          db_, "SELECT made_from, size, mtime_ns, ctime_ns FROM output_files WHERE name = ?");
      !prepared.ok())
    return prepared;
  row.bind_text(1, name);
  const int step = row.step();
  known = step == SQLITE_ROW;
  if (known) record = read_record(row, 0);
  return step == SQLITE_ROW || step == SQLITE_DONE ? Status() : fail();
}

Status ResultsStore::forget_outputs(const std::vector<std::string>& names) {
  return delete_each("DELETE FROM output_files WHERE name = ?", names);
}

Status ResultsStore::delete_each(const char* sql, const std::vector<std::string>& keys) {
  if (keys.empty()) return {};
  if (Status committed = commit(); !committed.ok()) return committed;
  if (Status begun = execute("BEGIN"); !begun.ok()) return begun;
  Statement remove;
  if (Status prepared = remove.prepare(db_, sql); !prepared.ok()) return prepared;
  for (const std::string& key : keys) {
    remove.reset();
    remove.bind_text(1, key);
    if (remove.step() != SQLITE_DONE) return fail();
  }
  return commit();
}

Status ResultsStore::record_grades(const std::vector<CampaignFile>& files, const Grading& grading,
                                   const StoredGrades& grades) {
  Statement update;
  bool prepared = false;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const bool current = files[i].superseded_by == CampaignFile::current;
    if (i < grades.size() && grades[i] == grade_code(grading.of_file[i], current)) continue;
    if (!prepared) {
      if (Status begun = begin_batch(); !begun.ok()) return begun;
      if (Status made =
              update.prepare(db_, "UPDATE data_files SET grade = ?, current = ? WHERE path = ?");
          !made.ok())
        return made;
      prepared = true;
    }
    update.reset();
    update.bind_text(1, grade_name(grading.of_file[i]));
    update.bind_integer(2, current ? 1 : 0);
    update.bind_text(3, files[i].analysis.path);
    if (update.step() != SQLITE_DONE) return fail();
  }
  return {};
}

Status ResultsStore::channel_means(const std::vector<std::int64_t>& analyses,
                                   std::array<ChannelMean, qavrel::nchan>& means) {
  means = {};
  if (Status committed = commit(); !committed.ok()) return committed;
  if (Status made =
          execute("BEGIN; CREATE TEMP TABLE IF NOT EXISTS chosen (id INTEGER PRIMARY KEY);"
                  " DELETE FROM chosen;");
      !made.ok())
    return made;
  Statement insert;
  if (Status prepared = insert.prepare(db_, "INSERT OR IGNORE INTO chosen (id) VALUES (?)");
      !prepared.ok())
    return prepared;
  for (const std::int64_t id : analyses) {
    insert.reset();
    insert.bind_integer(1, id);
    if (insert.step() != SQLITE_DONE) return fail();
  }
  Statement select;
  if (Status prepared =
          select.prepare(db_,
                         "SELECT channel, mean_abs_ratio FROM chosen"
                         " JOIN channel_means ON channel_means.analysis_id = chosen.id");
      !prepared.ok())
    return prepared;
  // Sorted before they are summed: a sum of doubles depends on its order,
  // and the order of ids depends on the order files were analysed in.
  std::array<std::vector<double>, qavrel::nchan> values;
  int step = SQLITE_ROW;
  while ((step = select.step()) == SQLITE_ROW) {
    const auto channel = select.integer(0);
    if (channel >= 0 && channel < qavrel::nchan)
      values[static_cast<std::size_t>(channel)].push_back(select.real(1));
  }
  if (step != SQLITE_DONE) return fail();
  for (std::size_t channel = 0; channel < values.size(); ++channel) {
    std::sort(values[channel].begin(), values[channel].end());
    for (const double value : values[channel]) means[channel].sum += value;
    means[channel].count = static_cast<std::int64_t>(values[channel].size());
  }
  return execute("COMMIT");
}

}  // namespace qavrel::campaign
