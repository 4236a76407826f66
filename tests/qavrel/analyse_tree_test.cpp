#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "qavrel/qavrel.h"
#include "reference_reader.h"
#include "sample_gen.h"
#include "test_files.h"

namespace {

using qavrel::train_length;

// Runs the analysis on text with the result arrays cleared first.
bool analyse_text(const std::string& text) {
  std::fill(std::begin(pedestals), std::end(pedestals), 0.0);
  for (auto& peak : peaks) std::fill(std::begin(peak), std::end(peak), 0.0);
  const ScratchDir dir;
  return analyse_tree(dir.write("samples.txt", text).c_str());
}

bool all_results_nan() {
  const auto is_nan = [](double value) { return std::isnan(value); };
  bool all_nan = std::all_of(std::begin(pedestals), std::end(pedestals), is_nan);
  for (const auto& peak : peaks)
    all_nan = all_nan && std::all_of(std::begin(peak), std::end(peak), is_nan);
  return all_nan;
}

Row filled(std::int32_t value) {
  Row row;
  row.fill(value);
  return row;
}

// A row with one value on the odd channels and another on the even ones.
Row by_parity(std::int32_t odd, std::int32_t even) {
  Row row;
  for (int channel = 0; channel < nchan; ++channel) row[channel] = channel % 2 ? odd : even;
  return row;
}

// A row of level with its first count channels set to value.
Row with_first(int count, std::int32_t value, std::int32_t level = 60) {
  Row row = filled(level);
  std::fill(row.begin(), row.begin() + count, value);
  return row;
}

std::string text_of(const std::vector<Row>& rows) {
  std::string text;
  for (const Row& row : rows) {
    for (std::int32_t value : row) text += std::to_string(value) + ' ';
    text += '\n';
  }
  return text;
}

constexpr std::size_t train_rows = train_length;
const Row baseline = filled(60);  // NOLINT(cert-err58-cpp): a test failing to start is fine
const std::vector<Row> marker = {filled(0), filled(0)};  // NOLINT(cert-err58-cpp)

// A train whose peak rows pulse the odd channels down to 10 over a level of 60.
std::vector<Row> plain_train() {
  std::vector<Row> rows(train_rows, baseline);
  for (std::size_t peak = 0; peak < npeaks; ++peak) rows[14 * peak] = by_parity(10, 60);
  return rows;
}

std::vector<Row> joined(std::initializer_list<std::vector<Row>> parts) {
  std::vector<Row> rows;
  for (const auto& part : parts) rows.insert(rows.end(), part.begin(), part.end());
  return rows;
}

void expect_plain_train_results() {
  for (int channel = 0; channel < nchan; ++channel) {
    EXPECT_EQ(pedestals[channel], 60.0) << channel;
    for (int peak = 0; peak < npeaks; ++peak)
      EXPECT_EQ(peaks[peak][channel], channel % 2 ? -50.0 : 0.0);
  }
}

TEST(AnalyseTree, GeneratedTrainsGiveTheInjectedPedestalsAndPeaks) {
  for (const bool even_pulsed : {false, true}) {
    SampleRecipe recipe = SampleRecipe::realistic();
    recipe.pulse = 400;  // keeps every cross-talk response a whole number
    recipe.even_pulsed = even_pulsed;
    ASSERT_TRUE(analyse_text(samples_text(recipe)));
    for (int channel = 0; channel < nchan; ++channel) {
      const bool pulsed = (channel % 2 == 0) == even_pulsed;
      const double response = pulsed ? -400.0 : -400.0 * default_cross_talk(channel);
      EXPECT_EQ(pedestals[channel], recipe.pedestal[channel]);
      for (int peak = 0; peak < npeaks; ++peak) EXPECT_DOUBLE_EQ(peaks[peak][channel], response);
    }
  }
}

TEST(AnalyseTree, UnfinishedTrainIsAveragedOverTheRowsItReached) {
  // Every train holds the same rows, so each average is exact only when its
  // divisor equals the number of rows added.
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.pulse = 400;
  for (const int trains : {0, 1, 2}) {
    for (const int cut : {0, 1, 14, 15, 97, 98, 99, 101, 197, 198, 199, 205, 214, 215, 217}) {
      recipe.trains = trains;
      recipe.cut_rows = cut;
      ASSERT_TRUE(analyse_text(samples_text(recipe)));
      if (trains == 0 && cut < 199) {
        EXPECT_TRUE(all_results_nan()) << trains << " trains, cut at " << cut;
        continue;
      }
      for (int channel = 0; channel < nchan; ++channel) {
        EXPECT_EQ(pedestals[channel], recipe.pedestal[channel])
            << trains << " trains, cut at " << cut;
        for (int peak = 0; peak < npeaks; ++peak) {
          const bool reached = trains > 0 || 14 * peak < cut;
          EXPECT_EQ(std::isnan(peaks[peak][channel]), !reached)
              << trains << ", " << cut << ", peak " << peak;
          if (reached && channel % 2) {
            EXPECT_DOUBLE_EQ(peaks[peak][channel], -400.0);
          }
        }
      }
    }
  }
}

TEST(AnalyseTree, NoMarkerOrNoTrainLeavesNotANumber) {
  for (const std::string& text :
       {std::string(), std::string("abc"), text_of(plain_train()),
        text_of(joined({marker, {baseline}})), text_of(joined({plain_train(), marker}))}) {
    EXPECT_TRUE(analyse_text(text));
    EXPECT_TRUE(all_results_nan());
  }
}

TEST(AnalyseTree, MarkerThresholds) {
  // A candidate low row, a zero row, then a row that confirms nothing: the
  // zero row starts a marker of its own only when the first row isn't low.
  const auto found = [](const Row& low, const Row& zeros) {
    EXPECT_TRUE(analyse_text(text_of(joined({{low, zeros, baseline}, plain_train(), {baseline}}))));
    return !std::isnan(pedestals[0]);
  };
  EXPECT_TRUE(found(with_first(11, 34), filled(0)));
  EXPECT_FALSE(found(with_first(11, 35), filled(0)));
  EXPECT_FALSE(found(with_first(10, 34), filled(0)));
  EXPECT_TRUE(found(with_first(11, -70000), filled(0)));
  EXPECT_TRUE(found(filled(0), with_first(16, 0)));
  EXPECT_FALSE(found(filled(0), with_first(15, 0)));
}

TEST(AnalyseTree, TrainsOpenOnALowRowAfterARowThatIsNotLow) {
  const Row other_low = filled(0);
  // A low row straight after the marker, after a closing row, or as the
  // closing row opens nothing; a misplaced train would shift every peak.
  ASSERT_TRUE(analyse_text(text_of(joined({marker,
                                           {other_low, baseline},
                                           plain_train(),
                                           {baseline, other_low, baseline},
                                           plain_train(),
                                           {other_low, baseline},
                                           plain_train(),
                                           {baseline}}))));
  expect_plain_train_results();
  // Without a row that isn't low between the marker and the first pulse,
  // the first pulse opens nothing and the train starts on the second one,
  // so its last peak row falls on a plain row.
  ASSERT_TRUE(analyse_text(text_of(joined({marker, plain_train()}))));
  EXPECT_EQ(peaks[0][1], -50.0);
  EXPECT_EQ(peaks[14][1], 0.0);
}

TEST(AnalyseTree, RowsAreTakenByPositionAloneInsideATrain) {
  std::vector<Row> train(train_rows, by_parity(20, 60));  // low rows everywhere
  for (std::size_t peak = 0; peak < npeaks; ++peak) train[14 * peak] = by_parity(10, 61);
  for (int position = 198; position < 215; ++position) train[position] = filled(60);
  train[210] = filled(77);  // a pedestal row, not a sixteenth peak
  for (int position = 215; position < 218; ++position)
    train[position] = filled(999);  // counted, not added
  ASSERT_TRUE(analyse_text(text_of(joined({marker, {baseline}, train, {baseline}}))));
  const double pedestal = (16 * 60.0 + 77) / 17;
  for (int channel = 0; channel < nchan; ++channel) {
    EXPECT_DOUBLE_EQ(pedestals[channel], pedestal);
    for (int peak = 0; peak < npeaks; ++peak)
      EXPECT_DOUBLE_EQ(peaks[peak][channel], (channel % 2 ? 10.0 : 61.0) - pedestal);
  }
}

}  // namespace
