// SPDX-License-Identifier: Apache-2.0
#include "soak/soak_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <tuple>

namespace kelvane::soak {
namespace {

TEST(SoakOptions, DefaultsValuesAndRefusals) {
  std::string error;
  const std::optional<Options> defaults = ParseOptions({}, &error);
  ASSERT_TRUE(defaults.has_value());
  EXPECT_EQ((std::tuple{defaults->seconds, defaults->threads, defaults->warmup.has_value(),
                        defaults->max_growth_percent, defaults->trim}),
            std::tuple(60.0, 8, false, 2.0, false));

  const std::optional<Options> given =
      ParseOptions({"--seconds", "120", "--threads", "3", "--warmup", "7.5", "--max-growth", "0",
                    "--seed", "9", "--trim", "--leak-kb-per-second", "512"},
                   &error);
  ASSERT_TRUE(given.has_value()) << error;
  EXPECT_EQ((std::tuple{given->seconds, given->threads, given->warmup, given->max_growth_percent,
                        given->seed, given->trim, given->leak_kb_per_second}),
            std::tuple(120.0, 3, std::optional(7.5), 0.0, 9u, true, 512u));

  // Out of range, malformed, missing or unknown: refused with the option named.
  // clang-format off
  const std::vector<std::vector<std::string>> refused = {
      {"--seconds", "0"}, {"--seconds", "nan"}, {"--seconds", "5s"}, {"--threads", "0"},
      {"--threads", "257"}, {"--threads", "-1"}, {"--max-growth", "-1"}, {"--warmup", "inf"},
      {"--seconds"}, {"--frobnicate", "1"}, {"stray"}};
  // clang-format on
  for (const auto& args : refused) {
    SCOPED_TRACE(args[0]);
    error.clear();
    EXPECT_EQ(ParseOptions(args, &error), std::nullopt);
    EXPECT_THAT(error, ::testing::HasSubstr(args[0]));
  }
}

TEST(SoakMemory, WarmupIsAFifthOfTheRunAndGrowthAtTheLimitPassesAndAboveFails) {
  const std::pair<double, double> cases[] = {{3, 5}, {25, 5}, {30, 6}, {60, 12}, {120, 24}};
  for (const auto& [seconds, warmup] : cases) EXPECT_EQ(WarmupSeconds(seconds), warmup) << seconds;

  // The largest sample is never below the two samples it is reported with.
  const MemoryVerdict at_limit = JudgeMemory(100 << 20, 102 << 20, 101 << 20, 2.0);
  EXPECT_DOUBLE_EQ(at_limit.growth_percent, 2.0);
  EXPECT_EQ((std::tuple{at_limit.passed, at_limit.max}), std::tuple(true, 102u << 20));
  EXPECT_FALSE(JudgeMemory(100 << 20, (102 << 20) + 4096, 0, 2.0).passed);
  const MemoryVerdict shrank = JudgeMemory(100 << 20, 90 << 20, 120 << 20, 0.0);
  EXPECT_EQ((std::tuple{shrank.growth_percent, shrank.passed, shrank.max}),
            std::tuple(-10.0, true, 120u << 20));
}

TEST(SoakMemory, ResidentAndHeapFollowAnAllocationThatIsTouched) {
  const std::optional<std::uint64_t> before = ResidentBytes();
  const std::uint64_t heap_before = HeapInUseBytes();
  ASSERT_TRUE(before.has_value());
  constexpr std::size_t kBytes = 64 << 20;
  auto block = std::make_unique<char[]>(kBytes);
  std::memset(block.get(), 1, kBytes);
  const std::optional<std::uint64_t> after = ResidentBytes();
  ASSERT_TRUE(after.has_value());
  EXPECT_GE(*after, *before + kBytes - (4 << 20));
  // A sanitizer's allocator keeps its own books, which mallinfo2 does not read.
  if (std::string_view(KELVANE_SOAK_SANITIZE).empty()) {
    EXPECT_GE(HeapInUseBytes(), heap_before + kBytes);
  }
  EXPECT_EQ(MiB(kBytes), "64.0 MiB");
}

}  // namespace
}  // namespace kelvane::soak
