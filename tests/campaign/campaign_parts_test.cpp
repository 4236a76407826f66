// The campaign's rules that a wrong character or bound would break: the
// naming rule, the manifest, the grade limits and the CSV quoting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <limits>

#include "campaign/colour_map.h"
#include "campaign/csv_tables.h"
#include "campaign/data_files.h"
#include "campaign/grades.h"
#include "campaign/html_report.h"
#include "campaign/results_store.h"
#include "campaign/worker_pool.h"
#include "core/trains.h"
#include "sample_gen.h"
#include "test_files.h"

namespace {

using qavrel::npeaks;
using qavrel::observed_channels;
using qavrel::Parity;
using qavrel::train_length;

std::string named(const std::string& file_name) {
  DataFile file;
  std::string reason;
  return name_by_rule(file_name, file, reason) ? file.chip + "|" + file.config : "skip: " + reason;
}

TEST(CampaignNaming, RobotNamesGiveChipAndConfiguration) {
  EXPECT_EQ(named("123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt"),
            "100000|20mV_calib-odd");
  EXPECT_EQ(named("123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt.gz"),
            "100000|20mV_calib-odd");
  EXPECT_EQ(named("x_vemra7_b_l_a_b_c_adc.txt.zst"), "7|a_b_c");
  EXPECT_EQ(named("vemra1_vemra2_b_l_even_adc.txt"), "1|l_even");
  EXPECT_EQ(named("123510_vemra100000_zorik00_link00_20mV_calib-odd.txt"),
            "skip: the name does not end in \"_adc.txt\"");
  EXPECT_EQ(named("123510_chip100000_zorik00_link00_odd_adc.txt"),
            "skip: no field of the name starts with \"vemra\"");
  EXPECT_EQ(named("123510_vemra_zorik00_link00_odd_adc.txt"),
            "skip: no chip identifier follows \"vemra\"");
  EXPECT_EQ(named("123510_vemra1_zorik00_link00_adc.txt"),
            "skip: no board, link and configuration follow the chip");
}

TEST(CampaignNaming, ManifestPathsAreTakenFromItsFolder) {
  const ScratchDir dir;
  dir.write("m.csv",
            "chip,path,config\r\n7,\"a, b_adc.txt\",odd\r\n8,/abs/c.txt,\"x \"\"q\"\"\"\n"
            "9,d.txt,\n");
  FoundFiles found;
  std::string error;
  ASSERT_TRUE(read_manifest(dir.file("m.csv"), found, error)) << error;
  ASSERT_EQ(found.files.size(), 2u);
  EXPECT_EQ(found.files[0].path, "/abs/c.txt");
  EXPECT_EQ(found.files[0].config, "x \"q\"");
  EXPECT_EQ(found.files[1].path, dir.file("a, b_adc.txt"));
  EXPECT_EQ(found.files[1].chip, "7");
  ASSERT_EQ(found.skipped.size(), 1u);
  dir.write("bad.csv", "file,chip,config\n");
  EXPECT_FALSE(read_manifest(dir.file("bad.csv"), found, error));
}

TEST(CampaignGrades, LimitsAreInclusiveAndNotANumberFails) {
  Analysis analysis;
  analysis.ok = true;
  analysis.train_rows = 2 * train_length;
  const GradeLimits limits;
  const auto grade_at = [&](double worst) {
    analysis.worst.abs_mean = worst;
    return grade_of(analysis, limits);
  };
  EXPECT_EQ(grade_at(0.01), Grade::a);
  EXPECT_EQ(grade_at(0.0100001), Grade::b);
  EXPECT_EQ(grade_at(0.02), Grade::b);
  EXPECT_EQ(grade_at(0.05), Grade::c);
  EXPECT_EQ(grade_at(0.0500001), Grade::fail);
  EXPECT_EQ(grade_at(std::nan("")), Grade::fail);
  EXPECT_EQ(grade_at(std::numeric_limits<double>::infinity()), Grade::fail);
  analysis.train_rows = 214;  // the pedestal window of the first train is not complete
  EXPECT_EQ(grade_at(0.0), Grade::no_data);
  analysis.ok = false;
  EXPECT_EQ(grade_at(0.0), Grade::not_analysed);
}

TEST(CampaignGrades, WorstChannelIsTheLargestMeanInSize) {
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (int column = 0; column < observed_channels; ++column) peak[column] = 0.001 * column;
  for (int peak = 0; peak < npeaks; ++peak) ratios.values[peak][3] = peak % 2 == 0 ? -0.03 : -0.02;
  WorstChannel worst = worst_channel(ratios);
  EXPECT_EQ(worst.column, 3);
  EXPECT_NEAR(worst.abs_mean, (8 * 0.03 + 7 * 0.02) / 15, 1e-12);
  // Eight peaks 0.005 below the mean and seven 0.005 above, near enough:
  // the sample deviation (over n - 1) of the peaks, over the root of n.
  const double mean = (8 * 0.03 + 7 * 0.02) / 15;
  const double squares = 8 * (0.03 - mean) * (0.03 - mean) + 7 * (0.02 - mean) * (0.02 - mean);
  EXPECT_DOUBLE_EQ(worst.standard_error, std::sqrt(squares / 14 / 15));
  ratios.values[5][9] = std::nan("");
  worst = worst_channel(ratios);
  EXPECT_EQ(worst.column, 9);
  EXPECT_TRUE(std::isnan(worst.abs_mean));
}

TEST(CampaignGrades, LimitsParse) {
  GradeLimits limits;
  std::string error;
  EXPECT_TRUE(parse_grade_limits("0.005,0.01,0.1", limits, error));
  EXPECT_EQ(limits.c, 0.1);
  for (const char* bad : {"0.01,0.02", "0.02,0.01,0.05", "0,0.01,0.02", "a,b,c", "0.01,0.02,0.05,1",
                          "0.01;0.02;0.05"})
    EXPECT_FALSE(parse_grade_limits(bad, limits, error)) << bad;
}

TEST(CampaignTables, FieldsAreQuotedAndNumbersReadBack) {
  FileResult result;
  result.analysis.path = "a,\"b\"_adc.txt";
  result.analysis.ok = true;
  const std::string summary = summary_csv({result});
  EXPECT_EQ(summary.substr(summary.find('\n') + 1, 18), "\"a,\"\"b\"\"_adc.txt\",");
  EXPECT_EQ(std::stod(full_precision(0.1 + 0.2)), 0.1 + 0.2);
  EXPECT_EQ(full_precision(std::nan("")), "nan");
}

}  // namespace

namespace {

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

}  // namespace

namespace {

std::vector<std::string> paths_of(const FoundFiles& found) {
  std::vector<std::string> paths;
  for (const DataFile& file : found.files) paths.push_back(file.path);
  return paths;
}

TEST(CampaignFinding, DirectoriesGiveSampleFilesOnceAndInOrder) {
  const ScratchDir dir;
  std::filesystem::create_directories(dir.file("d/a/b"));
  const std::string name = "1_vemra5_b_l_odd_adc.txt";
  dir.write("d/a/b/" + name, "");
  dir.write("d/a/" + name + ".gz", "");
  dir.write("d/" + name + ".zst", "");
  dir.write("d/a/notes.txt", "");
  dir.write("d/a/." + name + ".12-0.tmp", "");
  dir.write("d/vemra_adc.txt", "");
  const FoundFiles found =
      find_data_files({dir.file("d"), dir.file("d/a/b/" + name), dir.file("missing")}, nullptr);
  EXPECT_EQ(paths_of(found),
            (std::vector<std::string>{dir.file("d/" + name + ".zst"),
                                      dir.file("d/a/" + name + ".gz"), dir.file("d/a/b/" + name)}));
  ASSERT_EQ(found.skipped.size(), 1u);
  EXPECT_EQ(found.skipped[0].path, dir.file("d/vemra_adc.txt"));
  ASSERT_EQ(found.failures.size(), 1u);

  NamePattern pattern;
  std::string error;
  ASSERT_TRUE(pattern.compile("^(?<chip>\\d+)-(?<config>odd)\\.dat$", error)) << error;
  dir.write("d/a/42-odd.dat", "");
  const FoundFiles named = find_data_files({dir.file("d")}, &pattern);
  ASSERT_EQ(named.files.size(), 1u);
  EXPECT_EQ(named.files[0].chip + "|" + named.files[0].config, "42|odd");
}

Analysis graded_analysis(const std::string& chip, double worst) {
  Analysis analysis;
  analysis.path = chip + "<&>_adc.txt";
  analysis.chip = chip;
  analysis.config = "odd";
  analysis.parity = Parity::odd;
  analysis.has_ratios = true;
  analysis.ok = true;
  analysis.train_rows = 3 * train_length;
  analysis.worst.abs_mean = worst;
  return analysis;
}

TEST(CampaignReport, ChipsWorstFirstFlagsAndOneMapPerFile) {
  std::vector<FileResult> results(4);
  const GradeLimits limits;
  results[0].analysis = graded_analysis("1", 0.004);
  results[1].analysis = graded_analysis("2", 0.09);
  results[2].analysis = graded_analysis("3", 0.004);
  results[2].analysis.ended_on_token = true;
  results[2].analysis.token_offset = 77;
  results[3].analysis = graded_analysis("4", 0.0);
  results[3].analysis.ok = false;
  results[3].analysis.error = "Cannot open file named x.";
  for (FileResult& result : results) result.grade = grade_of(result.analysis, limits);
  ReportContext context;
  std::string page;
  html_report(
      results, context,
      [](std::size_t i) { return "<svg class=\"map\" id=\"" + std::to_string(i) + "\"/>"; },
      [&page](const std::string& text) { page += text; });
  // Not analysed, then fail, then the two A chips in name order.
  const auto at = [&page](const std::string& text) { return page.find(text); };
  EXPECT_LT(at("id=\"3\""), at("id=\"1\""));
  EXPECT_LT(at("id=\"1\""), at("id=\"0\""));
  EXPECT_LT(at("id=\"0\""), at("id=\"2\""));
  EXPECT_NE(at("damaged: the input ended at byte 77"), std::string::npos);
  EXPECT_NE(at("Cannot open file named x."), std::string::npos);
  EXPECT_EQ(at("<&>"), std::string::npos);
  EXPECT_NE(at("1&lt;&amp;&gt;_adc.txt"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);

  const std::string summary = summary_csv(results);
  EXPECT_NE(summary.find(",failed,not analysed,,,,"), std::string::npos) << summary;
}

TEST(CampaignReport, ColourMapHasEveryCellAndClipsBeyondTheScale) {
  Analysis analysis = graded_analysis("1", 0.0);
  RatioTable ratios;
  for (auto& peak : ratios.values)
    for (double& ratio : peak) ratio = 0.0;
  ratios.values[0][0] = 1.0;    // far beyond the scale: the red end
  ratios.values[0][1] = -0.05;  // the scale itself: the blue end
  ratios.values[5][2] = std::nan("");
  const std::string svg = colour_map_svg(analysis, ratios, 0.05);
  std::size_t cells = 0;
  for (std::size_t at = svg.find("<title>peak"); at != std::string::npos;
       at = svg.find("<title>peak", at + 1))
    ++cells;
  EXPECT_EQ(cells, static_cast<std::size_t>(npeaks * observed_channels));
  EXPECT_NE(svg.find("fill=\"#b2182b\"><title>peak 0, ch 0: 1.000e+00"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#2166ac\"><title>peak 0, ch 2: -5.000e-02"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#b0b0b0\"><title>peak 5, ch 4: nan"), std::string::npos);
}

}  // namespace

namespace {

TEST(WorkerPool, RunsEveryJobOnceAndStartsNothingAfterAStop) {
  std::atomic<bool> stop{false};
  std::vector<int> runs(100, 0);
  std::vector<std::size_t> handed;
  int ticks = 0;
  const PoolRun run = run_pool(
      runs.size(), 3, stop, [&runs](std::size_t job) { ++runs[job]; },
      [&handed](std::size_t job) { handed.push_back(job); }, [&ticks] { ++ticks; });
  EXPECT_EQ(run.workers, 3u);
  EXPECT_EQ(run.finished, runs.size());
  EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 100);
  std::sort(handed.begin(), handed.end());
  for (std::size_t i = 0; i < handed.size(); ++i) EXPECT_EQ(handed[i], i);
  EXPECT_GE(ticks, 1);

  // A job that stops the run: those in flight finish, no new one starts.
  std::atomic<int> started{0};
  const PoolRun stopped = run_pool(
      100, 2, stop,
      [&](std::size_t job) {
        ++started;
        if (job == 3) stop = true;
      },
      [](std::size_t) {}, [] {});
  EXPECT_EQ(stopped.finished, static_cast<std::size_t>(started));
  EXPECT_LE(started, 5);
}

}  // namespace
