#include "kelvane/platform/core/clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <limits>
#include <thread>
#include <vector>

namespace kelvane::platform {
namespace {

TEST(Clock, ManualClockReadsWhatItWasSetToAndRoundsSecondsDown) {
  ManualClock clock(1751371200.75);
  EXPECT_DOUBLE_EQ(clock.Now(), 1751371200.75);
  EXPECT_EQ(clock.Time(), 1751371200);
  clock.Set(-0.25);  // before 1970 whole seconds round down, not toward zero
  EXPECT_EQ(clock.Time(), -1);
  clock.Advance(86400);
  EXPECT_EQ(clock.Time(), 86399);
  clock.Set(1e30);  // beyond 64 bits: the nearest end, not undefined behaviour
  EXPECT_EQ(clock.Time(), std::numeric_limits<std::int64_t>::max());
  clock.Set(-1e30);
  EXPECT_EQ(clock.Time(), std::numeric_limits<std::int64_t>::min());
}

TEST(Clock, SystemClockFollowsTheRealTimeUnlessScopedClocksNest) {
  // Against the precise wall clock: time() reads a coarser one, which may still show the last
  // second just after a precise clock has passed into the next.
  const auto wall = [] {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  const double before = wall();
  const double now = Clock::System().Now();
  EXPECT_THAT(now, ::testing::AllOf(::testing::Ge(before), ::testing::Le(wall()))) << std::fixed;
  ASSERT_EQ(&CurrentClock(), &Clock::System());
  ManualClock outer(100);
  ManualClock inner(200);
  {
    ScopedClock a(outer);
    EXPECT_EQ(CurrentClock().Time(), 100);
    {
      ScopedClock b(inner);
      EXPECT_EQ(CurrentClock().Time(), 200);
    }
    EXPECT_EQ(CurrentClock().Time(), 100);
  }
  EXPECT_EQ(&CurrentClock(), &Clock::System());
}

TEST(Clock, ManualClockMayBeSetWhileOtherThreadsRead) {
  ManualClock clock(0);
  ScopedClock scoped(clock);
  std::vector<std::thread> readers;
  std::atomic<bool> backwards{false};
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      std::int64_t last = 0;
      for (int k = 0; k < 20000; ++k) {
        const std::int64_t now = CurrentClock().Time();
        if (now < last) backwards = true;
        last = now;
      }
    });
  }
  for (int k = 1; k <= 20000; ++k) clock.Set(k);
  for (auto& t : readers) t.join();
  EXPECT_FALSE(backwards.load());  // a monotone writer is never seen going back
  EXPECT_EQ(CurrentClock().Time(), 20000);
}

}  // namespace
}  // namespace kelvane::platform
