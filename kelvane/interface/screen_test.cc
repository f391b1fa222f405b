#include "kelvane/interface/screen.h"

#include <gtest/gtest.h>

#include <vector>

#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::Idiom;
using platform::Size;

TEST(CScreen, SizeTypeBoundariesAreExact) {
  struct Case {
    Idiom idiom;
    Size bounds;
    std::uint64_t type;
  };
  const Case cases[] = {
      {Idiom::kPhone, {320, 568}, 0},     {Idiom::kPhone, {568, 320}, 0},
      {Idiom::kPhone, {320, 568.01}, 1},  {Idiom::kPhone, {375, 667}, 1},
      {Idiom::kPhone, {414, 735.99}, 1},  {Idiom::kPhone, {414, 736}, 2},
      {Idiom::kPhone, {375, 812}, 2},     {Idiom::kTablet, {768, 1024}, 1},
      {Idiom::kTablet, {320, 480}, 1},    {Idiom::kTablet, {1024, 768.5}, 1},
      {Idiom::kTablet, {800, 1024.5}, 2}, {Idiom::kTablet, {1366, 1024}, 2},
  };
  for (const Case& c : cases) {
    internal::ScreenState state(
        {[&] { return c.idiom; }, [] { return 2.0; }, [&] { return c.bounds; }});
    EXPECT_EQ(state.SizeType(), c.type) << c.bounds.width << " x " << c.bounds.height;
  }
}

TEST(CScreen, ReadsOnceAndRereadsAnEmptyScreen) {
  Idiom idiom = Idiom::kTablet;
  double scale = 2.0;
  Size bounds{0, 0};
  int bounds_reads = 0;
  internal::ScreenState state(
      {[&] { return idiom; }, [&] { return scale; }, [&] { return ++bounds_reads, bounds; }});
  EXPECT_TRUE(state.IsTablet() && state.Scale() == 2.0);
  EXPECT_EQ(state.SizeNorm(), (Size{0, 0}));
  EXPECT_EQ(state.SizeNorm(), (Size{0, 0}));
  EXPECT_EQ(bounds_reads, 2);  // an empty screen is asked again
  bounds = {1366, 1024};       // landscape: still (shorter, longer)
  EXPECT_TRUE(state.SizeNorm() == (Size{1024, 1366}) && state.SizeType() == 2u);

  // Later answers of the platform are not seen, except the idiom by the size type.
  idiom = Idiom::kPhone;
  scale = 3.0;
  bounds = {320, 568};
  EXPECT_TRUE(state.IsTablet() && state.Scale() == 2.0);
  EXPECT_TRUE(state.SizeNorm() == (Size{1024, 1366}) && bounds_reads == 3);
  EXPECT_EQ(state.SizeType(), 2u);  // a phone of 1366 points
}

TEST(CScreen, ConcurrentFirstReadsAgree) {
  const Size bounds{844, 390};
  internal::ScreenState state(
      {[] { return Idiom::kPhone; }, [] { return 3.0; }, [&] { return bounds; }});
  std::vector<Size> seen(4);
  testing::OnThreads(4, [&](int i) { seen[i] = state.SizeNorm(); });
  EXPECT_EQ(seen, std::vector<Size>(4, Size{390, 844}));
}

TEST(CScreen, SharedStateReadsThePlatformFacts) {
  // The only test of this binary that touches the shared state, so the overrides are what it
  // reads first.
  platform::ScopedScreenOverrides overrides(
      {.idiom = Idiom::kPhone, .scale = 2.0, .bounds = Size{667, 375}});
  EXPECT_TRUE(!CScreen::iPad() && CScreen::scale() == 2.0 && CScreen::scaleNorm() == 0.5);
  EXPECT_TRUE(CScreen::screenSizeNorm() == (Size{375, 667}) && CScreen::screenSizeType() == 1u);
}

}  // namespace
}  // namespace kelvane
