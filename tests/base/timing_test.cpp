#include "base/timing.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(TimingDeathTest, FirstCallStartsNearZero) {
  // A re-executed child process, so this really is the first call of the process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const double first = TimeNow();
        std::_Exit(first >= 0.0 && first < 0.05 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(TimingTest, NeverGoesBackwards) {
  double previous = TimeNow();
  for (int i = 0; i < 100000; ++i) {
    const double now = TimeNow();
    ASSERT_GE(now, previous);
    previous = now;
  }
}

TEST(TimingTest, SleepAdvancesTheClockAtLeastThatLong) {
  const double before = TimeNow();
  SleepMs(20);
  EXPECT_GE(TimeNow() - before, 0.020);
}

}  // namespace
