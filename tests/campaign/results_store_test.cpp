// The results store: every analysis kept and read back exactly, column by
// column; a failed batch undone whole; the views over the files of the
// last search; the record of outputs; names that are not UTF-8; and every
// layout a release ever wrote, opened and brought up to date.
#include "campaign/store/results_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "campaign/common/hashing.h"
#include "campaign/store/analysis_columns.h"
#include "campaign/store/layouts.h"
#include "test_files.h"

namespace {

using namespace qavrel::campaign;
using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

// Keeps every analysis it is handed.
std::function<void(Analysis&)> collect(std::vector<Analysis>& into) {
  return [&into](Analysis& analysis) { into.push_back(analysis); };
}

// An analysis of chip 7 with the odd channels pulsed, whose ratios were
// computed.
Analysis odd_analysis(const std::string& path) {
  Analysis analysis;
  analysis.path = path;
  analysis.chip = "7";
  analysis.config = "odd";
  analysis.parity = Parity::odd;
  analysis.has_ratios = true;
  analysis.ok = true;
  analysis.train_rows = 2 * train_length;
  analysis.tool_version = "9.9.9";
  analysis.analysed_at = "2026-12-09T10:00:00Z";
  return analysis;
}

// One row per result, its columns joined by "|", from another connection,
// as a user's program would read the store.
std::vector<std::string> query(const std::string& store, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(store.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db);
  std::vector<std::string> rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const unsigned char* text = sqlite3_column_text(statement, i);
      row += (i == 0 ? "" : "|") +
             std::string(text == nullptr ? "NULL" : reinterpret_cast<const char*>(text));
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

std::string one(const std::string& store, const std::string& sql) {
  const std::vector<std::string> rows = query(store, sql);
  return rows.size() == 1 ? rows[0] : "(" + std::to_string(rows.size()) + " rows)";
}

// Every column of an analysis goes in and comes back as it was, each with
// a value no other column has; the columns in the store are those the
// list describes.
TEST(ResultsStore, EveryColumnRoundTrips) {
  const ScratchDir dir;
  Analysis analysis = odd_analysis("/d/\xff\x01 x_adc.txt");
  analysis.parity = Parity::even;
  analysis.size = 101;
  analysis.mtime_ns = 102;
  analysis.ctime_ns = 110;
  analysis.failure = Failure::log;
  analysis.train_rows = 3 * train_length + 5;
  analysis.rows_read = 104;
  analysis.ended_on_token = true;
  analysis.token_offset = 105;
  analysis.worst = {7, 0.0106, 0.0107};
  analysis.log = {108, 109, 111};
  analysis.chip = "c\xfe";
  analysis.config = "cfg-even";
  analysis.error = "an error";
  analysis.tool_version = "1.2.3";
  analysis.analysed_at = "2026-12-09T11:12:13Z";
  analysis.ok = false;
  analysis.marker_found = true;
  analysis.log_written = true;
  RatioTable ratios;
  ratios.values[1][2] = -0.5;
  {
    ResultsStore store;
    ASSERT_TRUE(store.open(dir.file("s.sqlite")).ok());
    ASSERT_TRUE(store.add(analysis, ratios).ok());
    ASSERT_TRUE(store.commit().ok());
  }
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("s.sqlite")).ok());
  std::vector<Analysis> back;
  LogWriters writers;
  ASSERT_TRUE(store.load_latest(collect(back), writers).ok());
  ASSERT_EQ(back.size(), 1u);
  const Analysis& read = back[0];
  EXPECT_EQ(read.id, analysis.id);
  EXPECT_EQ(read.path, analysis.path);
  EXPECT_EQ(read.size, 101);
  EXPECT_EQ(read.mtime_ns, 102);
  EXPECT_EQ(read.ctime_ns, 110);
  EXPECT_EQ(read.failure, Failure::log);
  EXPECT_EQ(read.chip, analysis.chip);
  EXPECT_EQ(read.config, "cfg-even");
  EXPECT_EQ(read.parity, Parity::even);
  EXPECT_TRUE(read.has_ratios);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error, "an error");
  EXPECT_TRUE(read.marker_found);
  EXPECT_EQ(read.train_rows, 3 * train_length + 5);
  EXPECT_EQ(read.rows_read, 104);
  EXPECT_TRUE(read.ended_on_token);
  EXPECT_EQ(read.token_offset, 105);
  EXPECT_TRUE(read.log_written);
  EXPECT_EQ(read.worst.column, 7);
  EXPECT_EQ(read.worst.abs_mean, 0.0106);
  EXPECT_EQ(read.worst.standard_error, 0.0107);
  EXPECT_EQ(read.tool_version, "1.2.3");
  EXPECT_EQ(read.analysed_at, "2026-12-09T11:12:13Z");
  EXPECT_EQ(read.log, (FileState{108, 109, 111}));
  EXPECT_EQ(writers.at(hash_of(read.log_path())), read.id);
  // The columns a reader sees, and those kept for readers alone.
  const std::string path = dir.file("s.sqlite");
  EXPECT_EQ(one(path, "SELECT complete_trains, cut_train_rows, worst_channel FROM analyses"),
            "3|5|15");
  std::string described;
  for (const AnalysisColumn& column : analysis_columns())
    described += std::string(described.empty() ? "" : ",") + column.name;
  std::string stored;
  for (const std::string& name : query(path, "SELECT name FROM pragma_table_info('analyses')"))
    stored += (stored.empty() ? "" : ",") + name;
  EXPECT_EQ(stored, described);
  // A failed file, with no ratios and nothing where there is nothing.
  Analysis failed = odd_analysis("/d/b_adc.txt");
  failed.parity.reset();
  failed.has_ratios = false;
  failed.train_rows = 0;
  ASSERT_TRUE(store.add(failed, RatioTable()).ok());
  ASSERT_TRUE(store.commit().ok());
  EXPECT_EQ(one(path,
                "SELECT parity, error, failure, token_offset, worst_channel, log_size FROM analyses"
                " WHERE path = '/d/b_adc.txt'"),
            "NULL|NULL|NULL|NULL|NULL|NULL");
}

TEST(ResultsStore, KeepsEveryAnalysisAndReadsBackRatiosExactly) {
  const ScratchDir dir;
  Analysis first = odd_analysis("a_adc.txt");
  first.worst.abs_mean = std::nan("");
  RatioTable ratios;
  ratios.values[0][0] = 0.1 + 0.2;
  ratios.values[14][15] = -std::numeric_limits<double>::infinity();
  ratios.values[3][4] = 0.0;
  Analysis second = first;
  second.worst.abs_mean = 0.25;
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("campaign.sqlite")).ok());
  ASSERT_TRUE(store.add(first, ratios).ok());
  ASSERT_TRUE(store.add(second, ratios).ok());
  ASSERT_TRUE(store.commit().ok());
  std::vector<Analysis> latest;
  LogWriters writers;
  ASSERT_TRUE(store.load_latest(collect(latest), writers).ok());
  ASSERT_EQ(latest.size(), 1u);
  EXPECT_EQ(latest[0].id, second.id);
  EXPECT_EQ(latest[0].worst.abs_mean, 0.25);
  RatioTable back;
  ASSERT_TRUE(store.load_ratios(first.id, back).ok());
  EXPECT_EQ(back.values[0][0], 0.1 + 0.2);
  EXPECT_EQ(back.values[14][15], -std::numeric_limits<double>::infinity());
  EXPECT_EQ(back.values[3][4], 0.0);
  EXPECT_TRUE(std::isnan(back.values[7][7]));
}

// A failure part way through a batch undoes the whole batch, what was
// added before it too, and the store takes analyses again after it,
// outside any half-open transaction.
TEST(ResultsStore, AFailureUndoesTheWholeBatch) {
  const ScratchDir dir;
  const std::string path = dir.file("campaign.sqlite");
  ResultsStore store;
  ASSERT_TRUE(store.open(path, 50).ok());
  Analysis kept = odd_analysis("kept_adc.txt");
  ASSERT_TRUE(store.add(kept, RatioTable()).ok());
  ASSERT_TRUE(store.commit().ok());
  // Another program makes the store refuse one file.
  query(path,
        "CREATE TRIGGER refuse BEFORE INSERT ON analyses WHEN NEW.path = 'refused_adc.txt'"
        " BEGIN SELECT RAISE(ABORT, 'refused'); END");
  Analysis undone = odd_analysis("undone_adc.txt");
  ASSERT_TRUE(store.add(undone, RatioTable()).ok());
  ASSERT_TRUE(store.record_output("plots/undone.svg", {1, {2, 3, 4}}).ok());
  Analysis refused = odd_analysis("refused_adc.txt");
  EXPECT_EQ(store.add(refused, RatioTable()).reason(), "refused");
  Analysis after = odd_analysis("after_adc.txt");
  ASSERT_TRUE(store.add(after, RatioTable()).ok());
  ASSERT_TRUE(store.commit().ok());
  EXPECT_EQ(one(path, "SELECT group_concat(path) FROM (SELECT path FROM analyses ORDER BY path)"),
            "after_adc.txt,kept_adc.txt");
  EXPECT_EQ(one(path, "SELECT count(*) FROM output_files"), "0");

  // Another program holds the store past the wait: the addition fails with
  // the reason, and the next one, once the lock is gone, works.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  Analysis locked = odd_analysis("locked_adc.txt");
  EXPECT_EQ(store.add(locked, RatioTable()).reason(), "database is locked");
  EXPECT_EQ(store.add(locked, RatioTable()).reason(), "database is locked");
  ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  EXPECT_TRUE(store.add(locked, RatioTable()).ok());
  EXPECT_TRUE(store.commit().ok());
}

// The views show the files of the last search, each by its newest
// analysis: a file deleted since is kept in analyses, and gone from them.
// The current measurements are those the last outputs graded so.
TEST(ResultsStore, TheViewsHoldTheFilesOfTheLastSearch) {
  const ScratchDir dir;
  const std::string path = dir.file("campaign.sqlite");
  ResultsStore store;
  ASSERT_TRUE(store.open(path).ok());
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio = -0.02;
  std::vector<CampaignFile> files(3);
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].analysis = odd_analysis("/d/" + std::to_string(i) + "_adc.txt");
    files[i].analysis.worst = {3, 0.015, 0.0};
    ASSERT_TRUE(store.add(files[i].analysis, ratios).ok());
  }
  // The first file is analysed again, with other ratios.
  files[0].analysis.analysed_at = "2026-12-09T11:00:00Z";
  ratios.values[0][0] = 0.5;
  ASSERT_TRUE(store.add(files[0].analysis, ratios).ok());
  ASSERT_TRUE(store.commit().ok());
  std::vector<DataFile> found(2);
  found[0].path = files[0].analysis.path;
  found[1].path = files[1].analysis.path;
  for (DataFile& file : found) {
    file.chip = "7";
    file.config = "odd";
  }
  StoredGrades grades;
  ASSERT_TRUE(store.record_search(found, grades).ok());
  EXPECT_EQ(grades, (StoredGrades{0, 0}));
  EXPECT_EQ(one(path, "SELECT count(*) FROM analyses"), "4");
  EXPECT_EQ(query(path, "SELECT path, analysed_at FROM latest_analyses ORDER BY path"),
            (std::vector<std::string>{"/d/0_adc.txt|2026-12-09T11:00:00Z",
                                      "/d/1_adc.txt|2026-12-09T10:00:00Z"}));
  EXPECT_EQ(one(path, "SELECT count(*), max(ratio) FROM latest_ratios"), "480|0.5");
  // The first is superseded by the second; grades recorded where they differ.
  files.pop_back();
  files[0].superseded_by = 1;
  Grading grading = grade_campaign(files, GradeLimits());
  ASSERT_TRUE(store.record_grades(files, grading, grades).ok());
  ASSERT_TRUE(store.commit().ok());
  EXPECT_EQ(
      query(path, "SELECT chip, config, path, grade, worst_channel FROM current_measurements"),
      std::vector<std::string>{"7|odd|/d/1_adc.txt|B|6"});
  ASSERT_TRUE(store.record_search(found, grades).ok());
  EXPECT_NE(grades[0], 0);
  EXPECT_NE(grades[0], grades[1]);
  // A file whose naming changed loses its grade until graded again.
  found[1].config = "other-odd";
  ASSERT_TRUE(store.record_search(found, grades).ok());
  EXPECT_EQ(grades[1], 0);
  EXPECT_EQ(one(path, "SELECT config, grade FROM data_files WHERE path = '/d/1_adc.txt'"),
            "other-odd|NULL");
  // So does one whose measurement time changed (a manifest corrected), and
  // the views show the time as the search found it.
  ASSERT_TRUE(store.record_grades(files, grading, grades).ok());
  ASSERT_TRUE(store.record_search(found, grades).ok());
  ASSERT_NE(grades[1], 0);
  found[1].measured = {"2026-12-07T10:20:30", MeasuredFrom::manifest};
  ASSERT_TRUE(store.record_search(found, grades).ok());
  EXPECT_EQ(grades[1], 0);
  EXPECT_EQ(one(path,
                "SELECT measured_at, measured_from FROM latest_analyses WHERE path = "
                "'/d/1_adc.txt'"),
            "2026-12-07T10:20:30|manifest");
  // Files left for the next run are no longer the last search's.
  ASSERT_TRUE(store.forget_data_files({found[0].path}).ok());
  EXPECT_EQ(query(path, "SELECT path FROM latest_analyses"),
            std::vector<std::string>{"/d/1_adc.txt"});
}

// A folder that can't be searched holds, as far as the store can tell,
// the files the last search saw there: not files deleted or renamed
// before that, however many analyses of them the store keeps.
TEST(ResultsStore, AFolderNotSearchedHoldsWhatTheLastSearchSawThere) {
  const ScratchDir dir;
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("campaign.sqlite")).ok());
  for (const char* name : {"/d/closed/old_adc.txt", "/d/closed/now_adc.txt", "/d/open/x_adc.txt"}) {
    Analysis analysis = odd_analysis(name);
    analysis.size = 11;
    analysis.mtime_ns = 12;
    analysis.ctime_ns = 15;
    analysis.log_written = true;
    analysis.log = {13, 14, 16};
    ASSERT_TRUE(store.add(analysis, RatioTable()).ok());
  }
  std::vector<DataFile> found(2);
  found[0].path = "/d/closed/now_adc.txt";
  found[0].measured = {"2026-12-08T09:00:00", MeasuredFrom::pattern};
  found[1].path = "/d/open/x_adc.txt";
  StoredGrades grades;
  ASSERT_TRUE(store.record_search(found, grades).ok());
  std::vector<DataFile> last_seen;
  ASSERT_TRUE(store.last_seen_in({"/d/closed"}, last_seen).ok());
  ASSERT_EQ(last_seen.size(), 1u);
  EXPECT_EQ(last_seen[0].path, "/d/closed/now_adc.txt");
  EXPECT_TRUE(last_seen[0].unsearched);
  EXPECT_EQ(last_seen[0].state, (FileState{11, 12, 15}));
  EXPECT_EQ(last_seen[0].log, (FileState{13, 14, 16}));
  EXPECT_EQ(last_seen[0].measured, found[0].measured);
  last_seen.clear();
  ASSERT_TRUE(store.last_seen_in({"/d/clos"}, last_seen).ok());
  EXPECT_TRUE(last_seen.empty());
}

// What each output was made from: forgotten at once when asked, recorded
// with the next commit.
TEST(ResultsStore, RecordsWhatEachOutputWasMadeFrom) {
  const ScratchDir dir;
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("campaign.sqlite")).ok());
  ASSERT_TRUE(store.record_output("", {1, {}}).ok());
  ASSERT_TRUE(store.record_output("report.html", {~std::uint64_t{0}, {5, 6, 7}}).ok());
  ASSERT_TRUE(store.commit().ok());
  OutputRecord record;
  bool known = false;
  ASSERT_TRUE(store.load_output("report.html", record, known).ok());
  EXPECT_TRUE(known);
  EXPECT_EQ(record.made_from, ~std::uint64_t{0});
  EXPECT_EQ(record.state, (FileState{5, 6, 7}));
  ASSERT_TRUE(store.forget_outputs({"", "never.html"}).ok());
  OutputRecords records;
  ASSERT_TRUE(store.load_outputs(records).ok());
  EXPECT_EQ(records.size(), 1u);
  ASSERT_TRUE(store.load_output("", record, known).ok());
  EXPECT_FALSE(known);
}

// Each run's grade limits are kept, and each run is told the last run's,
// once committed.
TEST(ResultsStore, KeepsTheGradeLimitsOfEachRun) {
  const ScratchDir dir;
  const std::string path = dir.file("campaign.sqlite");
  std::optional<GradeLimits> last;
  {
    ResultsStore store;
    ASSERT_TRUE(store.open(path).ok());
    ASSERT_TRUE(store.record_grade_limits({0.01, 0.02, 0.05}, last).ok());
    EXPECT_FALSE(last.has_value());
    ASSERT_TRUE(store.commit().ok());
    ASSERT_TRUE(store.record_grade_limits({0.001, 0.002, 0.003}, last).ok());
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->a, 0.01);
    EXPECT_EQ(last->b, 0.02);
    EXPECT_EQ(last->c, 0.05);
    ASSERT_TRUE(store.commit().ok());
  }
  ResultsStore store;
  ASSERT_TRUE(store.open(path).ok());
  ASSERT_TRUE(store.record_grade_limits({0.01, 0.02, 0.05}, last).ok());
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->a, 0.001);
  EXPECT_EQ(last->b, 0.002);
  EXPECT_EQ(last->c, 0.003);
  EXPECT_EQ(one(path, "SELECT count(*) FROM grade_limits"), "2");  // the third is not committed
  EXPECT_EQ(one(path, "SELECT tool_version FROM grade_limits WHERE id = 1"), tool_version);
}

// Each channel's mean over chosen analyses does not depend on the order
// the analyses were stored in, to the last bit.
TEST(ResultsStore, ChannelMeansAreTheSameInAnyOrder) {
  const ScratchDir dir;
  std::vector<double> values;
  values.reserve(50);
  for (int i = 0; i < 50; ++i) values.push_back(0.001 * (i % 7) + 1e-17 * i + 0.1 / (i + 1));
  std::array<ChannelMean, qavrel::nchan> first{};
  for (const bool reversed : {false, true}) {
    ResultsStore store;
    ASSERT_TRUE(store.open(dir.file(reversed ? "b.sqlite" : "a.sqlite")).ok());
    std::vector<std::int64_t> ids;
    for (std::size_t k = 0; k < values.size(); ++k) {
      RatioTable ratios;
      for (auto& peak : ratios.values)
        for (double& ratio : peak) ratio = values[reversed ? values.size() - 1 - k : k];
      Analysis analysis = odd_analysis("/d/" + std::to_string(k) + "_adc.txt");
      ASSERT_TRUE(store.add(analysis, ratios).ok());
      ids.push_back(analysis.id);
    }
    std::array<ChannelMean, qavrel::nchan> means{};
    ASSERT_TRUE(store.channel_means(ids, means).ok());
    EXPECT_EQ(means[0].count, 50);
    EXPECT_EQ(means[1].count, 0);  // pulsed
    if (!reversed) first = means;
    EXPECT_EQ(means[6].sum, first[6].sum);
  }
}

std::string fixture(const std::string& name) {
  std::ifstream in(std::string(QAVREL_STORE_FIXTURES) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A store of each layout a release wrote opens, its analyses kept and read
// as the current layout reads them, and it then works as a new one does.
TEST(ResultsStore, EveryEarlierLayoutIsBroughtUpToDate) {
  for (int layout = 1; layout < current_layout; ++layout) {
    SCOPED_TRACE("layout " + std::to_string(layout));
    const ScratchDir dir;
    const std::string path = dir.file("campaign.sqlite");
    {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
      const std::string sql = fixture("layout_" + std::to_string(layout) + ".sql");
      ASSERT_FALSE(sql.empty());
      ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
          << sqlite3_errmsg(db);
      int found = 0;
      ASSERT_TRUE(layout_of(db, found).ok());
      EXPECT_EQ(found, layout);
      sqlite3_close(db);
    }
    // The store was one bench's: its analyses become the bench's that
    // opens it.
    ResultsStore store;
    StoreSettings settings;
    settings.sqlite_path = path;
    settings.bench = "bench 7";
    const qavrel::Status opened = store.open(settings);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    EXPECT_EQ(one(path, "SELECT group_concat(DISTINCT bench) FROM analyses"), "bench 7");
    if (layout >= 5) {
      EXPECT_EQ(one(path, "SELECT group_concat(DISTINCT bench) FROM data_files"), "bench 7");
    }
    std::vector<Analysis> latest;
    LogWriters writers;
    ASSERT_TRUE(store.load_latest(collect(latest), writers).ok());
    ASSERT_EQ(latest.size(), 2u);
    std::sort(latest.begin(), latest.end(),
              [](const Analysis& a, const Analysis& b) { return a.path < b.path; });
    EXPECT_EQ(latest[0].id, 2);
    EXPECT_EQ(latest[0].analysed_at, "2026-12-08T11:00:00Z");
    EXPECT_TRUE(latest[0].has_ratios);
    EXPECT_EQ(latest[0].worst_channel_number(), 30);
    EXPECT_DOUBLE_EQ(latest[0].worst.abs_mean, 0.025);
    EXPECT_EQ(latest[0].log, layout >= 4 ? (FileState{2416, 9, -1}) : FileState{});
    EXPECT_FALSE(latest[1].ok);
    EXPECT_EQ(latest[1].error, "Cannot open file named /d/2_vemra8_b_l_even_adc.txt.");
    // Each channel's mean |ratio| is what a new analysis of those ratios
    // keeps, whichever layout computed it: negative, infinite and missing
    // ratios too.
    for (const std::int64_t id : {1, 2}) {
      RatioTable ratios;
      ASSERT_TRUE(store.load_ratios(id, ratios).ok());
      const auto expected = mean_abs_ratios(ratios);
      std::array<ChannelMean, qavrel::nchan> means{};
      ASSERT_TRUE(store.channel_means({id}, means).ok());
      for (int column = 0; column < observed_channels; ++column) {
        const ChannelMean& mean = means[2 * static_cast<std::size_t>(column)];
        ASSERT_EQ(mean.count, 1) << id << " " << column;
        EXPECT_NEAR(mean.sum, expected[static_cast<std::size_t>(column)], 1e-15)
            << id << " " << column;
      }
    }
    if (layout == 1) {
      EXPECT_EQ(one(path, "SELECT worst_channel FROM analyses WHERE id = 1"), "0");
    }
    EXPECT_EQ(one(path, "PRAGMA user_version"), std::to_string(current_layout));
    EXPECT_EQ(one(path, "SELECT count(*) FROM latest_ratios"), "240");
    EXPECT_EQ(one(path, "SELECT count(*) FROM output_files"), "0");
    EXPECT_EQ(one(path, "SELECT count(*) FROM grade_limits"), layout >= 7 ? "1" : "0");
    Analysis added = odd_analysis("/d/3_adc.txt");
    added.log = {1, 2, 3};
    ASSERT_TRUE(store.add(added, RatioTable()).ok());
    ASSERT_TRUE(store.commit().ok());
  }
}

// A store from a later version is refused, naming both versions, and left
// as it was.
TEST(ResultsStore, ALaterLayoutIsRefused) {
  const ScratchDir dir;
  const std::string path = dir.file("campaign.sqlite");
  {
    ResultsStore store;
    ASSERT_TRUE(store.open(path).ok());
  }
  query(path, "UPDATE store_layout SET written_by = '7.0.0'");
  query(path, "PRAGMA user_version = " + std::to_string(current_layout + 1));
  ResultsStore store;
  EXPECT_EQ(store.open(path).reason(),
            "it was made by qavrel-campaign 7.0.0 (store layout " +
                std::to_string(current_layout + 1) + "); this is qavrel-campaign " + tool_version +
                ", which reads store layouts up to " + std::to_string(current_layout));
}

}  // namespace
