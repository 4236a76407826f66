// The run step: each planned file analysed once and stored with the record
// of its map, and a stop that lets the files in flight finish and starts
// no other. A FIFO holds the first file open until the test has set the
// stop, so that what "in flight" means does not depend on scheduling.
#include "campaign/run/run_analyses.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "campaign/common/hashing.h"
#include "campaign/report/output_names.h"
#include "sample_gen.h"
#include "test_files.h"

namespace {

using namespace qavrel::campaign;

// A campaign of files named by the robot's rule in dir/data, planned from
// nothing; the first one a FIFO when asked for.
Plan plan_of(const ScratchDir& dir, int files, bool fifo_first) {
  std::filesystem::create_directories(dir.file("data"));
  std::filesystem::create_directories(dir.file("out/plots"));
  std::vector<DataFile> found;
  for (int i = 0; i < files; ++i) {
    const std::string name =
        "data/" + std::to_string(i) + "_vemra" + std::to_string(i) + "_b_l_odd_adc.txt";
    DataFile file;
    file.path = dir.file(name);
    file.chip = std::to_string(i);
    file.config = "odd";
    if (i == 0 && fifo_first)
      EXPECT_EQ(::mkfifo(file.path.c_str(), 0600), 0);
    else
      dir.write(name, samples_text(SampleRecipe::realistic()));
    file.state = state_of(file.path);
    found.push_back(file);
  }
  PlanSettings settings;
  settings.tool_version = tool_version;
  return plan_campaign(found, std::vector<Analysis>(found.size()), {}, settings);
}

RunSettings settings_for(const ScratchDir& dir, unsigned workers) {
  RunSettings settings;
  settings.workers = workers;
  settings.output_folder = dir.file("out");
  return settings;
}

TEST(RunAnalyses, EachFileIsAnalysedAndStoredWithItsMap) {
  const ScratchDir dir;
  const Plan plan = plan_of(dir, 6, false);
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("out/campaign.sqlite")).ok());
  std::atomic<bool> stop{false};
  const RunOutcome run = run_analyses(plan, settings_for(dir, 3), store, stop);
  EXPECT_TRUE(run.store_failure.ok());
  EXPECT_EQ(run.analysed, 6u);
  EXPECT_TRUE(run.failed.empty());
  OutputRecords records;
  ASSERT_TRUE(store.load_outputs(records).ok());
  ASSERT_EQ(records.size(), 6u);
  for (const Analysis& made : run.made) {
    EXPECT_TRUE(made.ok);
    EXPECT_NE(made.id, 0);
    const std::string map = "plots/" + plot_name(made);
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/" + map))) << map;
    EXPECT_EQ(records.at(hash_of(map)).made_from, map_made_from(made, GradeLimits()));
    EXPECT_EQ(records.at(hash_of(map)).state, state_of(dir.file("out/" + map)));
  }
}

TEST(RunAnalyses, AStopLetsTheFileInFlightFinishAndStartsNoOther) {
  const ScratchDir dir;
  const Plan plan = plan_of(dir, 5, true);
  ResultsStore store;
  ASSERT_TRUE(store.open(dir.file("out/campaign.sqlite")).ok());
  ASSERT_TRUE(store.record_output("", {1, {}}).ok());
  ASSERT_TRUE(store.commit().ok());
  std::atomic<bool> stop{false};
  // The FIFO opens for writing once the worker has opened it to read: the
  // file is in flight. The stop comes then, and the data after it.
  std::thread writer([&] {
    const int fd = ::open(plan.files[0].analysis.path.c_str(), O_WRONLY);
    stop = true;
    const std::string text = samples_text(SampleRecipe::realistic());
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  });
  const RunOutcome run = run_analyses(plan, settings_for(dir, 1), store, stop);
  writer.join();
  EXPECT_EQ(run.analysed, 1u);
  EXPECT_TRUE(run.made[0].ok);
  for (std::size_t k = 1; k < run.made.size(); ++k) EXPECT_TRUE(run.made[k].path.empty()) << k;
  std::vector<Analysis> stored;
  LogWriters writers;
  ASSERT_TRUE(store.load_latest([&](Analysis& a) { stored.push_back(a); }, writers).ok());
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].path, plan.files[0].analysis.path);
  // The record of the folder as a whole was forgotten before any map was
  // written; the map made is recorded.
  OutputRecord folder;
  bool known = true;
  ASSERT_TRUE(store.load_output("", folder, known).ok());
  EXPECT_FALSE(known);
  OutputRecords records;
  ASSERT_TRUE(store.load_outputs(records).ok());
  EXPECT_EQ(records.size(), 1u);
}

}  // namespace
