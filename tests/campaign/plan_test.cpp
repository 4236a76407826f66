// The rerun rules: which stored analyses still stand for the files found,
// and who owns each log. A rule that is loosened here silently reuses an
// analysis of data that changed, or leaves a log that holds another
// file's table.
#include "campaign/model/plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>

#include "campaign/common/hashing.h"
#include "campaign/find/unsearched.h"
#include "campaign/report/output_names.h"
#include "test_files.h"

namespace {

using namespace qavrel::campaign;

const char* const version = "9.9.9";

FoundFile found_file(const std::string& path, const std::string& config = "20mV_calib-odd") {
  FoundFile found;
  found.file = {path, "7", config};
  found.state = {1000, 5000};
  found.log = {2416, 7000};
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
  analysis.log_written = true;
  analysis.log = found.log;
  analysis.ok = true;
  return analysis;
}

// Plans as a run does, with the store's latest analyses in path order and
// the writers of their logs.
Plan plan_of(const std::vector<FoundFile>& found, std::vector<Analysis> stored,
             const PlanSettings& settings) {
  std::sort(stored.begin(), stored.end(),
            [](const Analysis& a, const Analysis& b) { return a.path < b.path; });
  LogWriters writers;
  std::vector<FileResult> results(found.size());
  StoredOfFound keep(found, results);
  for (Analysis& analysis : stored) {
    if (analysis.log_written) {
      std::int64_t& writer = writers[hash_of(analysis.log_path())];
      writer = std::max(writer, analysis.id);
    }
    keep(analysis);
  }
  return plan_campaign(found, std::move(results), writers, settings);
}

PlanSettings settings() {
  PlanSettings settings;
  settings.tool_version = version;
  return settings;
}

// Plans one file whose stored analysis is changed by change, and tells
// whether that analysis still stands.
template <typename Change>
bool stands_after(Change change, const PlanSettings& plan_settings = settings()) {
  FoundFile found = found_file("/d/a_adc.txt");
  Analysis stored = stored_for(found, 1);
  change(found, stored);
  const Plan plan = plan_of({found}, {stored}, plan_settings);
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
  // A deleted log, one that another program rewrote or truncated, or one
  // that this file never wrote, is written again.
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { found.log = {}; }));
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { ++found.log.mtime_ns; }));
  EXPECT_FALSE(stands_after([](FoundFile& found, Analysis&) { found.log.size = 0; }));
  EXPECT_FALSE(stands_after([](FoundFile&, Analysis& stored) { stored.log_written = false; }));
  // Without logs, only the data counts.
  PlanSettings no_logs = settings();
  no_logs.write_logs = false;
  EXPECT_TRUE(stands_after([](FoundFile& found, Analysis&) { found.log = {}; }, no_logs));
}

TEST(Plan, FilesSharingALogTheLastByPathOwnsIt) {
  const FoundFile first = found_file("/d/1_adc.txt");
  const FoundFile second = found_file("/d/2_adc.txt");
  const FoundFile elsewhere = found_file("/e/3_adc.txt");
  const Plan plan = plan_of({first, second, elsewhere}, {}, settings());
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

TEST(Plan, ManyFilesSharingALogNameAFewOfTheOthers) {
  std::vector<FoundFile> found;
  for (int i = 10; i < 23; ++i) found.push_back(found_file("/d/" + std::to_string(i) + "_adc.txt"));
  const Plan plan = plan_of(found, {}, settings());
  const std::string& shares = plan.results[0].shares_log_with;
  EXPECT_EQ(shares.substr(0, 28), "/d/11_adc.txt, /d/12_adc.txt");
  EXPECT_EQ(shares.substr(shares.size() - 12), ", and 2 more");
}

TEST(Plan, ALogLastWrittenByAnotherFileIsWrittenAgainByItsOwner) {
  // 1 and 2 share a log. 3 came, took the log, and was deleted: 2 owns it
  // again, but the log still holds 3's table.
  const FoundFile first = found_file("/d/1_adc.txt");
  const FoundFile second = found_file("/d/2_adc.txt");
  const FoundFile third = found_file("/d/3_adc.txt");
  Analysis stored_first = stored_for(first, 1);
  stored_first.log_written = false;
  std::vector<Analysis> store{stored_first, stored_for(second, 2), stored_for(third, 3)};
  Plan plan = plan_of({first, second}, store, settings());
  EXPECT_EQ(plan.to_analyse, (std::vector<std::size_t>{1}));
  // Once 2 wrote it again, both stand.
  store[1] = stored_for(second, 4);
  plan = plan_of({first, second}, store, settings());
  EXPECT_TRUE(plan.to_analyse.empty());
  EXPECT_EQ(plan.reused, 2u);
}

// A retest: for each chip and configuration the latest file by path is
// the current measurement, whatever folder it is in, and the earlier ones
// are superseded by it. Every file has its own map.
// A folder the search could not list may still hold its files: those the
// store holds there stand as stored, with their logs, and nothing beside
// the folder is taken from the store.
TEST(Plan, FilesInAFolderThatCouldNotBeListedStandAsStored) {
  const ScratchDir dir;
  std::string error;
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("campaign.sqlite"), error)) << error;
  const FoundFile closed = found_file("/d/closed/1_vemra7_b_l_20mV_calib-odd_adc.txt");
  for (const char* path : {closed.file.path.c_str(), "/d/closed2/1_vemra7_b_l_odd_adc.txt",
                           "/d/gone/1_vemra7_b_l_odd_adc.txt"}) {
    Analysis analysis = stored_for(found_file(path), 0);
    ASSERT_TRUE(store.add(analysis, RatioTable(), error)) << error;
  }
  ASSERT_TRUE(store.commit(error)) << error;

  FoundFiles found;
  found.unsearched = {"/d/closed"};
  ASSERT_TRUE(take_unsearched(store, found, error)) << error;
  std::vector<FoundFile> looked = look_at(found);
  ASSERT_EQ(looked.size(), 1u);
  EXPECT_EQ(looked[0].file.path, closed.file.path);
  EXPECT_EQ(looked[0].state.mtime_ns, closed.state.mtime_ns);
  EXPECT_EQ(looked[0].log.mtime_ns, closed.log.mtime_ns);
  std::vector<FileResult> results(looked.size());
  LogWriters writers;
  ASSERT_TRUE(store.load_latest(StoredOfFound(looked, results), writers, error)) << error;
  // Nor does --force read it again: it can't be read.
  PlanSettings force = settings();
  force.force = true;
  const Plan plan = plan_campaign(looked, std::move(results), writers, force);
  EXPECT_EQ(plan.reused, 1u);
  EXPECT_TRUE(plan.to_analyse.empty());
}

TEST(Plan, TheLatestFileOfAChipAndConfigurationIsCurrent) {
  std::vector<FoundFile> found = {
      found_file("/c/20261207/101500_vemra7/101500_adc.txt"),
      found_file("/c/20261207/101500_vemra7/101600_adc.txt", "20mV_calib-even"),
      found_file("/c/20261208/093000_vemra7/093000_adc.txt"),
      found_file("/c/20261208/093000_vemra8/093000_adc.txt"),
  };
  found[3].file.chip = "8";
  const Plan plan = plan_of(found, {}, settings());
  EXPECT_EQ(plan.results[0].superseded_by, 2u);
  EXPECT_EQ(plan.results[1].superseded_by, FileResult::current);
  EXPECT_EQ(plan.results[2].superseded_by, FileResult::current);
  EXPECT_EQ(plan.results[3].superseded_by, FileResult::current);
  // Other folders, so each writes its own log.
  EXPECT_TRUE(plan.results[0].owns_log);
  std::set<std::string> names;
  for (const FileResult& result : plan.results) names.insert(plot_name(result.analysis));
  EXPECT_EQ(names.size(), found.size());
  EXPECT_EQ(plot_name(plan.results[0].analysis).substr(0, 17), "7_20mV_calib-odd-");
}

TEST(Plan, PlotNamesAreSafeAndDifferForEveryPath) {
  Analysis analysis;
  analysis.chip = "../x y";
  analysis.config = "odd/\xff";
  analysis.path = "/a";
  const std::string name = plot_name(analysis);
  EXPECT_EQ(name.substr(0, 13), "_._x_y_odd__-");  // never a hidden file
  EXPECT_EQ(name.find('/'), std::string::npos);
  analysis.path = "/b";
  EXPECT_NE(plot_name(analysis), name);
  analysis.chip = std::string(300, 'c');
  EXPECT_LT(plot_name(analysis).size(), std::size_t{NAME_MAX});
}

}  // namespace
