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
#include "campaign/report/output_names.h"
#include "test_files.h"

namespace {

using namespace qavrel::campaign;

const char* const version = "9.9.9";

DataFile found_file(const std::string& path, const std::string& config = "20mV_calib-odd") {
  DataFile found;
  found.path = path;
  found.chip = "7";
  found.config = config;
  found.state = {1000, 5000, 5001};
  found.log = {2416, 7000, 7001};
  return found;
}

// The analysis the last run stored for file, which wrote its log.
Analysis stored_for(const DataFile& found, std::int64_t id) {
  Analysis analysis;
  analysis.id = id;
  analysis.path = found.path;
  analysis.chip = found.chip;
  analysis.config = found.config;
  analysis.size = found.state.size;
  analysis.mtime_ns = found.state.mtime_ns;
  analysis.ctime_ns = found.state.ctime_ns;
  analysis.tool_version = version;
  analysis.log_written = true;
  analysis.log = found.log;
  analysis.ok = true;
  return analysis;
}

// Plans as a run does, with the store's latest analysis of each file and
// the writers of their logs.
Plan plan_of(const std::vector<DataFile>& found, const std::vector<Analysis>& stored,
             const PlanSettings& settings) {
  LogWriters writers;
  std::vector<Analysis> latest(found.size());
  for (const Analysis& analysis : stored) {
    if (analysis.log_written) {
      std::int64_t& writer = writers[hash_of(analysis.log_path())];
      writer = std::max(writer, analysis.id);
    }
    for (std::size_t i = 0; i < found.size(); ++i)
      if (found[i].path == analysis.path && analysis.id > latest[i].id) latest[i] = analysis;
  }
  return plan_campaign(found, std::move(latest), writers, settings);
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
  DataFile found = found_file("/d/a_adc.txt");
  Analysis stored = stored_for(found, 1);
  change(found, stored);
  const Plan plan = plan_of({found}, {stored}, plan_settings);
  EXPECT_EQ(plan.to_analyse.size() + plan.reused, 1u);
  return plan.reused == 1;
}

TEST(Plan, AStoredAnalysisStandsOnlyForTheSameFileToolAndNaming) {
  EXPECT_TRUE(stands_after([](DataFile&, Analysis&) {}));
  // Rewritten in place with the same size: only the time tells.
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { ++found.state.mtime_ns; }));
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { ++found.state.size; }));
  // Another file of the same size and time put in its place (a swap, a
  // copy that kept its times): only the change time tells.
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { ++found.state.ctime_ns; }));
  EXPECT_FALSE(stands_after([](DataFile&, Analysis& stored) { stored.tool_version = "1.0"; }));
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { found.chip = "8"; }));
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { found.config = "odd"; }));
  // A failure of the data itself stands as the data does; one of opening
  // the file or writing its log is tried again.
  const auto failed = [](Failure failure) {
    return [failure](DataFile&, Analysis& stored) {
      stored.ok = false;
      stored.failure = failure;
      stored.log_written = false;
    };
  };
  EXPECT_TRUE(stands_after(failed(Failure::read)));
  EXPECT_TRUE(stands_after(failed(Failure::parity)));
  EXPECT_FALSE(stands_after(failed(Failure::open)));
  EXPECT_FALSE(stands_after(failed(Failure::log)));
  EXPECT_FALSE(stands_after(failed(Failure::none)));
  PlanSettings forced = settings();
  forced.force = true;
  EXPECT_FALSE(stands_after([](DataFile&, Analysis&) {}, forced));
}

TEST(Plan, TheOwnerOfALogIsReadAgainUnlessTheLogHoldsItsTable) {
  // A deleted log, one that another program rewrote or truncated, or one
  // that this file never wrote, is written again.
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { found.log = {}; }));
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { ++found.log.mtime_ns; }));
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { ++found.log.ctime_ns; }));
  EXPECT_FALSE(stands_after([](DataFile& found, Analysis&) { found.log.size = 0; }));
  EXPECT_FALSE(stands_after([](DataFile&, Analysis& stored) { stored.log_written = false; }));
  // Without logs, only the data counts.
  PlanSettings no_logs = settings();
  no_logs.write_logs = false;
  EXPECT_TRUE(stands_after([](DataFile& found, Analysis&) { found.log = {}; }, no_logs));
}

TEST(Plan, FilesSharingALogTheLastByPathOwnsIt) {
  const DataFile first = found_file("/d/1_adc.txt");
  const DataFile second = found_file("/d/2_adc.txt");
  const DataFile elsewhere = found_file("/e/3_adc.txt");
  const Plan plan = plan_of({first, second, elsewhere}, {}, settings());
  ASSERT_EQ(plan.files.size(), 3u);
  EXPECT_FALSE(plan.files[0].owns_log);
  EXPECT_TRUE(plan.files[1].owns_log);
  EXPECT_TRUE(plan.files[2].owns_log);
  EXPECT_EQ(plan.files[0].shares_log_with, "/d/2_adc.txt");
  EXPECT_EQ(plan.files[1].shares_log_with, "/d/1_adc.txt");
  EXPECT_EQ(plan.files[2].shares_log_with, "");
  EXPECT_EQ(plan.to_analyse, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(plan.bytes_to_read, 3000u);
}

TEST(Plan, ManyFilesSharingALogNameAFewOfTheOthers) {
  std::vector<DataFile> found;
  for (int i = 10; i < 23; ++i) found.push_back(found_file("/d/" + std::to_string(i) + "_adc.txt"));
  const Plan plan = plan_of(found, {}, settings());
  const std::string& shares = plan.files[0].shares_log_with;
  EXPECT_EQ(shares.substr(0, 28), "/d/11_adc.txt, /d/12_adc.txt");
  EXPECT_EQ(shares.substr(shares.size() - 12), ", and 2 more");
}

TEST(Plan, ALogLastWrittenByAnotherFileIsWrittenAgainByItsOwner) {
  // 1 and 2 share a log. 3 came, took the log, and was deleted: 2 owns it
  // again, but the log still holds 3's table.
  const DataFile first = found_file("/d/1_adc.txt");
  const DataFile second = found_file("/d/2_adc.txt");
  const DataFile third = found_file("/d/3_adc.txt");
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
// A file in a folder that could not be searched can't be read either:
// what was stored of it stands, even when every file is to be read again,
// the tool is another, or the stored analysis failed. One that was never
// stored is read like any other.
TEST(Plan, AFileInAFolderNotSearchedStandsAsStored) {
  DataFile found = found_file("/d/closed/a_adc.txt");
  found.unsearched = true;
  Analysis stored = stored_for(found, 1);
  PlanSettings forced = settings();
  forced.force = true;
  PlanSettings newer = settings();
  newer.tool_version = "10.0.0";
  Analysis failed = stored;
  failed.ok = false;
  for (const auto& [analysis, plan_settings] :
       {std::pair{stored, forced}, {stored, newer}, {failed, settings()}}) {
    const Plan plan = plan_of({found}, {analysis}, plan_settings);
    EXPECT_EQ(plan.reused, 1u);
    EXPECT_TRUE(plan.to_analyse.empty());
  }
  EXPECT_EQ(plan_of({found}, {}, settings()).to_analyse, std::vector<std::size_t>{0});
  found.unsearched = false;
  EXPECT_EQ(plan_of({found}, {stored}, forced).to_analyse, std::vector<std::size_t>{0});
}

TEST(Plan, TheLatestFileOfAChipAndConfigurationIsCurrent) {
  std::vector<DataFile> found = {
      found_file("/c/20261207/101500_vemra7/101500_adc.txt"),
      found_file("/c/20261207/101500_vemra7/101600_adc.txt", "20mV_calib-even"),
      found_file("/c/20261208/093000_vemra7/093000_adc.txt"),
      found_file("/c/20261208/093000_vemra8/093000_adc.txt"),
  };
  found[3].chip = "8";
  const Plan plan = plan_of(found, {}, settings());
  EXPECT_EQ(plan.files[0].superseded_by, 2u);
  EXPECT_EQ(plan.files[1].superseded_by, CampaignFile::current);
  EXPECT_EQ(plan.files[2].superseded_by, CampaignFile::current);
  EXPECT_EQ(plan.files[3].superseded_by, CampaignFile::current);
  // Other folders, so each writes its own log.
  EXPECT_TRUE(plan.files[0].owns_log);
  std::set<std::string> names;
  for (const CampaignFile& file : plan.files) names.insert(plot_name(file.analysis));
  EXPECT_EQ(names.size(), found.size());
  EXPECT_EQ(plot_name(plan.files[0].analysis).substr(0, 17), "7_20mV_calib-odd-");
}

// The measurement time decides, whatever the paths: a retest on a second
// bench whose path sorts first, and one of two files measured at once,
// the later by path. A file left for the next run hands its place back.
TEST(Plan, TheFileMeasuredLastIsCurrentWhereverItLies) {
  std::vector<DataFile> found = {
      found_file("/benchA/20261208/090000_vemra7/a_adc.txt"),
      found_file("/benchA/20261208/090000_vemra7/b_adc.txt"),
      found_file("/benchB/20261207/100000_vemra7/c_adc.txt"),
      found_file("/benchB/20261207/100000_vemra7/d_adc.txt"),
  };
  const std::int64_t day = 86400;
  const std::int64_t hour = 3600;
  const std::int64_t second = 1000000000;
  found[0].measured = {"2026-12-08T09:00:00", MeasuredFrom::name, (day + 9 * hour) * second};
  found[1].measured = found[0].measured;
  found[2].measured = {"2026-12-07T10:00:00", MeasuredFrom::name, 10 * hour * second};
  found[3].measured = {"2026-12-08T08:59:59", MeasuredFrom::mtime, (day + 9 * hour - 1) * second};
  Plan plan = plan_of(found, {}, settings());
  EXPECT_EQ(plan.files[0].superseded_by, 1u);
  EXPECT_EQ(plan.files[1].superseded_by, CampaignFile::current);
  EXPECT_EQ(plan.files[2].superseded_by, 1u);
  EXPECT_EQ(plan.files[3].superseded_by, 1u);
  EXPECT_EQ(plan.files[2].measured.at, "2026-12-07T10:00:00");
  // The two latest are still being written: d, the latest left, is current.
  const std::vector<CampaignFile> files =
      with_analyses(std::move(plan), {}, {true, true, false, false});
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].analysis.path, found[2].path);
  EXPECT_EQ(files[0].superseded_by, 1u);
  EXPECT_EQ(files[1].superseded_by, CampaignFile::current);
}

// Files are grouped by the log's path itself: a chip and configuration
// that spell one name (W1_03 with cal-odd, W1 with 03_cal-odd) share it,
// one owns it, and a second plan over what the first stored reads nothing.
TEST(Plan, FilesWhoseNamesSpellOneLogShareItAndSettle) {
  DataFile first = found_file("/d/a_adc.txt", "cal-odd");
  first.chip = "W1_03";
  DataFile second = found_file("/d/b_adc.txt", "03_cal-odd");
  second.chip = "W1";
  const DataFile elsewhere = found_file("/e/c_adc.txt", "03_cal-odd");
  Plan plan = plan_of({first, second, elsewhere}, {}, settings());
  EXPECT_FALSE(plan.files[0].owns_log);
  EXPECT_TRUE(plan.files[1].owns_log);
  EXPECT_TRUE(plan.files[2].owns_log);
  EXPECT_EQ(plan.files[0].shares_log_with, "/d/b_adc.txt");
  EXPECT_EQ(plan.files[1].shares_log_with, "/d/a_adc.txt");
  // What the first run stored: only the owner wrote the log.
  Analysis stored_first = stored_for(first, 1);
  stored_first.log_written = false;
  stored_first.log = {};
  plan = plan_of({first, second, elsewhere},
                 {stored_first, stored_for(second, 2), stored_for(elsewhere, 3)}, settings());
  EXPECT_TRUE(plan.to_analyse.empty());
}

// Whether a file's log holds its table is what the plan says of the log,
// not what an older analysis once did: a file whose log another now owns,
// or a run that writes no logs, says no, as a run from nothing would.
TEST(Plan, ALogIsWrittenOnlyByItsOwnerInARunThatWritesLogs) {
  const DataFile first = found_file("/d/1_adc.txt");
  const DataFile second = found_file("/d/2_adc.txt");
  // 1 owned the log and wrote it; then 2 came.
  Plan plan = plan_of({first, second}, {stored_for(first, 1)}, settings());
  EXPECT_EQ(plan.reused, 1u);
  std::vector<Analysis> made{stored_for(second, 2)};
  std::vector<CampaignFile> files = with_analyses(std::move(plan), made);
  EXPECT_FALSE(files[0].log_written());
  EXPECT_TRUE(files[1].log_written());
  PlanSettings no_logs = settings();
  no_logs.write_logs = false;
  plan = plan_of({second}, {stored_for(second, 2)}, no_logs);
  EXPECT_EQ(plan.reused, 1u);
  EXPECT_FALSE(plan.files[0].log_written());
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
