// The results store: every analysis kept, the latest read back exactly,
// and a store that another program holds.
#include "campaign/results_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <limits>

#include "test_files.h"

namespace {

using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

TEST(ResultsStore, KeepsEveryAnalysisAndReadsBackTheLatestExactly) {
  const ScratchDir dir;
  std::string error;
  Analysis first;
  first.path = "a_adc.txt";
  first.chip = "7";
  first.config = "odd";
  first.parity = Parity::odd;
  first.has_ratios = true;
  first.ok = true;
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
  std::unordered_map<std::string, Analysis> latest;
  ASSERT_TRUE(store.load_latest(latest, error)) << error;
  ASSERT_EQ(latest.size(), 1u);
  const Analysis& stored = latest.at("a_adc.txt");
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
  std::unordered_map<std::string, Analysis> latest;
  ASSERT_TRUE(store.load_latest(latest, error)) << error;
  EXPECT_EQ(latest.size(), 2u);
  EXPECT_EQ(latest.count("a_adc.txt") + latest.count("d_adc.txt"), 2u);
}

}  // namespace
