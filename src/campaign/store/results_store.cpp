#include "campaign/store/results_store.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numeric>
#include <tuple>

#include "campaign/common/hashing.h"
#include "campaign/common/stop_points.h"
#include "campaign/find/measurement_time.h"
#include "campaign/store/analysis_columns.h"
#include "campaign/store/postgres_database.h"
#include "campaign/store/sqlite_database.h"

namespace qavrel::campaign {

namespace {

const Grade all_grades[] = {Grade::a,       Grade::b,    Grade::c,
                            Grade::no_data, Grade::fail, Grade::not_analysed};

// A file's grade and standing in one byte, 0 for none.
std::uint8_t grade_code(Grade grade, bool current) {
  return static_cast<std::uint8_t>(1 + 2 * static_cast<int>(grade) + (current ? 1 : 0));
}

std::uint8_t stored_grade_code(const Query& row, int grade_column, int current_column) {
  if (row.is_null(grade_column) || row.is_null(current_column)) return 0;
  const std::string name = row.text(grade_column);
  for (const Grade grade : all_grades)
    if (name == grade_name(grade)) return grade_code(grade, row.integer(current_column) != 0);
  return 0;
}

// A file's measurement time as the columns at and from hold it.
MeasurementTime stored_measurement(const Query& row, int at_column, int from_column) {
  MeasurementTime measured;
  if (!row.is_null(at_column)) measured.at = row.text(at_column);
  if (!row.is_null(from_column))
    measured.from = measured_from_named(row.text(from_column)).value_or(MeasuredFrom::mtime);
  return measured;
}

// The place of path among files (in path order), or files.size().
std::size_t place_of(const std::vector<DataFile>& files, const std::string& path) {
  const auto at = std::lower_bound(
      files.begin(), files.end(), path,
      [](const DataFile& file, const std::string& wanted) { return file.path < wanted; });
  return at != files.end() && at->path == path ? static_cast<std::size_t>(at - files.begin())
                                               : files.size();
}

// Now, as analyses are stamped.
std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace

ResultsStore::~ResultsStore() {
  if (!db_) return;
  // What was added since the last commit is kept where it can be; a
  // failure here has nowhere to be said, and the next run redoes the rest.
  static_cast<void>(commit());
  close();
}

void ResultsStore::close() {
  // The statements go before the connection they were prepared on.
  insert_analysis_.reset();
  insert_output_.reset();
  select_ratios_.reset();
  if (db_) db_->rollback();
  db_.reset();
}

Status ResultsStore::fail() {
  std::string error = db_ ? db_->error() : "out of memory";
  // What the failed transaction added is undone, so that the store never
  // goes on inside a transaction the database may have dropped.
  for (auto* query : {&insert_analysis_, &insert_output_, &select_ratios_})
    if (*query) (*query)->reset();
  if (db_) db_->rollback();
  return Status::failure(error);
}

Status ResultsStore::prepare(const std::string& sql, std::unique_ptr<Query>& query) {
  return db_->prepare(sql, query);
}

Status ResultsStore::begin_batch() { return db_->in_transaction() ? Status() : db_->begin(); }

Status ResultsStore::open(const std::string& path, int wait_ms) {
  StoreSettings settings;
  settings.sqlite_path = path;
  settings.wait_ms = wait_ms;
  return open(settings);
}

Status ResultsStore::open(const StoreSettings& settings) {
  bench_ = settings.bench;
  outputs_ = settings.url.empty() ? "" : settings.outputs;
  if (Status opened = settings.url.empty()
                          ? open_sqlite(settings.sqlite_path, settings.wait_ms, bench_, db_)
                          : open_postgres(settings.url, db_);
      !opened.ok())
    return opened;
  if (settings.keep_stored_bench)
    if (Status kept = keep_stored_bench(); !kept.ok()) return kept;
  // A lock another program holds on a shared store is waited for as long
  // as the embedded store waits for its file (0 would be for ever there).
  if (!settings.url.empty())
    if (Status set =
            db_->execute("SET lock_timeout = " + std::to_string(std::max(1, settings.wait_ms)));
        !set.ok())
      return set;
  if (!bench_.empty())
    if (Status locked = db_->lock_bench(bench_, settings.wait_ms); !locked.ok()) return locked;
  for (const auto& [query, sql] :
       {std::pair{&insert_analysis_, insert_analysis_sql() + " RETURNING id"},
        {&insert_output_,
         "INSERT INTO output_files (folder, name, made_from, size, mtime_ns, ctime_ns)"
         " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (folder, name) DO UPDATE SET"
         " made_from = excluded.made_from, size = excluded.size,"
         " mtime_ns = excluded.mtime_ns, ctime_ns = excluded.ctime_ns"},
        {&select_ratios_, "SELECT peak, channel, ratio FROM ratios WHERE analysis_id = ?"}})
    if (Status prepared = prepare(sql, *query); !prepared.ok()) return prepared;
  return {};
}

std::string ResultsStore::where() const { return db_ ? db_->where() : std::string(); }

Status ResultsStore::check_writable() {
  if (Status committed = commit(); !committed.ok()) return committed;
  return db_->check_writable();
}

Status ResultsStore::last_seen_in(const std::vector<std::string>& folders,
                                  std::vector<DataFile>& files) {
  if (folders.empty()) return {};
  std::unique_ptr<Query> rows;
  if (Status prepared = prepare(
          "SELECT f.path, f.chip, f.config, a.size, a.mtime_ns, a.ctime_ns, a.log_written,"
          " a.log_size, a.log_mtime_ns, a.log_ctime_ns, f.measured_at, f.measured_from"
          " FROM data_files AS f LEFT JOIN analyses AS a"
          " ON a.id = (SELECT max(id) FROM analyses WHERE bench = f.bench AND path = f.path)"
          " WHERE f.bench = ?",
          rows);
      !prepared.ok())
    return prepared;
  rows->bind_text(1, bench_);
  Step step = Step::row;
  while ((step = rows->step()) == Step::row) {
    std::string path = rows->text(0);
    const bool wanted =
        std::any_of(folders.begin(), folders.end(), [&path](const std::string& folder) {
          return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                 path[folder.size()] == '/';
        });
    if (!wanted) continue;
    DataFile file;
    file.path = std::move(path);
    file.chip = rows->text(1);
    file.config = rows->text(2);
    const Query& row = *rows;
    const auto maybe = [&row](int column) {
      return row.is_null(column) ? -1 : row.integer(column);
    };
    if (!row.is_null(3)) file.state = {row.integer(3), row.integer(4), maybe(5)};
    if (row.integer(6) != 0 && !row.is_null(7))
      file.log = {row.integer(7), row.integer(8), maybe(9)};
    file.measured = stored_measurement(row, 10, 11);
    file.unsearched = true;
    files.push_back(std::move(file));
  }
  return step == Step::done ? Status() : fail();
}

Status ResultsStore::record_search(const std::vector<DataFile>& files, StoredGrades& grades) {
  grades.assign(files.size(), 0);
  std::vector<bool> held(files.size(), false);
  std::vector<bool> renamed(files.size(), false);
  std::vector<std::string> gone;
  {
    std::unique_ptr<Query> rows;
    if (Status prepared =
            prepare("SELECT path, chip, config, grade, current, measured_at, measured_from"
                    " FROM data_files WHERE bench = ?",
                    rows);
        !prepared.ok())
      return prepared;
    rows->bind_text(1, bench_);
    Step step = Step::row;
    while ((step = rows->step()) == Step::row) {
      std::string path = rows->text(0);
      const std::size_t i = place_of(files, path);
      if (i == files.size()) {
        gone.push_back(std::move(path));
        continue;
      }
      held[i] = true;
      if (rows->text(1) != files[i].chip || rows->text(2) != files[i].config ||
          stored_measurement(*rows, 5, 6) != files[i].measured)
        renamed[i] = true;
      else
        grades[i] = stored_grade_code(*rows, 3, 4);
    }
    if (step != Step::done) return fail();
  }
  const bool changed = std::find(held.begin(), held.end(), false) != held.end() ||
                       std::find(renamed.begin(), renamed.end(), true) != renamed.end();
  if (gone.empty() && !changed) return {};

  if (Status begun = begin_batch(); !begun.ok()) return begun;
  std::unique_ptr<Query> remove;
  std::unique_ptr<Query> insert;
  if (Status prepared = prepare("DELETE FROM data_files WHERE path = ? AND bench = ?", remove);
      !prepared.ok())
    return prepared;
  if (Status prepared =
          prepare("INSERT INTO data_files (bench, path, chip, config, measured_at, measured_from)"
                  " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (bench, path) DO UPDATE SET"
                  " chip = excluded.chip, config = excluded.config, grade = NULL, current = NULL,"
                  " measured_at = excluded.measured_at, measured_from = excluded.measured_from",
                  insert);
      !prepared.ok())
    return prepared;
  for (const std::string& path : gone) {
    remove->reset();
    remove->bind_text(1, path);
    remove->bind_text(2, bench_);
    if (remove->step() != Step::done) return fail();
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (held[i] && !renamed[i]) continue;
    insert->reset();
    insert->bind_text(1, bench_);
    insert->bind_text(2, files[i].path);
    insert->bind_text(3, files[i].chip);
    insert->bind_text(4, files[i].config);
    insert->bind_text(5, files[i].measured.at);
    insert->bind_text(6, measured_from_name(files[i].measured.from));
    if (insert->step() != Step::done) return fail();
  }
  return commit();
}

Status ResultsStore::forget_data_files(const std::vector<std::string>& paths) {
  return delete_each("DELETE FROM data_files WHERE path = ? AND bench = ?", paths, bench_);
}

Status ResultsStore::record_grade_limits(const GradeLimits& limits,
                                         std::optional<GradeLimits>& last) {
  last.reset();
  {
    std::unique_ptr<Query> row;
    if (Status prepared = prepare(
            "SELECT limit_a, limit_b, limit_c FROM grade_limits ORDER BY id DESC LIMIT 1", row);
        !prepared.ok())
      return prepared;
    const Step step = row->step();
    if (step == Step::row) last = GradeLimits{row->real(0), row->real(1), row->real(2)};
    if (step == Step::failed) return fail();
  }
  if (Status begun = begin_batch(); !begun.ok()) return begun;
  std::unique_ptr<Query> insert;
  if (Status prepared =
          prepare("INSERT INTO grade_limits (run_at, limit_a, limit_b, limit_c, tool_version)"
                  " VALUES (?, ?, ?, ?, ?)",
                  insert);
      !prepared.ok())
    return prepared;
  insert->bind_text(1, utc_now());
  insert->bind_real(2, limits.a);
  insert->bind_real(3, limits.b);
  insert->bind_real(4, limits.c);
  insert->bind_text(5, tool_version);
  return insert->step() != Step::failed ? Status() : fail();
}

Status ResultsStore::load_latest(const std::function<void(Analysis&)>& keep, LogWriters& writers) {
  std::unique_ptr<Query> rows;
  if (Status prepared =
          prepare(select_analyses_sql() + " WHERE bench = ? AND id = (SELECT max(id) FROM analyses"
                                          " WHERE bench = a.bench AND path = a.path)",
                  rows);
      !prepared.ok())
    return prepared;
  rows->bind_text(1, bench_);
  Step step = Step::row;
  while ((step = rows->step()) == Step::row) {
    Analysis analysis = read_analysis(*rows);
    if (analysis.log_written) {
      std::int64_t& writer = writers[hash_of(analysis.log_path())];
      writer = std::max(writer, analysis.id);
    }
    keep(analysis);
  }
  return step == Step::done ? Status() : fail();
}

Status ResultsStore::other_benches(std::vector<CampaignFile>& files, StoredGrades& grades) {
  files.clear();
  grades.clear();
  std::unique_ptr<Query> rows;
  // The analysis's columns, then those of its data file.
  if (Status prepared =
          prepare(select_analyses_sql("f.grade, f.current, f.measured_at, f.measured_from") +
                      " JOIN data_files AS f ON a.id = (SELECT max(id) FROM analyses"
                      " WHERE bench = f.bench AND path = f.path)"
                      " WHERE f.bench <> ?",
                  rows);
      !prepared.ok())
    return prepared;
  rows->bind_text(1, bench_);
  const int first = static_cast<int>(analysis_columns().size());
  Step step = Step::row;
  while ((step = rows->step()) == Step::row) {
    CampaignFile file;
    file.analysis = read_analysis(*rows);
    file.measured = stored_measurement(*rows, first + 2, first + 3);
    // Ordered as the search orders its own files.
    file.measured.instant_ns = file.measured.from == MeasuredFrom::mtime
                                   ? file.analysis.mtime_ns
                                   : local_instant(file.measured.at);
    grades.push_back(stored_grade_code(*rows, first, first + 1));
    files.push_back(std::move(file));
  }
  if (step != Step::done) return fail();
  // Sorted here, by bytes: how a database orders text is its own.
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&files](std::size_t a, std::size_t b) {
    return std::tie(files[a].analysis.path, files[a].analysis.bench) <
           std::tie(files[b].analysis.path, files[b].analysis.bench);
  });
  std::vector<CampaignFile> sorted;
  StoredGrades sorted_grades;
  sorted.reserve(files.size());
  for (const std::size_t i : order) {
    sorted.push_back(std::move(files[i]));
    sorted_grades.push_back(grades[i]);
  }
  files = std::move(sorted);
  grades = std::move(sorted_grades);
  return {};
}

Status ResultsStore::keep_stored_bench() {
  std::unique_ptr<Query> rows;
  if (Status prepared = prepare("SELECT DISTINCT bench FROM data_files LIMIT 2", rows);
      !prepared.ok())
    return prepared;
  std::vector<std::string> benches;
  Step step = Step::row;
  while ((step = rows->step()) == Step::row) benches.push_back(rows->text(0));
  if (step == Step::failed) return fail();
  if (benches.size() == 1) bench_ = benches[0];
  return {};
}

Status ResultsStore::other_benches_state(std::string& state) {
  std::unique_ptr<Query> row;
  if (Status prepared =
          prepare("SELECT (SELECT coalesce(max(id), 0) FROM analyses WHERE bench <> ?),"
                  " (SELECT count(*) FROM data_files WHERE bench <> ?)",
                  row);
      !prepared.ok())
    return prepared;
  row->bind_text(1, bench_);
  row->bind_text(2, bench_);
  if (row->step() != Step::row) return fail();
  state = std::to_string(row->integer(0)) + " " + std::to_string(row->integer(1));
  return {};
}

Status ResultsStore::load_ratios(std::int64_t analysis_id, RatioTable& ratios) {
  ratios = RatioTable();
  Query& select = *select_ratios_;
  select.reset();
  select.bind_integer(1, analysis_id);
  Step step = Step::row;
  while ((step = select.step()) == Step::row) {
    const auto peak = select.integer(0);
    // Channels are numbered on the chip; the observed ones alternate.
    const auto column = select.integer(1) / 2;
    if (peak < 0 || peak >= qavrel::npeaks || column < 0 || column >= qavrel::observed_channels)
      continue;
    ratios.values[peak][column] = select.real(2);
  }
  return step == Step::done ? Status() : fail();
}

Status ResultsStore::add(Analysis& analysis, const RatioTable& ratios) {
  if (Status begun = begin_batch(); !begun.ok()) return begun;
  analysis.bench = bench_;
  Query& insert = *insert_analysis_;
  insert.reset();
  bind_analysis(insert, analysis);
  if (insert.step() != Step::row) return fail();
  analysis.id = insert.integer(0);
  if (insert.step() != Step::done) return fail();
  if (!analysis.has_ratios) return {};
  const qavrel::Parity pulsed = *analysis.parity;
  constexpr auto cells = static_cast<std::size_t>(qavrel::npeaks) * qavrel::observed_channels;
  std::vector<NumberColumn> table = {{"analysis_id", false, {}, {}},
                                     {"peak", false, {}, {}},
                                     {"channel", false, {}, {}},
                                     {"ratio", true, {}, {}}};
  table[0].integers.assign(cells, analysis.id);
  for (int peak = 0; peak < qavrel::npeaks; ++peak)
    for (int column = 0; column < qavrel::observed_channels; ++column) {
      table[1].integers.push_back(peak);
      table[2].integers.push_back(qavrel::observed_channel(column, pulsed));
      table[3].reals.push_back(ratios.values[peak][column]);
    }
  if (Status inserted = db_->insert_numbers("ratios", table); !inserted.ok()) return fail();
  std::vector<NumberColumn> means_table = {
      {"analysis_id", false, {}, {}}, {"channel", false, {}, {}}, {"mean_abs_ratio", true, {}, {}}};
  const auto means = mean_abs_ratios(ratios);
  for (int column = 0; column < qavrel::observed_channels; ++column) {
    if (std::isnan(means[static_cast<std::size_t>(column)])) continue;
    means_table[0].integers.push_back(analysis.id);
    means_table[1].integers.push_back(qavrel::observed_channel(column, pulsed));
    means_table[2].reals.push_back(means[static_cast<std::size_t>(column)]);
  }
  if (means_table[0].integers.empty()) return {};
  return db_->insert_numbers("channel_means", means_table).ok() ? Status() : fail();
}

Status ResultsStore::record_output(const std::string& name, const OutputRecord& record) {
  if (Status begun = begin_batch(); !begun.ok()) return begun;
  Query& insert = *insert_output_;
  insert.reset();
  insert.bind_text(1, outputs_);
  insert.bind_text(2, name);
  insert.bind_integer(3, static_cast<std::int64_t>(record.made_from));
  insert.bind_integer(4, record.state.size);
  insert.bind_integer(5, record.state.mtime_ns);
  insert.bind_integer(6, record.state.ctime_ns);
  return insert.step() != Step::failed ? Status() : fail();
}

Status ResultsStore::commit() {
  if (!db_->in_transaction()) return {};
  stop_point();
  return db_->commit().ok() ? Status() : fail();
}

namespace {

OutputRecord read_record(const Query& row, int first) {
  return {static_cast<std::uint64_t>(row.integer(first)),
          {row.integer(first + 1), row.integer(first + 2), row.integer(first + 3)}};
}

}  // namespace

Status ResultsStore::load_outputs(OutputRecords& records) {
  std::unique_ptr<Query> rows;
  if (Status prepared = prepare(
          "SELECT name, made_from, size, mtime_ns, ctime_ns FROM output_files WHERE folder = ?",
          rows);
      !prepared.ok())
    return prepared;
  rows->bind_text(1, outputs_);
  Step step = Step::row;
  while ((step = rows->step()) == Step::row)
    records[hash_of(rows->text(0))] = read_record(*rows, 1);
  return step == Step::done ? Status() : fail();
}

Status ResultsStore::load_output(const std::string& name, OutputRecord& record, bool& known) {
  std::unique_ptr<Query> row;
  if (Status prepared = prepare("SELECT made_from, size, mtime_ns, ctime_ns FROM output_files"
                                " WHERE name = ? AND folder = ?",
                                row);
      !prepared.ok())
    return prepared;
  row->bind_text(1, name);
  row->bind_text(2, outputs_);
  const Step step = row->step();
  known = step == Step::row;
  if (known) record = read_record(*row, 0);
  return step != Step::failed ? Status() : fail();
}

Status ResultsStore::forget_outputs(const std::vector<std::string>& names) {
  return delete_each("DELETE FROM output_files WHERE name = ? AND folder = ?", names, outputs_);
}

Status ResultsStore::delete_each(const char* sql, const std::vector<std::string>& keys,
                                 const std::string& bench) {
  if (keys.empty()) return {};
  if (Status committed = commit(); !committed.ok()) return committed;
  if (Status begun = db_->begin(); !begun.ok()) return fail();
  std::unique_ptr<Query> remove;
  if (Status prepared = prepare(sql, remove); !prepared.ok()) return prepared;
  for (const std::string& key : keys) {
    remove->reset();
    remove->bind_text(1, key);
    remove->bind_text(2, bench);
    if (remove->step() == Step::failed) return fail();
  }
  return commit();
}

Status ResultsStore::record_grades(const std::vector<CampaignFile>& files, const Grading& grading,
                                   const StoredGrades& grades) {
  std::unique_ptr<Query> update;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const bool current = files[i].superseded_by == CampaignFile::current;
    if (i < grades.size() && grades[i] == grade_code(grading.of_file[i], current)) continue;
    if (!update) {
      if (Status begun = begin_batch(); !begun.ok()) return begun;
      if (Status made = prepare(
              "UPDATE data_files SET grade = ?, current = ? WHERE path = ? AND bench = ?", update);
          !made.ok())
        return made;
    }
    update->reset();
    update->bind_text(1, grade_name(grading.of_file[i]));
    update->bind_integer(2, current ? 1 : 0);
    update->bind_text(3, files[i].analysis.path);
    update->bind_text(4, files[i].analysis.bench);
    if (update->step() == Step::failed) return fail();
  }
  return {};
}

Status ResultsStore::channel_means(const std::vector<std::int64_t>& analyses,
                                   std::array<ChannelMean, qavrel::nchan>& means) {
  means = {};
  if (Status committed = commit(); !committed.ok()) return committed;
  if (Status begun = db_->begin(); !begun.ok()) return fail();
  if (Status made = db_->execute(
          "CREATE TEMP TABLE IF NOT EXISTS chosen (id BIGINT PRIMARY KEY); DELETE FROM chosen;");
      !made.ok())
    return fail();
  std::vector<std::int64_t> ids = analyses;
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  if (!ids.empty())
    if (Status inserted = db_->insert_numbers("chosen", {{"id", false, std::move(ids), {}}});
        !inserted.ok())
      return fail();
  std::unique_ptr<Query> select;
  if (Status prepared = prepare("SELECT channel, mean_abs_ratio FROM chosen"
                                " JOIN channel_means ON channel_means.analysis_id = chosen.id",
                                select);
      !prepared.ok())
    return prepared;
  // Sorted before they are summed: a sum of doubles depends on its order,
  // and the order of ids depends on the order files were analysed in.
  std::array<std::vector<double>, qavrel::nchan> values;
  Step step = Step::row;
  while ((step = select->step()) == Step::row) {
    const auto channel = select->integer(0);
    if (channel >= 0 && channel < qavrel::nchan)
      values[static_cast<std::size_t>(channel)].push_back(select->real(1));
  }
  if (step != Step::done) return fail();
  for (std::size_t channel = 0; channel < values.size(); ++channel) {
    std::sort(values[channel].begin(), values[channel].end());
    for (const double value : values[channel]) means[channel].sum += value;
    means[channel].count = static_cast<std::int64_t>(values[channel].size());
  }
  return db_->commit().ok() ? Status() : fail();
}

}  // namespace qavrel::campaign
