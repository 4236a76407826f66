// The rerun rules: which stored analyses still stand for the files found,
// and who owns each log. A rule that is loosened here silently reuses an
// analysis of data that changed, or leaves a log that holds another
// file's table.
#include "campaign/plan.h"

#include <gtest/gtest.h>

#include "core/log_path.h"

namespace {

const char* const version = "9.9.9";

FoundFile found_file(const std::string& path, const std::string& config = "20mV_calib-odd") {
  FoundFile found;
  found.file = {path, "7", config};
  found.state = {1000, 5000};
  found.log_exists = true;
  return found;
}

// The analysis the last run stored for file, which wrote its log.
Analysis stored_for(const FoundFile& found, std::int64_t id) {
  Analysis analysis;
  analysis.id = id;
  analysis.path = found.file.path;
  analysis.chip = found.file.chip;
  analysis.config = found.file.config;
  analysis.size = found.state.size;
  analysis.mtime_ns = found.state.mtime_ns;
  analysis.tool_version = version;
  analysis.log_path = qavrel::log_path_for(found.file.path, found.file.chip, found.file.config);
  analysis.log_written = true;
  analysis.ok = true;
  return analysis;
}

PlanSettings settings() {
  PlanSettings settings;
  settings.tool_version = version;
  return settings;
}

// Plans one file whose stored analysis is changed by change, and tells
// whether that analysis still stands.
template <typename Change>
bool stands_after(Change change, PlanSettings plan_settings = settings()) {
  FoundFile found = found_file("/d/a_adc.txt");
  Analysis stored = stored_for(found, 1);
  change(found, stored);
  std::unordered_map<std::string, Analysis> store{{stored.path, stored}};
  const Plan plan = plan_campaign({found}, store, plan_settings);
  EXPECT_EQ(plan.to_analyse.size() + plan.reused, 1u);
  return plan.reused == 1;
}

TEST(Plan, AStoredAnalysisStandsOnlyForTheSameFileToolAndNaming) {
  EXPECT_TRUE(stands_after([](FoundFile&, Analysis&) {}));
  // Rewritten in place with the same size: only the time tells.
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { ++found.state.mtime_ns; }));
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { ++found.state.size; }));
  EXPECT_FALSE(stands_after([](FoundFile&, Analysis& stored) { stored.tool_version = "1.0"; }));
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { found.file.chip = "8"; }));
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { found.file.config = "odd"; }));
  EXPECT_FALSE(stands_after([](FoundFile&, Analysis& stored) { stored.ok = false; }));
  PlanSettings forced = settings();
  forced.force = true;
  EXPECT_FALSE(stands_after([](FoundFile&, Analysis&) {}, forced));
}

TEST(Plan, TheOwnerOfALogIsReadAgainUnlessTheLogHoldsItsTable) {
  // A deleted log, or one that this file never wrote, is written again.
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { found.log_exists = false; }));
  EXPECT_FALSE(stands_after([](FoundFile&, Analysis& stored) { stored.log_written = false; }));
  // Without logs, only the data counts.
  PlanSettings no_logs = settings();
  no_logs.write_logs = false;
  EXPECT_TRUE(stands_after([](FoundFile& found, Analysis&) { found.log_exists = false; }, no_logs));
}

TEST(Plan, FilesSharingALogTheLastByPathOwnsIt) {
  const FoundFile first = found_file("/d/1_adc.txt");
  const FoundFile second = found_file("/d/2_adc.txt");
  const FoundFile elsewhere = found_file("/e/3_adc.txt");
  const Plan plan = plan_campaign({first, second, elsewhere}, {}, settings());
  ASSERT_EQ(plan.results.size(), 3u);
  EXPECT_FALSE(plan.results[0].owns_log);
  EXPECT_TRUE(plan.results[1].owns_log);
  EXPECT_TRUE(plan.results[2].owns_log);
  EXPECT_EQ(plan.results[0].shares_log_with, "/d/2_adc.txt");
  EXPECT_EQ(plan.results[1].shares_log_with, "/d/1_adc.txt");
  EXPECT_EQ(plan.results[2].shares_log_with, "");
  EXPECT_EQ(plan.to_analyse, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(plan.bytes_to_read, 3000u);
}

TEST(Plan, ALogLastWrittenByAnotherFileIsWrittenAgainByItsOwner) {
  // 1 and 2 share a log. 3 came, took the log, and was deleted: 2 owns it
  // again, but the log still holds 3's table.
  const FoundFile first = found_file("/d/1_adc.txt");
  const FoundFile second = found_file("/d/2_adc.txt");
  const FoundFile third = found_file("/d/3_adc.txt");
  Analysis stored_first = stored_for(first, 1);
  stored_first.log_written = false;
  std::unordered_map<std::string, Analysis> store{{first.file.path, stored_first},
                                                  {second.file.path, stored_for(second, 2)},
                                                  {third.file.path, stored_for(third, 3)}};
  Plan plan = plan_campaign({first, second}, store, settings());
  EXPECT_EQ(plan.to_analyse, (std::vector<std::size_t>{1}));
  // Once 2 wrote it again, both stand.
  store[second.file.path] = stored_for(second, 4);
  plan = plan_campaign({first, second}, store, settings());
  EXPECT_TRUE(plan.to_analyse.empty());
  EXPECT_EQ(plan.reused, 2u);
}

}  // namespace
