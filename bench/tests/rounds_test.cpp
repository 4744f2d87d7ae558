#include "rounds.h"

#include <gtest/gtest.h>

#include <time.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "report.h"

namespace rq47bench {
namespace {

TEST(RoundsTest, MedianTakesTheMiddleOfOddAndTheMeanOfTheTwoMiddlesOfEvenCounts) {
  EXPECT_EQ(Median({7}), 7);
  EXPECT_EQ(Median({5, 1, 9}), 5);
  EXPECT_EQ(Median({4, 100, 1, 2}), 3);
  EXPECT_EQ(Median({3, 3, 1, 8, 3}), 3);
  EXPECT_THROW(Median({}), std::invalid_argument);
}

TEST(RoundsTest, WarmsUpOnceThenRunsEachMeasureEveryRoundInTurningOrder) {
  std::string order;
  double next = 0;
  auto measure = [&](char name) {
    return Measure{std::string(1, name),
                   [&order, &next, name] {
                     order += name;
                     ++next;
                     return Sample{next, 100 - next};
                   },
                   {}};
  };
  Measure a = measure('a');
  Measure b = measure('b');
  Measure c = measure('c');
  RunRounds({&a, &b, &c}, 3);
  EXPECT_EQ(order,
            "abc"
            "abc"
            "cba"
            "abc");
  ASSERT_EQ(c.samples.size(), 3u);
  EXPECT_EQ(c.samples[0].wall, 6);
  EXPECT_EQ(c.samples[1].wall, 7);
  EXPECT_EQ(c.samples[2].wall, 12);
  // Each clock has its own median.
  EXPECT_EQ(c.median().wall, 7);
  EXPECT_EQ(c.median().cpu, 93);
}

TEST(RoundsTest, AStopwatchCountsProcessorTimeOnlyWhileThisProcessWorks) {
  Stopwatch idle;
  struct timespec pause {
    0, 30000000
  };
  nanosleep(&pause, nullptr);
  Sample slept = idle.elapsed();
  EXPECT_GE(slept.wall, 0.03);
  EXPECT_LT(slept.cpu, 0.02);

  // Busy work is counted; the wall clock goes on at least as fast (and
  // faster while other programs have the processor).
  Stopwatch busy;
  volatile unsigned sink = 0;
  while (busy.elapsed().cpu < 0.02 && busy.elapsed().wall < 10) sink = sink + 1;
  Sample worked = busy.elapsed();
  EXPECT_GE(worked.cpu, 0.02);
  EXPECT_GE(worked.wall, worked.cpu * 0.99);
}

TEST(RoundsTest, AReportJudgesOnProcessorTimeAndCountsMissesOnlyWhenItJudges) {
  Report judged("judged", true);
  EXPECT_TRUE(judged.ratio("at the limit", {90, 30}, {1, 2}, 15, "ref"))
      << "a busy machine's wall clock does not decide";
  EXPECT_FALSE(judged.ratio("above it", {1, 31}, {1, 2}, 15, "ref"));
  EXPECT_FALSE(judged.ratio("no reference", {1, 1}, {0, 0}, 15, "ref"));
  EXPECT_TRUE(judged.limit("growth", 11.9, 12, "the time"));
  EXPECT_FALSE(judged.limit("growth", 12.1, 12, "the time"));
  EXPECT_EQ(judged.missed(), 3);
  EXPECT_FALSE(judged.allMet());

  Report quick("quick", false);
  EXPECT_TRUE(quick.ratio("above it", {1, 31}, {1, 2}, 15, "ref"));
  EXPECT_TRUE(quick.allMet());
}

TEST(RoundsTest, FormatsTimesAndThroughputsInReadableUnits) {
  EXPECT_EQ(FormatSeconds(2.5), "2.50 s");
  EXPECT_EQ(FormatSeconds(0.0123), "12.3 ms");
  EXPECT_EQ(FormatSeconds(0.000845), "845 us");
  EXPECT_EQ(FormatThroughput(60000000, 0.5), "120.0 MB/s");
  EXPECT_EQ(FormatMegabytes(61234567), "61.2 MB");
}

}  // namespace
}  // namespace rq47bench
