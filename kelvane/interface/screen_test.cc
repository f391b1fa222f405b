// SPDX-License-Identifier: Apache-2.0
#include "kelvane/interface/screen.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "kelvane/interface/internal/screen_state.h"
#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::Idiom;
using platform::Size;

// Sizes in the longer side of the screen, whatever the orientation (see the state below).
TEST(CScreen, SizeTypeBoundariesAreExactAndTheStateReadsOnceAndRereadsAnEmptyScreen) {
  using enum Idiom;
  const std::tuple<Idiom, double, std::uint64_t> cases[] = {
      {kPhone, 568, 0}, {kPhone, 568.01, 1}, {kPhone, 735.99, 1},
      {kPhone, 736, 2}, {kTablet, 480, 1},   {kTablet, 1024.5, 2}};
  for (const auto& [idiom, longer_side, type] : cases)
    EXPECT_EQ(internal::ScreenSizeType(idiom, longer_side), type) << longer_side;

  platform::ScreenFacts facts{Idiom::kTablet, 2.0, {0, 0}};
  int bounds_reads = 0;
  internal::ScreenState state({[&] { return facts.idiom; }, [&] { return facts.scale; },
                               [&] { return ++bounds_reads, facts.bounds; }});
  EXPECT_EQ(std::tuple(state.IsTablet(), state.Scale()), std::tuple(true, 2.0));
  EXPECT_EQ(state.SizeNorm(), (Size{0, 0}));
  EXPECT_EQ(state.SizeNorm(), (Size{0, 0}));
  EXPECT_EQ(bounds_reads, 2);   // an empty screen is asked again
  facts.bounds = {1366, 1024};  // landscape: still (shorter, longer)
  EXPECT_EQ(std::tuple(state.SizeNorm(), state.SizeType()), std::tuple(Size{1024, 1366}, 2u));

  // Later answers of the platform are not seen, except the idiom by the size type.
  facts = {Idiom::kPhone, 3.0, {320, 568}};
  EXPECT_EQ(std::tuple(state.IsTablet(), state.Scale()), std::tuple(true, 2.0));
  EXPECT_EQ((std::tuple{state.SizeNorm(), bounds_reads}), std::tuple(Size{1024, 1366}, 3));
  EXPECT_EQ(state.SizeType(), 2u);  // a phone of 1366 points
}

TEST(CScreen, SharedStateReadsThePlatformFactsOnceFromAnyThread) {
  // The only test of this binary that touches the shared state, so the overrides are what it
  // reads first, here from several threads at once.
  platform::ScopedScreenOverrides overrides(
      {.idiom = Idiom::kPhone, .scale = 2.0, .bounds = Size{667, 375}});
  std::vector<Size> seen(4);
  testing::OnThreads(4, [&](int i) { seen[i] = CScreen::screenSizeNorm(); });
  EXPECT_EQ(seen, std::vector<Size>(4, Size{375, 667}));
  EXPECT_EQ(std::tuple(CScreen::iPad(), CScreen::scale(), CScreen::scaleNorm()),
            std::tuple(false, 2.0, 0.5));
  EXPECT_EQ(CScreen::screenSizeType(), 1u);
}

}  // namespace
}  // namespace kelvane
