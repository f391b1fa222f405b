#include "kelvane/colours/palette.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kelvane {
namespace {

using platform::Appearance;

struct Expected {
  const char* name;
  ColorRef (*accessor)() noexcept;
  std::uint32_t light;
  std::uint32_t dark;
};

// The palette as the designers gave it: role, light RRGGBB, dark RRGGBB.
constexpr Expected kPalette[] = {
    {"appText", &UIElements::appText, 0x000000, 0xFFFFFF},
    {"appText1", &UIElements::appText1, 0x222222, 0xDDDDDD},
    {"appText2", &UIElements::appText2, 0x444444, 0xBBBBBB},
    {"appText3", &UIElements::appText3, 0x666666, 0x999999},
    {"appText4", &UIElements::appText4, 0x888888, 0x777777},
    {"appText5", &UIElements::appText5, 0x808080, 0x808080},
    {"appGray", &UIElements::appGray, 0x929292, 0x6D6D6D},
    {"appDarkGray", &UIElements::appDarkGray, 0x4C4B52, 0xBBBBBB},
    {"appLightGray", &UIElements::appLightGray, 0xC5C5C5, 0x565656},
    {"appBlue", &UIElements::appBlue, 0x007AFF, 0x0A84FF},
    {"appRoyalBlue", &UIElements::appRoyalBlue, 0x1A61CC, 0x67B3FF},
    {"appLightRoyalBlue", &UIElements::appLightRoyalBlue, 0x2776E2, 0x2776E2},
    {"appDarkBlue", &UIElements::appDarkBlue, 0x004080, 0x67B3FF},
    {"appLightBlue", &UIElements::appLightBlue, 0x4A93F4, 0x086ACC},
    {"appViolet", &UIElements::appViolet, 0x444FF0, 0x444FF0},
    {"appGreen", &UIElements::appGreen, 0x499159, 0x499159},
    {"appLightGreen", &UIElements::appLightGreen, 0x6FBC80, 0x6FBC80},
    {"appRed", &UIElements::appRed, 0xE73B29, 0xF04533},
    {"appDarkRed", &UIElements::appDarkRed, 0xC7362E, 0xC7362E},
    {"appLightRed", &UIElements::appLightRed, 0xDE5D4F, 0xD93C2B},
    {"appOrange", &UIElements::appOrange, 0xEE8F03, 0xD98100},
    {"appDarkOrange", &UIElements::appDarkOrange, 0xD17005, 0xD17005},
    {"appYellow", &UIElements::appYellow, 0xFFCC00, 0xFFCC00},
    {"appLightYellow", &UIElements::appLightYellow, 0xFEDC57, 0xFEDC57},
    {"appTextPriceUp", &UIElements::appTextPriceUp, 0x007AFF, 0x0A84FF},
    {"appTextPriceDown", &UIElements::appTextPriceDown, 0xE73B29, 0xF04533},
    {"appTextPriceNone", &UIElements::appTextPriceNone, 0x000000, 0xFFFFFF},
    {"appTextSL", &UIElements::appTextSL, 0xDE5D4F, 0xD93C2B},
    {"appTextTP", &UIElements::appTextTP, 0x14B52F, 0x14B52F},
    {"appTextStopsActive", &UIElements::appTextStopsActive, 0xFFCC00, 0xFFCC00},
    {"appTextBalance", &UIElements::appTextBalance, 0x569F39, 0x569F39},
    {"appTextClose", &UIElements::appTextClose, 0xEE8F02, 0xEE8F02},
    {"appTextBookSell", &UIElements::appTextBookSell, 0xD1B2CE, 0x50204A},
    {"appTextBookBuy", &UIElements::appTextBookBuy, 0xACC8E4, 0x1A3252},
    {"appBack", &UIElements::appBack, 0xFFFFFF, 0x000000},
    {"appBack0t", &UIElements::appBack0t, 0xFFFFFF, 0x1C1C1E},
    {"appBack1", &UIElements::appBack1, 0xF8F8F8, 0x070707},
    {"appBack1t", &UIElements::appBack1t, 0xF8F8F8, 0x1C1C1E},
    {"appBack2", &UIElements::appBack2, 0xF0F0F0, 0x0F0F0F},
    {"appBack3", &UIElements::appBack3, 0xE0E0E0, 0x1F1F1F},
    {"appBack4", &UIElements::appBack4, 0xDDDDDD, 0x222222},
    {"appBack6", &UIElements::appBack6, 0xBEBEBE, 0x414141},
    {"appBack7", &UIElements::appBack7, 0xB0B0B0, 0x4F4F4F},
    {"appBack8", &UIElements::appBack8, 0xAAAAAA, 0x555555},
    {"appBackSL", &UIElements::appBackSL, 0xFFD0D0, 0x4C0902},
    {"appBackLightSL", &UIElements::appBackLightSL, 0xFFE6E6, 0x320601},
    {"appBackTP", &UIElements::appBackTP, 0xC5FFC0, 0x023B02},
    {"appBackLightTP", &UIElements::appBackLightTP, 0xDFFFDC, 0x012201},
    {"appBackStopsActive", &UIElements::appBackStopsActive, 0xFFFFA0, 0x4F4001},
    {"appBackLightStopsActive", &UIElements::appBackLightStopsActive, 0xFFF0B4, 0x352B01},
    {"appBackPriceUp", &UIElements::appBackPriceUp, 0x007AFF, 0x086ACC},
    {"appBackPriceDown", &UIElements::appBackPriceDown, 0xDF5647, 0xD93C2B},
    {"appBackBookSell", &UIElements::appBackBookSell, 0xFAEDF8, 0x411F3C},
    {"appBackBookBuy", &UIElements::appBackBookBuy, 0xEDF3FF, 0x03213F},
    {"tabletBar", &UIElements::tabletBar, 0xF8F8F8, 0x2C2C2E},
    {"tabletPage", &UIElements::tabletPage, 0xE1EEFB, 0x616166},
    {"tabletPageText", &UIElements::tabletPageText, 0x007AFF, 0xFFFFFF},
    {"separatorLight", &UIElements::separatorLight, 0xE9E8EB, 0x323235},
    {"border", &UIElements::border, 0xCCCCCC, 0x333333},
    {"shadow", &UIElements::shadow, 0xFFFFFF, 0x000000},
    {"tableSummary", &UIElements::tableSummary, 0xEFF5FA, 0x1F1F1F},
    {"tableHeader", &UIElements::tableHeader, 0xFFFFFF, 0x000000},
    {"tableHeaderOrder", &UIElements::tableHeaderOrder, 0x69BBE3, 0x1A6C94},
    {"tableSelected", &UIElements::tableSelected, 0x3399FF, 0x03213F},
    {"tableRowOdd", &UIElements::tableRowOdd, 0xF4F8FF, 0x0F0F0F},
    {"tableRowEven", &UIElements::tableRowEven, 0xFFFFFF, 0x000000},
    {"tableMatchOrders", &UIElements::tableMatchOrders, 0xFFF4E1, 0x3D2101},
    {"tableMatchPositions", &UIElements::tableMatchPositions, 0xFEE1D3, 0x2D1002},
    {"menuBack1", &UIElements::menuBack1, 0x9DABBE, 0x9DABBE},
    {"menuBack2", &UIElements::menuBack2, 0x4A57AD, 0x4A57AD},
    {"chartSelected", &UIElements::chartSelected, 0x0099FF, 0x0099FF},
    {"qibLoginButton", &UIElements::qibLoginButton, 0xF8B725, 0xF8B725},
    {"qibLoginButtonHighlight", &UIElements::qibLoginButtonHighlight, 0xF5C769, 0xD19715},
    {"chatMesageSelf", &UIElements::chatMesageSelf, 0xE6F6FF, 0x03213F},
    {"chatMesageCiteSelf", &UIElements::chatMesageCiteSelf, 0x75BBEE, 0x03213F},
    {"chatMesageCiteOther", &UIElements::chatMesageCiteOther, 0xA0B3C5, 0x1F1F1F},
    {"chatMesageService", &UIElements::chatMesageService, 0xE5ECF1, 0x0F0F0F},
    {"chatMesageServiceText", &UIElements::chatMesageServiceText, 0x000000, 0xFFFFFF},
    {"chatMesageFileText", &UIElements::chatMesageFileText, 0x4168C0, 0x345298},
    {"chatMesageSubscript", &UIElements::chatMesageSubscript, 0x3B3B3B, 0xBBBBBB},
    {"chatMesageURL", &UIElements::chatMesageURL, 0x04359C, 0x67B3FF},
    {"chatMesageURLBack", &UIElements::chatMesageURLBack, 0xB1D7FF, 0x004080},
    {"chatMesageCite", &UIElements::chatMesageCite, 0x04359C, 0x67B3FF},
};

TEST(Palette, EveryRoleResolvesToItsLightAndDarkValue) {
  internal::ColorCacheClear();  // the palette's values fit without eviction from here on
  for (const Expected& role : kPalette) {
    SCOPED_TRACE(role.name);
    const ColorRef colour = role.accessor();
    ASSERT_NE(colour, nullptr);
    ASSERT_EQ(colour->kind(), platform::Color::Kind::kDynamic);

    const ColorRef dark = colour->Resolved(Appearance::kDark);
    const ColorRef light = colour->Resolved(Appearance::kLight);
    ASSERT_NE(dark, nullptr);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(Create::rgba(*dark), 0xFF000000u | role.dark);
    EXPECT_EQ(Create::rgba(*light), 0xFF000000u | role.light);
    EXPECT_EQ(colour->Resolved(Appearance::kUnspecified), light);

    // The resolved sides are the cache's objects, and a second call is a new wrapper over
    // the same two objects.
    EXPECT_EQ(light, Create::ColorForRGB(role.light));
    EXPECT_EQ(dark, Create::ColorForRGB(role.dark));
    const ColorRef again = role.accessor();
    EXPECT_NE(again, colour);
    EXPECT_EQ(again->Resolved(Appearance::kDark), dark);
  }
}

TEST(Palette, FollowsTheCurrentAppearance) {
  const ColorRef highlight = UIElements::qibLoginButtonHighlight();
  EXPECT_EQ(Create::rgba(*highlight), 0xFFF5C769u);
  {
    platform::ScopedAppearance dark(Appearance::kDark);
    EXPECT_EQ(Create::rgba(*highlight), 0xFFD19715u);
    EXPECT_EQ(Create::rgba(*UIElements::appBack()), 0xFF000000u);
  }
  EXPECT_EQ(Create::rgba(*UIElements::appBack()), 0xFFFFFFFFu);
}

TEST(Palette, RoleListMatchesTheAccessorsInOrder) {
  const auto roles = PaletteRoles();
  ASSERT_EQ(roles.size(), std::size(kPalette));
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < roles.size(); ++i) {
    EXPECT_EQ(roles[i].name, kPalette[i].name);
    EXPECT_EQ(roles[i].accessor, kPalette[i].accessor) << kPalette[i].name;
    names.insert(roles[i].name);
  }
  EXPECT_EQ(names.size(), roles.size());
}

}  // namespace
}  // namespace kelvane
