// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "kelvane/platform/core/internal/steady_time.h"

namespace kelvane::platform {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

TEST(Clock, ManualClockReadsWhatItWasSetToAndTheSystemClockTheRealTime) {
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

  // Against the precise wall clock: time() reads a coarser one, which may still show the last
  // second just after a precise clock has passed into the next. That the system clock is the
  // current one when none is installed is checked as the steady time's installations end.
  const auto wall = [] {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  const double before = wall();
  const double now = Clock::System().Now();
  EXPECT_THAT(now, ::testing::AllOf(::testing::Ge(before), ::testing::Le(wall()))) << std::fixed;
}

// Whether SteadyTime() leads the system's steady clock by `advance`: the steady clock is read on
// both sides of it, so the lead seen is a range that must hold the advance.
::testing::AssertionResult SteadyTimeLeadsBy(nanoseconds advance) {
  const auto real = [] {
    return std::chrono::duration_cast<nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
  };
  const nanoseconds before = real();
  const nanoseconds steady = SteadyTime();
  const nanoseconds after = real();
  const nanoseconds low = steady - after;
  const nanoseconds high = steady - before;
  if (low <= advance && advance <= high) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "SteadyTime() leads the steady clock by " << low.count() << " .. " << high.count()
         << " ns, not " << advance.count() << " ns";
}

TEST(SteadyTime, FollowsTheInstalledClocksAdvancesHeldShortOfOverflowUntilTheSystemReturns) {
  ASSERT_EQ(internal::SteadyAdvance(), 0ns);
  ManualClock outer(1000);
  outer.Advance(3600);  // not installed: the wall reading alone moves
  EXPECT_EQ(internal::SteadyAdvance(), 0ns);
  {
    ScopedClock a(outer);
    EXPECT_EQ(internal::SteadyAdvance(), 0ns);  // what came before the installation is not counted
    outer.Advance(3600);
    EXPECT_EQ(internal::SteadyAdvance(), 1h);
    EXPECT_TRUE(SteadyTimeLeadsBy(1h));
    // Neither time going back, nor no time, nor setting the clock moves the steady time.
    outer.Advance(-5);
    outer.Advance(0);
    outer.Advance(std::nan(""));
    outer.Set(8200);
    EXPECT_EQ(internal::SteadyAdvance(), 1h);
    outer.Advance(0.001);  // rounded to the nanosecond: 0.001 is a little under 1e-3 in binary
    EXPECT_EQ(internal::SteadyAdvance(), 1h + 1ms);
    {
      ManualClock inner(0);
      ScopedClock b(inner);
      EXPECT_EQ(internal::SteadyAdvance(), 1h + 1ms);  // carried over: no running back
      inner.Advance(60);
      outer.Advance(60);  // no longer the installed clock
      EXPECT_EQ(internal::SteadyAdvance(), 1h + 1min + 1ms);
    }
    EXPECT_EQ(internal::SteadyAdvance(), 1h + 1min + 1ms);  // a clock is still installed
    EXPECT_EQ(CurrentClock().Time(), 8260);
  }
  EXPECT_EQ(&CurrentClock(), &Clock::System());
  EXPECT_EQ(internal::SteadyAdvance(), 0ns);
  EXPECT_TRUE(SteadyTimeLeadsBy(0ns));

  // Installing the system clock by name ends an installation as null does. An enormous advance
  // meanwhile is held short of overflow, with room left for a deadline a long way past it.
  ManualClock clock(0);
  EXPECT_EQ(InstallClock(&clock), nullptr);
  clock.Advance(1e300);
  const nanoseconds held = internal::SteadyAdvance();
  EXPECT_EQ(held, nanoseconds(std::int64_t{1} << 62));
  clock.Advance(1e300);
  EXPECT_EQ(internal::SteadyAdvance(), held);
  EXPECT_TRUE(SteadyTimeLeadsBy(held));
  EXPECT_GT(nanoseconds::max() - SteadyTime(),
            std::chrono::duration_cast<nanoseconds>(std::chrono::years(100)));
  EXPECT_EQ(InstallClock(&Clock::System()), &clock);
  EXPECT_EQ(InstallClock(nullptr), nullptr);
  EXPECT_EQ(internal::SteadyAdvance(), 0ns);
}

TEST(SteadyTime, AnAdvanceRacingTheEndOfItsInstallationLeavesNothingBehind) {
  // An advance either lands within the installation, and is dropped with it, or finds the clock
  // gone; it never lands after the drop, where nothing would take it back.
  ManualClock clock(0);
  std::atomic<bool> done{false};
  std::thread advancer([&] {
    while (!done.load()) clock.Advance(1);
  });
  for (int i = 0; i < 2000; ++i) {
    InstallClock(&clock);
    std::this_thread::yield();
    InstallClock(nullptr);
    ASSERT_EQ(internal::SteadyAdvance(), 0ns) << "round " << i;
  }
  done = true;
  advancer.join();
  EXPECT_EQ(internal::SteadyAdvance(), 0ns);
}

}  // namespace
}  // namespace kelvane::platform
