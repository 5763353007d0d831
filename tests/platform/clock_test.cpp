#include "platform/clock.h"

#include <gtest/gtest.h>

namespace slicery::platform {
namespace {

TEST(Clock, RoundsToTheNearestSecondWithHalvesToEven) {
  EXPECT_EQ(roundHalfToEven(100.4), 100);
  EXPECT_EQ(roundHalfToEven(100.6), 101);
  EXPECT_EQ(roundHalfToEven(100.5), 100);
  EXPECT_EQ(roundHalfToEven(101.5), 102);
  EXPECT_EQ(roundHalfToEven(0.5), 0);
  EXPECT_EQ(roundHalfToEven(86399.5), 86400);
}

TEST(Clock, RealClockReadsATimeOfDay) {
  RealClock clock;
  const double now = clock.secondsSinceMidnight();
  EXPECT_GE(now, 0.0);
  EXPECT_LT(now, 86401.0);
}

}  // namespace
}  // namespace slicery::platform
