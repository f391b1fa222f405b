#include "kelvane/colours/color_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <thread>
#include <vector>

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

TEST_F(ColorCacheTest, PacksTheLow24BitsWithTheAlphaByte) {
  const ColorRef c = Create::ColorForRGB(0x0FD19715);  // the top byte is ignored
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Create::rgba(*c), 0xFFD19715u);
  EXPECT_EQ(internal::ColorCacheKeys(), std::vector<std::uint32_t>{0xFFD19715u});

  // Components are byte / 255 in single precision, the alpha too: never the caller's alpha.
  const ColorRef half = Create::ColorForRGB(0x336699, 0.5);
  ASSERT_NE(half, nullptr);
  const auto components = half->RGBA();
  ASSERT_TRUE(components.has_value());
  EXPECT_EQ(components->alpha, static_cast<double>(127.0f / 255.0f));
  EXPECT_EQ(components->red, static_cast<double>(51.0f / 255.0f));
  EXPECT_EQ(components->blue, static_cast<double>(153.0f / 255.0f));
  EXPECT_EQ(Create::rgba(*half), 0x7F336699u);

  // The alpha byte: trunc(alpha x 255), unsigned and saturating, low 8 bits kept.
  const struct {
    double alpha;
    std::uint32_t byte;
  } alphas[] = {
      {1.0, 0xFF},
      {0.0, 0x00},
      {0.998, 0xFE},
      {0.999, 0xFE},
      {-0.5, 0x00},
      {2.0, 0xFE},
      {1.5, 0x7E},
      {std::nan(""), 0x00},
      {1e300, 0xFF},
      {-1e300, 0x00},
      {std::numeric_limits<double>::infinity(), 0xFF},
  };
  for (const auto& a : alphas) {
    const ColorRef colour = Create::ColorForRGB(0x000001, a.alpha);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(Create::rgba(*colour), (a.byte << 24) | 1u) << "alpha " << a.alpha;
  }
}

TEST_F(ColorCacheTest, SameKeyGivesTheSameObject) {
  const ColorRef blue = Create::ColorForRGB(0x007AFF);
  EXPECT_EQ(Create::ColorForRGB(0x007AFF), blue);
  EXPECT_EQ(Create::ColorForRGB(0x007AFF, 1.0), blue);
  EXPECT_EQ(Create::ColorForRGB(0xAB007AFF), blue);  // another top byte, the same key

  // Alphas landing on one byte share an entry; a different byte is a different entry.
  const ColorRef a998 = Create::ColorForRGB(0x007AFF, 0.998);
  EXPECT_EQ(Create::ColorForRGB(0x007AFF, 0.999), a998);
  EXPECT_NE(a998, blue);
  EXPECT_EQ(internal::ColorCacheKeys(), (std::vector<std::uint32_t>{0xFE007AFFu, 0xFF007AFFu}));
}

TEST_F(ColorCacheTest, RgbaReturnsTheKeyOfEveryCachedColour) {
  for (std::uint32_t k = 0; k < 256; ++k) {
    const std::uint32_t rgb = (k << 16) | ((255 - k) << 8) | ((k * 7) & 0xFF);
    // (k + 0.5) / 255 lands inside byte k without depending on how k / 255 rounds.
    const ColorRef c = Create::ColorForRGB(rgb, (k + 0.5) / 255.0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Create::rgba(*c), (k << 24) | rgb) << "k = " << k;
  }
}

TEST(ColorRgba, ConvertsComponentsOfAnyColour) {
  EXPECT_EQ(Create::rgba(*Color::Grey(0.5, 1.0)), 0xFF7F7F7Fu);
  EXPECT_EQ(Create::rgba(*Color::RGB(1.0, 0.0, 0.0, 0.0)), 0x00FF0000u);  // transparent red
  EXPECT_EQ(Create::rgba(*Color::Pattern({1, 1, {0xFFFFFFFFu}})), 0u);    // no RGB form
  EXPECT_EQ(Create::rgba(*Color::Dynamic([](Appearance) { return ColorRef(); })), 0u);

  // Red, green and blue are converted as signed numbers: -255 keeps its low byte 0x01, where
  // the alpha, converted unsigned, saturates at 0. Out-of-range values keep their low byte.
  EXPECT_EQ(Create::rgba(*Color::RGB(-1.0, 2.0, 0.0, -1.0)), 0x0001FE00u);
  EXPECT_EQ(Create::rgba(*Color::RGB(std::nan(""), 0.0, 1e300, 1.0)), 0xFF0000FFu);
  EXPECT_EQ(Create::rgba(*Color::RGB(-1e300, 0.0, 0.0, 1.0)), 0xFF000000u);  // INT32_MIN: 00

  // A dynamic colour is read in the current appearance.
  const ColorRef dynamic = Create::ColorDynamic(0x112233, 0x445566);
  EXPECT_EQ(Create::rgba(*dynamic), 0xFF112233u);
  platform::ScopedAppearance dark(Appearance::kDark);
  EXPECT_EQ(Create::rgba(*dynamic), 0xFF445566u);
}

TEST_F(ColorCacheTest, HoldsAtMost256OrderedEntriesAndEvictsOnePerMiss) {
  // Keys requested in a scrambled order still come out sorted and unique.
  for (std::uint32_t i = 0; i < 256; ++i) {
    ASSERT_NE(Create::ColorForRGB((i * 97) % 256), nullptr);
    ASSERT_NE(Create::ColorForRGB((i * 97) % 256), nullptr);  // a hit adds nothing
  }
  const std::vector<std::uint32_t> full = internal::ColorCacheKeys();
  ASSERT_EQ(full.size(), 256u);
  EXPECT_TRUE(StrictlyAscending(full));
  EXPECT_EQ(full.front(), 0xFF000000u);
  EXPECT_EQ(full.back(), 0xFF0000FFu);

  // A hit on a full cache changes nothing.
  const ColorRef kept = Create::ColorForRGB(0x000010);
  EXPECT_EQ(internal::ColorCacheKeys(), full);

  // The 257th key evicts exactly one entry.
  const ColorRef fresh = Create::ColorForRGB(0x123456);
  ASSERT_NE(fresh, nullptr);
  const std::vector<std::uint32_t> after = internal::ColorCacheKeys();
  ASSERT_EQ(after.size(), 256u);
  EXPECT_TRUE(StrictlyAscending(after));
  EXPECT_TRUE(std::binary_search(after.begin(), after.end(), 0xFF123456u));
  std::vector<std::uint32_t> gone;
  std::set_difference(full.begin(), full.end(), after.begin(), after.end(),
                      std::back_inserter(gone));
  EXPECT_EQ(gone.size(), 1u);

  // Many more misses keep the bound, and every colour handed out still reads as its key.
  std::vector<ColorRef> held;
  for (std::uint32_t i = 0; i < 2000; ++i) {
    held.push_back(Create::ColorForRGB(0x100000 + i * 3, ((i % 4) * 85 + 0.5) / 255.0));
  }
  const std::vector<std::uint32_t> churned = internal::ColorCacheKeys();
  EXPECT_EQ(churned.size(), 256u);
  EXPECT_TRUE(StrictlyAscending(churned));
  for (std::uint32_t i = 0; i < held.size(); ++i) {
    ASSERT_NE(held[i], nullptr);
    const std::uint32_t alpha = (i % 4) * 85;
    ASSERT_EQ(Create::rgba(*held[i]), (alpha << 24) | (0x100000 + i * 3));
  }

  // An evicted colour stays valid for its holder; asking again builds a new object.
  internal::ColorCacheClear();
  EXPECT_TRUE(internal::ColorCacheKeys().empty());
  EXPECT_EQ(Create::rgba(*kept), 0xFF000010u);
  const ColorRef rebuilt = Create::ColorForRGB(0x000010);
  EXPECT_NE(rebuilt, kept);
  EXPECT_EQ(Create::rgba(*rebuilt), 0xFF000010u);
}

TEST(CachedColor, ComparatorsOrderKeysAsUnsignedNumbers) {
  CachedColor low(0x7FFFFFFFu, nullptr);
  CachedColor high(0x80000000u, nullptr);  // negative if the keys were compared as signed
  CachedColor* slot_low = &low;
  CachedColor* slot_high = &high;
  CachedColor* slot_null = nullptr;

  EXPECT_EQ(CachedColor::SortCachedColors(&slot_low, &slot_high), -1);
  EXPECT_EQ(CachedColor::SortCachedColors(&slot_high, &slot_low), 1);
  EXPECT_EQ(CachedColor::SortCachedColors(&slot_high, &slot_high), 0);

  const std::uint32_t key = 0x80000000u;
  EXPECT_EQ(CachedColor::SearchCachedColors(&key, &slot_high), 0);
  EXPECT_EQ(CachedColor::SearchCachedColors(&key, &slot_low), 1);
  const std::uint32_t zero = 0, small = 5;
  EXPECT_EQ(CachedColor::SearchCachedColors(&zero, &slot_null), 0);  // a null record reads as 0
  EXPECT_EQ(CachedColor::SearchCachedColors(&small, &slot_null), 1);

  // A default record is empty; a copy shares the colour object.
  const CachedColor empty;
  EXPECT_EQ(empty.key, 0u);
  EXPECT_EQ(empty.color, nullptr);
  const ColorRef colour = Color::RGB(0, 0, 0, 1);
  const CachedColor original(0xFF000000u, colour);
  const CachedColor copy(original);
  EXPECT_EQ(copy.key, 0xFF000000u);
  EXPECT_EQ(copy.color, colour);
  EXPECT_EQ(colour.use_count(), 3);
}

TEST_F(ColorCacheTest, ThreadsAskingForTheSameNewKeysGetTheSameObjects) {
  constexpr int kThreads = 4;
  constexpr std::uint32_t kKeys = 200;  // fits, so nothing is evicted between the threads
  std::vector<std::vector<ColorRef>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &got] {
      for (std::uint32_t i = 0; i < kKeys; ++i) {
        // Each thread walks the keys from a different start, so first requests collide.
        got[t].push_back(Create::ColorForRGB((i + t * 50) % kKeys));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (std::uint32_t i = 0; i < kKeys; ++i) {
      const std::uint32_t key = (i + t * 50) % kKeys;
      ASSERT_NE(got[t][i], nullptr);
      EXPECT_EQ(got[t][i], got[0][key]) << "thread " << t << " key " << key;
    }
  }
  EXPECT_EQ(internal::ColorCacheKeys().size(), kKeys);

  // Concurrent misses on a full cache keep it bounded, sorted and each answer right.
  threads.clear();
  std::vector<int> wrong(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      for (std::uint32_t i = 0; i < 3000; ++i) {
        const std::uint32_t rgb = (static_cast<std::uint32_t>(t) << 20) | i;
        const ColorRef c = Create::ColorForRGB(rgb);
        if (c == nullptr || Create::rgba(*c) != (0xFF000000u | rgb)) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
  const std::vector<std::uint32_t> keys = internal::ColorCacheKeys();
  EXPECT_EQ(keys.size(), 256u);
  EXPECT_TRUE(StrictlyAscending(keys));
}

TEST_F(ColorCacheTest, DynamicColoursResolveThroughTheCache) {
  const ColorRef first = Create::ColorDynamic(0xAA123456, 0x00654321);  // top bytes ignored
  const ColorRef second = Create::ColorDynamic(0x123456, 0x654321);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);  // a new wrapper on every call
  EXPECT_EQ(first->kind(), Color::Kind::kDynamic);
  EXPECT_TRUE(internal::ColorCacheKeys().empty());  // nothing cached until resolved

  const ColorRef light = Create::ColorForRGB(0x123456);
  const ColorRef dark = Create::ColorForRGB(0x654321);
  EXPECT_EQ(first->Resolved(Appearance::kDark), dark);
  EXPECT_EQ(first->Resolved(Appearance::kLight), light);
  EXPECT_EQ(first->Resolved(Appearance::kUnspecified), light);
  EXPECT_EQ(first->Resolved(static_cast<Appearance>(3)), light);  // only "dark" is dark
  EXPECT_EQ(second->Resolved(Appearance::kDark), dark);

  // Both sides are taken from the cache when resolved, not when the wrapper was made.
  internal::ColorCacheClear();
  const ColorRef dark_again = first->Resolved(Appearance::kDark);
  EXPECT_NE(dark_again, dark);
  EXPECT_EQ(Create::ColorForRGB(0x654321), dark_again);
  EXPECT_EQ(Create::rgba(*dark_again), 0xFF654321u);
}

}  // namespace
}  // namespace kelvane
