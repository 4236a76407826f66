// The analysis core as a value: the sums and counts of one pass, and where
// and why the input ended.
#include "core/trains.h"

#include <gtest/gtest.h>

#include "sample_gen.h"
#include "test_files.h"

namespace {

using namespace qavrel;

// What the campaign learns beyond the table: the marker, the trains, the
// rows, and where and why the input ended, in plain and compressed files.
TEST(ReadTrains, ReportsHowTheInputWentAndEnded) {
  SampleRecipe recipe = SampleRecipe::realistic();
  recipe.trains = 2;
  recipe.cut_rows = 100;
  const std::string text = samples_text(recipe);
  const ScratchDir dir;
  TrainSums sums = read_trains(dir.write("whole.txt", text).c_str());
  EXPECT_TRUE(sums.ok());
  EXPECT_TRUE(sums.marker_found);
  EXPECT_EQ(sums.train_rows, 2 * train_length + 100);
  EXPECT_EQ(sums.rows_read, 5 + 3 + 2 * (train_length + 20) + 100);
  EXPECT_FALSE(sums.ended_on_token);

  sums = read_trains(dir.write("junk.txt", text + "  12 x7 1 2 3\n").c_str());
  EXPECT_TRUE(sums.ended_on_token);
  EXPECT_EQ(sums.token_offset, text.size() + 5);
  // A '-' that starts no number is where the bad token starts.
  sums = read_trains(dir.write("minus.txt", text + "-").c_str());
  EXPECT_TRUE(sums.ended_on_token);
  EXPECT_EQ(sums.token_offset, text.size());

  EXPECT_FALSE(read_trains(dir.write("no_marker.txt", "1 2 3\n").c_str()).marker_found);
  const TrainSums missing = read_trains(dir.file("missing.txt").c_str());
  EXPECT_EQ(missing.opened.reason(), "No such file or directory");
  EXPECT_TRUE(missing.read.ok());
  const TrainSums directory = read_trains(dir.file("").c_str());
  EXPECT_EQ(directory.opened.reason(), "Is a directory");
}

}  // namespace
