#include "kelvane/colours/palette.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kelvane/colours/internal/color_cache_contents.h"

namespace kelvane {
namespace {

using platform::Appearance;

struct Expected {
  const char* name;
  std::uint32_t light;
  std::uint32_t dark;
};

// The palette as the designers gave it, in the order of PaletteRoles(): role, light RRGGBB,
// dark RRGGBB.
// clang-format off
constexpr Expected kPalette[] = {
    {"appText", 0x000000, 0xFFFFFF}, {"appText1", 0x222222, 0xDDDDDD},
    {"appText2", 0x444444, 0xBBBBBB}, {"appText3", 0x666666, 0x999999},
    {"appText4", 0x888888, 0x777777}, {"appText5", 0x808080, 0x808080},
    {"appGray", 0x929292, 0x6D6D6D}, {"appDarkGray", 0x4C4B52, 0xBBBBBB},
    {"appLightGray", 0xC5C5C5, 0x565656}, {"appBlue", 0x007AFF, 0x0A84FF},
    {"appRoyalBlue", 0x1A61CC, 0x67B3FF}, {"appLightRoyalBlue", 0x2776E2, 0x2776E2},
    {"appDarkBlue", 0x004080, 0x67B3FF}, {"appLightBlue", 0x4A93F4, 0x086ACC},
    {"appViolet", 0x444FF0, 0x444FF0}, {"appGreen", 0x499159, 0x499159},
    {"appLightGreen", 0x6FBC80, 0x6FBC80}, {"appRed", 0xE73B29, 0xF04533},
    {"appDarkRed", 0xC7362E, 0xC7362E}, {"appLightRed", 0xDE5D4F, 0xD93C2B},
    {"appOrange", 0xEE8F03, 0xD98100}, {"appDarkOrange", 0xD17005, 0xD17005},
    {"appYellow", 0xFFCC00, 0xFFCC00}, {"appLightYellow", 0xFEDC57, 0xFEDC57},
    {"appTextPriceUp", 0x007AFF, 0x0A84FF}, {"appTextPriceDown", 0xE73B29, 0xF04533},
    {"appTextPriceNone", 0x000000, 0xFFFFFF}, {"appTextSL", 0xDE5D4F, 0xD93C2B},
    {"appTextTP", 0x14B52F, 0x14B52F}, {"appTextStopsActive", 0xFFCC00, 0xFFCC00},
    {"appTextBalance", 0x569F39, 0x569F39}, {"appTextClose", 0xEE8F02, 0xEE8F02},
    {"appTextBookSell", 0xD1B2CE, 0x50204A}, {"appTextBookBuy", 0xACC8E4, 0x1A3252},
    {"appBack", 0xFFFFFF, 0x000000}, {"appBack0t", 0xFFFFFF, 0x1C1C1E},
    {"appBack1", 0xF8F8F8, 0x070707}, {"appBack1t", 0xF8F8F8, 0x1C1C1E},
    {"appBack2", 0xF0F0F0, 0x0F0F0F}, {"appBack3", 0xE0E0E0, 0x1F1F1F},
    {"appBack4", 0xDDDDDD, 0x222222}, {"appBack6", 0xBEBEBE, 0x414141},
    {"appBack7", 0xB0B0B0, 0x4F4F4F}, {"appBack8", 0xAAAAAA, 0x555555},
    {"appBackSL", 0xFFD0D0, 0x4C0902}, {"appBackLightSL", 0xFFE6E6, 0x320601},
    {"appBackTP", 0xC5FFC0, 0x023B02}, {"appBackLightTP", 0xDFFFDC, 0x012201},
    {"appBackStopsActive", 0xFFFFA0, 0x4F4001}, {"appBackLightStopsActive", 0xFFF0B4, 0x352B01},
    {"appBackPriceUp", 0x007AFF, 0x086ACC}, {"appBackPriceDown", 0xDF5647, 0xD93C2B},
    {"appBackBookSell", 0xFAEDF8, 0x411F3C}, {"appBackBookBuy", 0xEDF3FF, 0x03213F},
    {"tabletBar", 0xF8F8F8, 0x2C2C2E}, {"tabletPage", 0xE1EEFB, 0x616166},
    {"tabletPageText", 0x007AFF, 0xFFFFFF}, {"separatorLight", 0xE9E8EB, 0x323235},
    {"border", 0xCCCCCC, 0x333333}, {"shadow", 0xFFFFFF, 0x000000},
    {"tableSummary", 0xEFF5FA, 0x1F1F1F}, {"tableHeader", 0xFFFFFF, 0x000000},
    {"tableHeaderOrder", 0x69BBE3, 0x1A6C94}, {"tableSelected", 0x3399FF, 0x03213F},
    {"tableRowOdd", 0xF4F8FF, 0x0F0F0F}, {"tableRowEven", 0xFFFFFF, 0x000000},
    {"tableMatchOrders", 0xFFF4E1, 0x3D2101}, {"tableMatchPositions", 0xFEE1D3, 0x2D1002},
    {"menuBack1", 0x9DABBE, 0x9DABBE}, {"menuBack2", 0x4A57AD, 0x4A57AD},
    {"chartSelected", 0x0099FF, 0x0099FF}, {"qibLoginButton", 0xF8B725, 0xF8B725},
    {"qibLoginButtonHighlight", 0xF5C769, 0xD19715}, {"chatMesageSelf", 0xE6F6FF, 0x03213F},
    {"chatMesageCiteSelf", 0x75BBEE, 0x03213F}, {"chatMesageCiteOther", 0xA0B3C5, 0x1F1F1F},
    {"chatMesageService", 0xE5ECF1, 0x0F0F0F}, {"chatMesageServiceText", 0x000000, 0xFFFFFF},
    {"chatMesageFileText", 0x4168C0, 0x345298}, {"chatMesageSubscript", 0x3B3B3B, 0xBBBBBB},
    {"chatMesageURL", 0x04359C, 0x67B3FF}, {"chatMesageURLBack", 0xB1D7FF, 0x004080},
    {"chatMesageCite", 0x04359C, 0x67B3FF},
};
// clang-format on

TEST(Palette, EveryRoleResolvesToItsLightAndDarkValueAsTheAppearanceSays) {
  internal::ColorCacheClear();  // the palette's values fit without eviction from here on
  const auto roles = PaletteRoles();
  ASSERT_EQ(roles.size(), std::size(kPalette));
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < roles.size(); ++i) {
    const Expected& role = kPalette[i];
    SCOPED_TRACE(role.name);
    EXPECT_EQ(roles[i].name, role.name);
    names.insert(roles[i].name);
    const ColorRef colour = roles[i].accessor();
    ASSERT_NE(colour, nullptr);
    ASSERT_EQ(colour->kind(), platform::Color::Kind::kDynamic);
    // Each side is the cache's object for its value; a second call is a new wrapper over them.
    const ColorRef light = colour->Resolved(Appearance::kLight);
    EXPECT_EQ(light, Create::ColorForRGB(role.light));
    EXPECT_EQ(colour->Resolved(Appearance::kDark), Create::ColorForRGB(role.dark));
    EXPECT_EQ(colour->Resolved(Appearance::kUnspecified), light);
    const ColorRef again = roles[i].accessor();
    EXPECT_NE(again, colour);
    EXPECT_EQ(again->Resolved(Appearance::kLight), light);
  }
  EXPECT_EQ(names.size(), roles.size());

  // rgba reads a dynamic colour in the current appearance.
  const ColorRef highlight = UIElements::qibLoginButtonHighlight();
  EXPECT_EQ(Create::rgba(*highlight), 0xFFF5C769u);
  platform::ScopedAppearance dark(Appearance::kDark);
  EXPECT_EQ(Create::rgba(*highlight), 0xFFD19715u);
}

}  // namespace
}  // namespace kelvane
