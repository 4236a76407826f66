// The results store: every analysis kept, the latest read back exactly,
// and a store that another program holds.
#include "campaign/store/results_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <limits>

#include "campaign/common/hashing.h"
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
  return analysis;
}

TEST(ResultsStore, KeepsEveryAnalysisAndReadsBackTheLatestExactly) {
  const ScratchDir dir;
  std::string error;
  Analysis first = odd_analysis("a_adc.txt");
  first.train_rows = 3 * train_length;
  first.worst.column = 5;
  first.worst.abs_mean = std::nan("");
  RatioTable ratios;
  ratios.values[0][0] = 0.1 + 0.2;
  ratios.values[14][15] = -std::numeric_limits<double>::infinity();
  ratios.values[3][4] = 0.0;
  Analysis second = first;
  second.worst.abs_mean = 0.25;
  {
    ResultsStore store;
    ASSERT_TRUE(store.open(dir.file("campaign.sqlite"), error)) << error;
    ASSERT_TRUE(store.add(first, ratios, error)) << error;
    ASSERT_TRUE(store.add(second, ratios, error)) << error;
    ASSERT_TRUE(store.set_outputs_made_from("fingerprint", error)) << error;
  }
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("campaign.sqlite"), error)) << error;
  std::vector<Analysis> latest;
  LogWriters writers;
  ASSERT_TRUE(store.load_latest(collect(latest), writers, error)) << error;
  ASSERT_EQ(latest.size(), 1u);
  const Analysis& stored = latest[0];
  EXPECT_EQ(stored.id, second.id);
  EXPECT_EQ(stored.worst.column, 5);
  EXPECT_EQ(stored.worst.abs_mean, 0.25);
  EXPECT_EQ(stored.parity, Parity::odd);
  EXPECT_TRUE(stored.has_ratios);
  RatioTable back;
  ASSERT_TRUE(store.load_ratios(first, back, error)) << error;
  EXPECT_EQ(back.values[0][0], 0.1 + 0.2);
  EXPECT_EQ(back.values[14][15], -std::numeric_limits<double>::infinity());
  EXPECT_EQ(back.values[3][4], 0.0);
  EXPECT_TRUE(std::isnan(back.values[7][7]));
  EXPECT_EQ(store.outputs_made_from(), "fingerprint");
}

// Another program holds the store's write lock past the wait: the addition
// fails with the reason and is undone, and once the lock is gone the store
// takes analyses again, outside any half-open transaction.
TEST(ResultsStore, AFailureUndoesTheBatchAndLeavesTheStoreUsable) {
  const ScratchDir dir;
  std::string error;
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("campaign.sqlite"), error, 50)) << error;
  Analysis analysis;
  analysis.path = "a_adc.txt";
  RatioTable ratios;
  ASSERT_TRUE(store.add(analysis, ratios, error)) << error;  // begins a batch

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(dir.file("campaign.sqlite").c_str(), &other), SQLITE_OK);
  // The batch holds the write lock; the other program waits for it.
  ASSERT_NE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  ASSERT_TRUE(store.commit(error)) << error;
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  analysis.path = "b_adc.txt";
  EXPECT_FALSE(store.add(analysis, ratios, error));
  EXPECT_EQ(error, "database is locked");
  analysis.path = "c_adc.txt";
  EXPECT_FALSE(store.add(analysis, ratios, error));
  EXPECT_EQ(error, "database is locked");  // not "within a transaction"
  ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);

  analysis.path = "d_adc.txt";
  EXPECT_TRUE(store.add(analysis, ratios, error)) << error;
  EXPECT_TRUE(store.commit(error)) << error;
  std::vector<Analysis> latest;
  LogWriters writers;
  ASSERT_TRUE(store.load_latest(collect(latest), writers, error)) << error;
  ASSERT_EQ(latest.size(), 2u);
  EXPECT_EQ(latest[0].path + latest[1].path, "a_adc.txtd_adc.txt");
}

// What the outputs are made from beyond the analyses: each log's last
// writer, each channel's mean over chosen analyses, the chip pages written,
// and the latest_ratios view a dataframe reads.
TEST(ResultsStore, WritersMeansPagesAndTheLatestRatiosView) {
  const ScratchDir dir;
  std::string error;
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("campaign.sqlite"), error)) << error;
  Analysis analysis = odd_analysis("/d/b_adc.txt");
  analysis.log_written = true;
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio = -0.02;
  ratios.values[0][2] = std::nan("");
  ASSERT_TRUE(store.add(analysis, ratios, error)) << error;
  const std::int64_t first = analysis.id;
  analysis.path = "/d/a_adc.txt";  // the same log, written later
  for (auto& peak : ratios.values) peak[2] = 0.04;
  ASSERT_TRUE(store.add(analysis, ratios, error)) << error;
  ASSERT_TRUE(store.commit(error)) << error;

  std::vector<Analysis> latest;
  LogWriters writers;
  ASSERT_TRUE(store.load_latest(collect(latest), writers, error)) << error;
  ASSERT_EQ(latest.size(), 2u);
  EXPECT_EQ(latest[0].path, "/d/a_adc.txt");  // in path order
  EXPECT_EQ(writers.at(hash_of(latest[0].log_path())), analysis.id);

  std::array<ChannelMean, qavrel::nchan> means{};
  ASSERT_TRUE(store.channel_means({first, analysis.id}, means, error)) << error;
  EXPECT_EQ(means[0].count, 2);
  EXPECT_DOUBLE_EQ(means[0].sum, 0.04);
  EXPECT_DOUBLE_EQ(means[4].sum, 0.02 + 0.04);  // the not-a-number peak left out
  EXPECT_EQ(means[1].count, 0);                 // pulsed
  ASSERT_TRUE(store.channel_means({first}, means, error)) << error;
  EXPECT_EQ(means[0].count, 1);

  ASSERT_TRUE(
      store.save_chip_pages({{"7", {"7.html", "made"}}, {"8", {"8.html", "x"}}}, {}, error));
  ASSERT_TRUE(store.save_chip_pages({}, {"8"}, error));
  std::unordered_map<std::string, ChipPage> pages;
  ASSERT_TRUE(store.load_chip_pages(pages, error)) << error;
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages.at("7").made_from, "made");

  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(dir.file("campaign.sqlite").c_str(), &reader), SQLITE_OK);
  sqlite3_stmt* view = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(reader, "SELECT * FROM latest_ratios ORDER BY path, peak, channel",
                               -1, &view, nullptr),
            SQLITE_OK);
  std::string columns;
  for (int i = 0; i < sqlite3_column_count(view); ++i)
    columns += std::string(sqlite3_column_name(view, i)) + ",";
  EXPECT_EQ(columns, "path,chip,config,peak,channel,ratio,");
  int rows = 0;
  while (sqlite3_step(view) == SQLITE_ROW) ++rows;
  EXPECT_EQ(rows, 2 * 240);
  sqlite3_finalize(view);
  sqlite3_close(reader);
}

}  // namespace
