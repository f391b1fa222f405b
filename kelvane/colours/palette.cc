// SPDX-License-Identifier: Apache-2.0
#include "kelvane/colours/palette.h"

#include <array>

namespace kelvane {
namespace {

// The palette: role, light value, dark value (RRGGBB). Kept as one list so that the accessors
// and the role table cannot drift apart.
#define KELVANE_PALETTE(X)                       \
  X(appText, 0x000000, 0xFFFFFF)                 \
  X(appText1, 0x222222, 0xDDDDDD)                \
  X(appText2, 0x444444, 0xBBBBBB)                \
  X(appText3, 0x666666, 0x999999)                \
  X(appText4, 0x888888, 0x777777)                \
  X(appText5, 0x808080, 0x808080)                \
  X(appGray, 0x929292, 0x6D6D6D)                 \
  X(appDarkGray, 0x4C4B52, 0xBBBBBB)             \
  X(appLightGray, 0xC5C5C5, 0x565656)            \
  X(appBlue, 0x007AFF, 0x0A84FF)                 \
  X(appRoyalBlue, 0x1A61CC, 0x67B3FF)            \
  X(appLightRoyalBlue, 0x2776E2, 0x2776E2)       \
  X(appDarkBlue, 0x004080, 0x67B3FF)             \
  X(appLightBlue, 0x4A93F4, 0x086ACC)            \
  X(appViolet, 0x444FF0, 0x444FF0)               \
  X(appGreen, 0x499159, 0x499159)                \
  X(appLightGreen, 0x6FBC80, 0x6FBC80)           \
  X(appRed, 0xE73B29, 0xF04533)                  \
  X(appDarkRed, 0xC7362E, 0xC7362E)              \
  X(appLightRed, 0xDE5D4F, 0xD93C2B)             \
  X(appOrange, 0xEE8F03, 0xD98100)               \
  X(appDarkOrange, 0xD17005, 0xD17005)           \
  X(appYellow, 0xFFCC00, 0xFFCC00)               \
  X(appLightYellow, 0xFEDC57, 0xFEDC57)          \
  X(appTextPriceUp, 0x007AFF, 0x0A84FF)          \
  X(appTextPriceDown, 0xE73B29, 0xF04533)        \
  X(appTextPriceNone, 0x000000, 0xFFFFFF)        \
  X(appTextSL, 0xDE5D4F, 0xD93C2B)               \
  X(appTextTP, 0x14B52F, 0x14B52F)               \
  X(appTextStopsActive, 0xFFCC00, 0xFFCC00)      \
  X(appTextBalance, 0x569F39, 0x569F39)          \
  X(appTextClose, 0xEE8F02, 0xEE8F02)            \
  X(appTextBookSell, 0xD1B2CE, 0x50204A)         \
  X(appTextBookBuy, 0xACC8E4, 0x1A3252)          \
  X(appBack, 0xFFFFFF, 0x000000)                 \
  X(appBack0t, 0xFFFFFF, 0x1C1C1E)               \
  X(appBack1, 0xF8F8F8, 0x070707)                \
  X(appBack1t, 0xF8F8F8, 0x1C1C1E)               \
  X(appBack2, 0xF0F0F0, 0x0F0F0F)                \
  X(appBack3, 0xE0E0E0, 0x1F1F1F)                \
  X(appBack4, 0xDDDDDD, 0x222222)                \
  X(appBack6, 0xBEBEBE, 0x414141)                \
  X(appBack7, 0xB0B0B0, 0x4F4F4F)                \
  X(appBack8, 0xAAAAAA, 0x555555)                \
  X(appBackSL, 0xFFD0D0, 0x4C0902)               \
  X(appBackLightSL, 0xFFE6E6, 0x320601)          \
  X(appBackTP, 0xC5FFC0, 0x023B02)               \
  X(appBackLightTP, 0xDFFFDC, 0x012201)          \
  X(appBackStopsActive, 0xFFFFA0, 0x4F4001)      \
  X(appBackLightStopsActive, 0xFFF0B4, 0x352B01) \
  X(appBackPriceUp, 0x007AFF, 0x086ACC)          \
  X(appBackPriceDown, 0xDF5647, 0xD93C2B)        \
  X(appBackBookSell, 0xFAEDF8, 0x411F3C)         \
  X(appBackBookBuy, 0xEDF3FF, 0x03213F)          \
  X(tabletBar, 0xF8F8F8, 0x2C2C2E)               \
  X(tabletPage, 0xE1EEFB, 0x616166)              \
  X(tabletPageText, 0x007AFF, 0xFFFFFF)          \
  X(separatorLight, 0xE9E8EB, 0x323235)          \
  X(border, 0xCCCCCC, 0x333333)                  \
  X(shadow, 0xFFFFFF, 0x000000)                  \
  X(tableSummary, 0xEFF5FA, 0x1F1F1F)            \
  X(tableHeader, 0xFFFFFF, 0x000000)             \
  X(tableHeaderOrder, 0x69BBE3, 0x1A6C94)        \
  X(tableSelected, 0x3399FF, 0x03213F)           \
  X(tableRowOdd, 0xF4F8FF, 0x0F0F0F)             \
  X(tableRowEven, 0xFFFFFF, 0x000000)            \
  X(tableMatchOrders, 0xFFF4E1, 0x3D2101)        \
  X(tableMatchPositions, 0xFEE1D3, 0x2D1002)     \
  X(menuBack1, 0x9DABBE, 0x9DABBE)               \
  X(menuBack2, 0x4A57AD, 0x4A57AD)               \
  X(chartSelected, 0x0099FF, 0x0099FF)           \
  X(qibLoginButton, 0xF8B725, 0xF8B725)          \
  X(qibLoginButtonHighlight, 0xF5C769, 0xD19715) \
  X(chatMesageSelf, 0xE6F6FF, 0x03213F)          \
  X(chatMesageCiteSelf, 0x75BBEE, 0x03213F)      \
  X(chatMesageCiteOther, 0xA0B3C5, 0x1F1F1F)     \
  X(chatMesageService, 0xE5ECF1, 0x0F0F0F)       \
  X(chatMesageServiceText, 0x000000, 0xFFFFFF)   \
  X(chatMesageFileText, 0x4168C0, 0x345298)      \
  X(chatMesageSubscript, 0x3B3B3B, 0xBBBBBB)     \
  X(chatMesageURL, 0x04359C, 0x67B3FF)           \
  X(chatMesageURLBack, 0xB1D7FF, 0x004080)       \
  X(chatMesageCite, 0x04359C, 0x67B3FF)

#define KELVANE_COUNT_ROLE(name, light, dark) +1
constexpr std::size_t kRoleCount = 0 KELVANE_PALETTE(KELVANE_COUNT_ROLE);
#undef KELVANE_COUNT_ROLE

}  // namespace

namespace UIElements {

#define KELVANE_DEFINE_ROLE(name, light, dark) \
  ColorRef name() noexcept { return Create::ColorDynamic(light, dark); }
KELVANE_PALETTE(KELVANE_DEFINE_ROLE)
#undef KELVANE_DEFINE_ROLE

}  // namespace UIElements

std::span<const PaletteRole> PaletteRoles() noexcept {
#define KELVANE_LIST_ROLE(name, light, dark) PaletteRole{#name, &UIElements::name},
  static constexpr std::array<PaletteRole, kRoleCount> kRoles{KELVANE_PALETTE(KELVANE_LIST_ROLE)};
#undef KELVANE_LIST_ROLE
  return kRoles;
}

#undef KELVANE_PALETTE

}  // namespace kelvane
