// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/dispatch/apply.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

namespace kelvane::platform {
namespace {

// Every part runs exactly once, also when one throws and when parts apply again from inside
// (a pool thread waiting on the pool must take parts itself rather than deadlock).
TEST(ApplyConcurrently, RunsEveryPartOnceEvenNestedAndThrowingOrInOrderOnTheCallerWhenKept) {
  constexpr std::size_t kOuter = 16, kInner = 64;
  std::vector<std::atomic<int>> runs(kOuter * kInner);
  ApplyConcurrently(kOuter, [&](std::size_t i) {
    ApplyConcurrently(kInner, [&](std::size_t j) {
      runs[i * kInner + j].fetch_add(1);
      if (j == 7) throw std::runtime_error("part 7");
    });
  });
  for (std::size_t k = 0; k < runs.size(); ++k) {
    ASSERT_EQ(runs[k].load(), 1) << "part " << k;
  }
  ApplyConcurrently(0, [&](std::size_t) { FAIL() << "no part was asked for"; });

  // KeepOnThisThread runs the parts in order on the caller.
  std::vector<std::size_t> order;
  std::set<std::thread::id> threads;
  {
    const KeepOnThisThread keep;
    EXPECT_EQ(ConcurrencyWidth(), 1u);
    ApplyConcurrently(8, [&](std::size_t i) {  // unlocked: a second thread would be a race
      order.push_back(i);
      threads.insert(std::this_thread::get_id());
    });
  }
  EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
  // Only the thread that keeps its work is held back.
  const std::size_t here = ConcurrencyWidth();
  std::size_t there = 0;
  std::thread([&] { there = ConcurrencyWidth(); }).join();
  EXPECT_EQ(there, here);
  EXPECT_GE(here, 1u);
}

TEST(RowBands, BandsAreSixtyFourRowsAtLeastAndTwiceTheThreadsAtMost) {
  const std::size_t width = ConcurrencyWidth();
  if (width <= 1) GTEST_SKIP() << "one thread: every picture is one band";
  // Pixels, rows, the least rows of a band and the bands.
  const std::tuple<std::uint64_t, std::uint32_t, std::uint32_t, std::size_t> kCases[] = {
      {(1u << 18) - 1, 4096, 64, 1},                          // too small to hand to the pool
      {1u << 18, 127, 64, 1},                                 // 127 rows hold one band of 64
      {1u << 18, 128, 64, 2},        {1u << 18, 128, 32, 2},  // min_rows below 64 counts as 64
      {1u << 18, 255, 128, 1},       {1u << 24, 1u << 20, 64, 2 * width},
  };
  for (const auto& [pixels, rows, min_rows, bands] : kCases) {
    SCOPED_TRACE(std::to_string(pixels) + " pixels, " + std::to_string(rows) + " rows");
    EXPECT_EQ(RowBands(pixels, rows, min_rows), bands);
  }
  EXPECT_EQ(RowBands(1u << 18, 128), 2u);  // the least band is 64 rows when none is given
}

}  // namespace
}  // namespace kelvane::platform
