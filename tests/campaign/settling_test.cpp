// When a watch reads what changed. A file read before it rests is graded
// half written; a batch per event would redo the whole campaign's outputs
// for every line a robot writes.
#include "campaign/watch/settling.h"

#include <gtest/gtest.h>

namespace {

using qavrel::campaign::Settling;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Strings = std::unordered_set<std::string>;

TEST(Settling, AFileIsReadOnceItHasRestedAndFilesThatRestTogetherGoTogether) {
  const Settling::Clock::time_point start{};
  Settling settling(seconds(5), seconds(1));
  EXPECT_FALSE(settling.wait(start));  // nothing to wait for: sleep until a change
  settling.changed("/a", start);
  settling.changed("/b", start + seconds(1));
  EXPECT_EQ(settling.wait(start), seconds(5));
  // Each change to a file starts its rest again.
  settling.changed("/a", start + seconds(4));
  EXPECT_EQ(settling.wait(start + seconds(4)), seconds(2));  // /b rests at 6 s
  EXPECT_FALSE(settling.batch_due(start + milliseconds(5999)));
  ASSERT_TRUE(settling.batch_due(start + seconds(6)));
  // /a changed 2 s ago: left for a later batch, which comes when it rests.
  EXPECT_EQ(settling.start_batch(start + seconds(6)), Strings{"/a"});
  EXPECT_EQ(settling.wait(start + seconds(6)), seconds(3));
  EXPECT_TRUE(settling.batch_due(start + seconds(9)));
  EXPECT_EQ(settling.start_batch(start + seconds(9)), Strings{});
  EXPECT_FALSE(settling.wait(start + seconds(9)));
}

TEST(Settling, BatchesKeepTheirGapWhileFilesKeepArriving) {
  const Settling::Clock::time_point start{};
  Settling settling(milliseconds(100), seconds(1));
  settling.changed("/a", start);
  ASSERT_TRUE(settling.batch_due(start + milliseconds(100)));
  settling.start_batch(start + milliseconds(100));
  settling.changed("/b", start + milliseconds(150));
  // /b rests at 250 ms, but the last batch was at 100 ms.
  EXPECT_FALSE(settling.batch_due(start + milliseconds(300)));
  EXPECT_EQ(settling.wait(start + milliseconds(300)), milliseconds(800));
  EXPECT_TRUE(settling.batch_due(start + milliseconds(1100)));
  // Everything to be looked at (events lost): as soon as the gap allows,
  // with what is still changing left out.
  settling.start_batch(start + milliseconds(1100));
  settling.changed("/c", start + milliseconds(1150));
  settling.look_at_everything();
  EXPECT_FALSE(settling.batch_due(start + milliseconds(1200)));
  ASSERT_TRUE(settling.batch_due(start + milliseconds(2100)));
  EXPECT_EQ(settling.start_batch(start + milliseconds(2100)), Strings{});
  settling.changed("/d", start + milliseconds(3080));
  settling.look_at_everything();
  ASSERT_TRUE(settling.batch_due(start + milliseconds(3100)));
  EXPECT_EQ(settling.start_batch(start + milliseconds(3100)), Strings{"/d"});
}

}  // namespace
