// SPDX-License-Identifier: Apache-2.0
#include "kelvane/colours/color_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "kelvane/colours/internal/color_cache_contents.h"
#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::Appearance;
using platform::Color;

// Each test starts from an empty cache, whatever ran before it in the same process.
class ColorCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { internal::ColorCacheClear(); }
  void TearDown() override { internal::ColorCacheClear(); }
};

bool StrictlyAscending(const std::vector<std::uint32_t>& keys) {
  return std::adjacent_find(keys.begin(), keys.end(), std::greater_equal<>()) == keys.end();
}

TEST_F(ColorCacheTest, OneObjectPerKeyOfLow24BitsAndAlphaByteAndRgbaOfAnyColour) {
  const ColorRef blue = Create::ColorForRGB(0x0F007AFF);  // the top byte is ignored
  ASSERT_NE(blue, nullptr);
  EXPECT_EQ(Create::rgba(*blue), 0xFF007AFFu);
  EXPECT_EQ(std::tuple(Create::ColorForRGB(0x007AFF, 1.0), Create::ColorForRGB(0xAB007AFF)),
            std::tuple(blue, blue));
  // Alphas landing on one byte share an entry; a different byte is a different entry.
  const ColorRef a998 = Create::ColorForRGB(0x007AFF, 0.998);
  EXPECT_EQ(Create::ColorForRGB(0x007AFF, 0.999), a998);
  EXPECT_EQ(internal::ColorCacheKeys(), (std::vector<std::uint32_t>{0xFE007AFFu, 0xFF007AFFu}));

  // Components are byte / 255 in single precision, the alpha too: never the caller's alpha.
  const auto half = Create::ColorForRGB(0x336699, 0.5)->RGBA();
  ASSERT_TRUE(half.has_value());
  EXPECT_EQ(half->alpha, static_cast<double>(127.0f / 255.0f));
  EXPECT_EQ(half->red, static_cast<double>(51.0f / 255.0f));

  // The alpha byte: trunc(alpha x 255), unsigned and saturating, low 8 bits kept.
  const double inf = std::numeric_limits<double>::infinity();
  // clang-format off
  const std::pair<double, std::uint32_t> alphas[] = {
      {1.0, 0xFF}, {0.0, 0x00}, {0.5, 0x7F}, {-0.5, 0x00}, {2.0, 0xFE}, {1.5, 0x7E},
      {std::nan(""), 0x00}, {1e300, 0xFF}, {-1e300, 0x00}, {inf, 0xFF}};
  // clang-format on
  for (const auto& [alpha, byte] : alphas) {
    EXPECT_EQ(Create::rgba(*Create::ColorForRGB(1, alpha)), (byte << 24) | 1u) << alpha;
  }

  // rgba converts the components of any colour.
  EXPECT_EQ(Create::rgba(*Color::Grey(0.5, 1.0)), 0xFF7F7F7Fu);
  EXPECT_EQ(Create::rgba(*Color::RGB(1.0, 0.0, 0.0, 0.0)), 0x00FF0000u);  // transparent red
  EXPECT_EQ(Create::rgba(*Color::Pattern({1, 1, {0xFFFFFFFFu}})), 0u);    // no RGB form
  EXPECT_EQ(Create::rgba(*Color::Dynamic([](Appearance) { return ColorRef(); })), 0u);

  // Red, green and blue are converted as signed numbers: -255 keeps its low byte 0x01, where
  // the alpha, converted unsigned, saturates at 0. Out-of-range values keep their low byte.
  EXPECT_EQ(Create::rgba(*Color::RGB(-1.0, 2.0, 0.0, -1.0)), 0x0001FE00u);
  EXPECT_EQ(Create::rgba(*Color::RGB(std::nan(""), 0.0, 1e300, 1.0)), 0xFF0000FFu);
  EXPECT_EQ(Create::rgba(*Color::RGB(-1e300, 0.0, 0.0, 1.0)), 0xFF000000u);  // INT32_MIN: 00
}

TEST_F(ColorCacheTest, HoldsAtMost256OrderedEntriesAndEvictsOnePerMiss) {
  // Keys requested in a scrambled order still come out sorted and unique.
  for (std::uint32_t i = 0; i < 256; ++i) {
    ASSERT_NE(Create::ColorForRGB((i * 97) % 256), nullptr);
    ASSERT_NE(Create::ColorForRGB((i * 97) % 256), nullptr);  // a hit adds nothing
  }
  const std::vector<std::uint32_t> full = internal::ColorCacheKeys();
  ASSERT_EQ(std::tuple(full.size(), StrictlyAscending(full)), std::tuple(256ul, true));
  const ColorRef kept = Create::ColorForRGB(0x000010);  // a hit on a full cache changes nothing
  EXPECT_EQ(internal::ColorCacheKeys(), full);

  // The 257th key evicts exactly one entry.
  ASSERT_NE(Create::ColorForRGB(0x123456), nullptr);
  const std::vector<std::uint32_t> after = internal::ColorCacheKeys();
  ASSERT_EQ(after.size(), 256u);
  const auto gone = [&](std::uint32_t key) { return !std::ranges::binary_search(after, key); };
  EXPECT_EQ(std::ranges::count_if(full, gone), 1);
  EXPECT_TRUE(std::binary_search(after.begin(), after.end(), 0xFF123456u));

  // Many more misses keep the bound, and every colour handed out still reads as its key.
  std::vector<ColorRef> held;
  for (std::uint32_t i = 0; i < 2000; ++i) {
    held.push_back(Create::ColorForRGB(0x100000 + i * 3, ((i % 4) * 85 + 0.5) / 255.0));
  }
  EXPECT_EQ(internal::ColorCacheKeys().size(), 256u);
  for (std::uint32_t i = 0; i < held.size(); ++i) {
    ASSERT_EQ(held[i] ? Create::rgba(*held[i]) : 0, ((i % 4) * 85 << 24) | (0x100000 + i * 3));
  }
  // After all those evictions every cached key is still found: asking for each adds nothing.
  const std::vector<std::uint32_t> churned = internal::ColorCacheKeys();
  for (const std::uint32_t key : churned) {
    ASSERT_NE(Create::ColorForRGB(key, ((key >> 24) + 0.5) / 255.0), nullptr) << key;
  }
  EXPECT_EQ(internal::ColorCacheKeys(), churned);

  // An evicted colour stays valid for its holder; asking again builds a new object.
  internal::ColorCacheClear();
  EXPECT_EQ(Create::rgba(*kept), 0xFF000010u);
  const ColorRef rebuilt = Create::ColorForRGB(0x000010);
  EXPECT_NE(rebuilt, kept);
  EXPECT_EQ(Create::rgba(*rebuilt), 0xFF000010u);

  // The comparators behind the order take keys as unsigned numbers.
  CachedColor low(0x7FFFFFFFu, nullptr);
  CachedColor high(0x80000000u, nullptr);  // negative if the keys were compared as signed
  CachedColor *slot_low = &low, *slot_high = &high, *slot_null = nullptr;
  EXPECT_EQ(CachedColor::SortCachedColors(&slot_low, &slot_high), -1);
  EXPECT_EQ(CachedColor::SortCachedColors(&slot_high, &slot_low), 1);
  EXPECT_EQ(CachedColor::SortCachedColors(&slot_high, &slot_high), 0);

  const std::uint32_t key = 0x80000000u, zero = 0, small = 5;
  EXPECT_EQ(CachedColor::SearchCachedColors(&key, &slot_high), 0);
  EXPECT_EQ(CachedColor::SearchCachedColors(&key, &slot_low), 1);
  EXPECT_EQ(CachedColor::SearchCachedColors(&zero, &slot_null), 0);  // a null record reads as 0
  EXPECT_EQ(CachedColor::SearchCachedColors(&small, &slot_null), 1);
}

TEST_F(ColorCacheTest, ThreadsAskingForTheSameNewKeysGetTheSameObjects) {
  constexpr int kThreads = 4;
  constexpr std::uint32_t kKeys = 200;  // fits, so nothing is evicted between the threads
  std::vector<std::vector<ColorRef>> got(kThreads, std::vector<ColorRef>(kKeys));
  // Each thread walks the keys from a different start, so first requests collide.
  testing::OnThreads(kThreads, [&](int t) {
    for (std::uint32_t i = 0; i < kKeys; ++i) {
      const std::uint32_t key = (i + t * 50) % kKeys;
      got[t][key] = Create::ColorForRGB(key);
    }
  });
  EXPECT_EQ(std::count(got[0].begin(), got[0].end(), nullptr), 0);
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(got[t], got[0]) << "thread " << t;
  EXPECT_EQ(internal::ColorCacheKeys().size(), kKeys);

  // Concurrent misses on a full cache keep it bounded, sorted and each answer right.
  std::vector<int> wrong(kThreads, 0);
  testing::OnThreads(kThreads, [&](int t) {
    for (std::uint32_t i = 0; i < 3000; ++i) {
      const std::uint32_t rgb = (static_cast<std::uint32_t>(t) << 20) | i;
      const ColorRef c = Create::ColorForRGB(rgb);
      if (c == nullptr || Create::rgba(*c) != (0xFF000000u | rgb)) ++wrong[t];
    }
  });
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
  const std::vector<std::uint32_t> keys = internal::ColorCacheKeys();
  EXPECT_EQ(std::tuple(keys.size(), StrictlyAscending(keys)), std::tuple(256ul, true));
}

}  // namespace
}  // namespace kelvane
