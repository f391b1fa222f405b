#include "kelvane/platform/device/appearance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kelvane::platform {
namespace {

TEST(Appearance, StartsLightAndScopesRestoreInOrder) {
  // Every other test restores what it sets, so the start value is still visible here.
  EXPECT_EQ(CurrentAppearance(), Appearance::kLight);
  {
    ScopedAppearance dark(Appearance::kDark);
    EXPECT_EQ(CurrentAppearance(), Appearance::kDark);
    {
      ScopedAppearance unspecified(Appearance::kUnspecified);
      EXPECT_EQ(CurrentAppearance(), Appearance::kUnspecified);
    }
    EXPECT_EQ(CurrentAppearance(), Appearance::kDark);
  }
  EXPECT_EQ(CurrentAppearance(), Appearance::kLight);

  // A value outside the three named ones is kept as given; setting reports what it replaced.
  EXPECT_EQ(SetCurrentAppearance(static_cast<Appearance>(7)), Appearance::kLight);
  EXPECT_EQ(static_cast<int>(SetCurrentAppearance(Appearance::kLight)), 7);
}

TEST(Appearance, ReadersOnOtherThreadsSeeOnlyValuesThatWereSet) {
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 2; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const Appearance a = CurrentAppearance();
        if (a != Appearance::kLight && a != Appearance::kDark) bad.fetch_add(1);
      }
    });
  }
  for (int i = 0; i < 20000; ++i) {
    SetCurrentAppearance(i % 2 == 0 ? Appearance::kDark : Appearance::kLight);
  }
  stop.store(true);
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(CurrentAppearance(), Appearance::kLight);  // the last value set
}

}  // namespace
}  // namespace kelvane::platform
