// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/color.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace kelvane::platform {
namespace {

TEST(Color, PatternsNeedAConsistentTileAndHaveNoRGBForm) {
  EXPECT_EQ(Color::Pattern({0, 1, {}}), nullptr);
  EXPECT_EQ(Color::Pattern({2, 0, {}}), nullptr);
  EXPECT_EQ(Color::Pattern({2, 2, {1, 2, 3}}), nullptr);  // one pixel short
  EXPECT_EQ(Color::Pattern({1, 1, {1, 2}}), nullptr);     // one pixel too many
  // 0x10001 x 0x10000 wraps to 0x10000 in 32-bit arithmetic: the area must not wrap.
  EXPECT_EQ(Color::Pattern({0x10001, 0x10000, std::vector<std::uint32_t>(0x10000)}), nullptr);

  const ColorRef pattern = Color::Pattern({2, 1, {0xFF000000u, 0xFFFFFFFFu}});
  ASSERT_NE(pattern, nullptr);
  EXPECT_EQ(pattern->Resolved(Appearance::kDark), pattern);
}

TEST(Color, DynamicColoursAskTheirProviderOnEveryResolution) {
  EXPECT_EQ(Color::Dynamic(nullptr), nullptr);

  const ColorRef light = Color::RGB(1, 1, 1, 1);
  const ColorRef dark = Color::Grey(0, 1);
  int calls = 0;
  Appearance asked = Appearance::kUnspecified;
  const ColorRef dynamic = Color::Dynamic([&](Appearance a) {
    ++calls;
    asked = a;
    return a == Appearance::kDark ? dark : light;
  });
  ASSERT_NE(dynamic, nullptr);

  EXPECT_EQ(dynamic->Resolved(Appearance::kDark), dark);
  EXPECT_EQ(dynamic->Resolved(static_cast<Appearance>(5)), light);
  EXPECT_EQ(static_cast<int>(asked), 5);  // passed through untouched
  EXPECT_EQ(calls, 2);

  // Without an explicit appearance the colour is read in the current one.
  {
    ScopedAppearance scope(Appearance::kDark);
    EXPECT_EQ(dynamic->RGBA()->red, 0.0);
  }
  EXPECT_EQ(dynamic->RGBA()->red, 1.0);
  EXPECT_EQ(calls, 4);

  // Fixed colours resolve to themselves: the same object, no copy.
  EXPECT_EQ(light->Resolved(Appearance::kDark), light);
}

TEST(Color, BrokenProvidersResolveToNothingInsteadOfFailing) {
  const ColorRef throwing =
      Color::Dynamic([](Appearance) -> ColorRef { throw std::runtime_error("no colour"); });
  EXPECT_EQ(throwing->Resolved(Appearance::kLight), nullptr);
  EXPECT_FALSE(throwing->RGBA().has_value());

  // A chain of dynamic colours is followed to its end...
  const ColorRef red = Color::RGB(1, 0, 0, 1);
  const ColorRef inner = Color::Dynamic([red](Appearance) { return red; });
  const ColorRef outer = Color::Dynamic([inner](Appearance) { return inner; });
  EXPECT_EQ(outer->Resolved(Appearance::kLight), red);

  // ...but a provider that answers with its own colour is not followed forever.
  auto self = std::make_shared<std::weak_ptr<const Color>>();
  const ColorRef loop = Color::Dynamic([self](Appearance) { return self->lock(); });
  *self = loop;
  EXPECT_EQ(loop->Resolved(Appearance::kDark), nullptr);
  EXPECT_FALSE(loop->RGBA().has_value());

  // A provider answering with a pattern has no RGB form either.
  const ColorRef tile = Color::Pattern({1, 1, {0}});
  EXPECT_FALSE(Color::Dynamic([tile](Appearance) { return tile; })->RGBA().has_value());
}

}  // namespace
}  // namespace kelvane::platform
