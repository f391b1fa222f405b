// SPDX-License-Identifier: Apache-2.0
#include "kelvane/colours/palette.h"

#include <gtest/gtest.h>

#include <map>
#include <string_view>
#include <tuple>
#include <utility>

#include "kelvane/colours/internal/color_cache_contents.h"

namespace kelvane {
namespace {

using platform::Appearance;

// Three roles of the palette, in the order of PaletteRoles(): the first, one whose sides differ
// and the last, each with its light and dark value. Every role is checked for its kind and for
// its sides coming from the cache.
constexpr std::tuple<std::string_view, std::uint32_t, std::uint32_t> kPalette[] = {
    {"appText", 0x000000, 0xFFFFFF},
    {"qibLoginButtonHighlight", 0xF5C769, 0xD19715},
    {"chatMesageCite", 0x04359C, 0x67B3FF}};

TEST(Palette, EveryRoleResolvesToItsLightAndDarkValueAsTheAppearanceSays) {
  internal::ColorCacheClear();  // the palette's values fit without eviction from here on
  const auto roles = PaletteRoles();
  std::map<std::string_view, std::pair<ColorRef, ColorRef>> sides;
  for (const auto& role : roles) {
    SCOPED_TRACE(role.name);
    const ColorRef colour = role.accessor();
    ASSERT_NE(colour, nullptr);
    ASSERT_EQ(colour->kind(), platform::Color::Kind::kDynamic);
    // Each side is the cache's object for its value; a second call is a new wrapper over them.
    const ColorRef light = colour->Resolved(Appearance::kLight);
    const ColorRef dark = colour->Resolved(Appearance::kDark);
    ASSERT_NE(dark, nullptr);
    EXPECT_EQ(light, Create::ColorForRGB(Create::rgba(*light)));
    EXPECT_EQ(dark, Create::ColorForRGB(Create::rgba(*dark)));
    EXPECT_EQ(colour->Resolved(Appearance::kUnspecified), light);
    const ColorRef again = role.accessor();
    EXPECT_NE(again, colour);
    EXPECT_EQ(again->Resolved(Appearance::kLight), light);
    sides[role.name] = {light, dark};
  }
  EXPECT_EQ(sides.size(), roles.size());  // no name twice
  EXPECT_EQ(std::tuple(roles.front().name, roles.back().name),
            std::tuple(std::get<0>(kPalette[0]), std::get<0>(kPalette[2])));
  for (const auto& [name, light, dark] : kPalette) {
    EXPECT_EQ(sides[name], std::pair(Create::ColorForRGB(light), Create::ColorForRGB(dark)))
        << name;
  }

  // rgba reads a dynamic colour in the current appearance.
  const ColorRef highlight = UIElements::qibLoginButtonHighlight();
  EXPECT_EQ(Create::rgba(*highlight), 0xFFF5C769u);
  platform::ScopedAppearance dark(Appearance::kDark);
  EXPECT_EQ(Create::rgba(*highlight), 0xFFD19715u);
}

}  // namespace
}  // namespace kelvane
