// The progress line, where a file that grows during the run once made the
// time left wrap around.
#include "campaign/run/progress.h"

#include <gtest/gtest.h>

namespace {

using namespace qavrel::campaign;

TEST(Progress, TimeLeftFromTheRateAndUnknownPastTheTotal) {
  EXPECT_EQ(progress_line(5, 10, 50'000'000, 150'000'000, 10.0, 1),
            "5/10 files, 5.0 MB/s, 0:20 left, 1 failed");
  EXPECT_EQ(progress_line(0, 10, 0, 150'000'000, 0.0, 0),
            "0/10 files, 0.0 MB/s, --:-- left, 0 failed");
  // A file grew: more was read than there was to read.
  EXPECT_EQ(progress_line(9, 10, 160'000'000, 150'000'000, 10.0, 0),
            "9/10 files, 16.0 MB/s, --:-- left, 0 failed");
  EXPECT_EQ(progress_line(1, 2, 1'000'000, 7'201'000'000, 1.0, 0),
            "1/2 files, 1.0 MB/s, 120:00 left, 0 failed");
}

}  // namespace
