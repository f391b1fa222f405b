// SPDX-License-Identifier: Apache-2.0
// kelvane/colours/palette.h
//
// The application's named interface colours: one accessor per role, each with a fixed light
// value and a fixed dark value (both opaque). An accessor returns a new dynamic colour on every
// call; it shows the dark value in the dark appearance and the light value in every other one,
// and both values come from the colour cache, so a resolved colour is the same object as
// Create::ColorForRGB gives for that value. Several roles share values and are still separate
// accessors, so a screen can change one role without touching another.
//
// Ownership: the caller owns the returned colour; the palette keeps nothing.
//
// Threads: every accessor may be called, and its colour resolved, from any thread.
#pragma once

#include <span>
#include <string_view>

#include "kelvane/colours/color_cache.h"
#include "kelvane/export.h"

namespace kelvane {
namespace UIElements {

// Every accessor: a new dynamic colour, or null only when memory ran out.

// Text shades.
[[nodiscard]] KELVANE_EXPORT ColorRef appText() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appText1() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appText2() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appText3() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appText4() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appText5() noexcept;

// Greys.
[[nodiscard]] KELVANE_EXPORT ColorRef appGray() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appDarkGray() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appLightGray() noexcept;

// Hues.
[[nodiscard]] KELVANE_EXPORT ColorRef appBlue() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appRoyalBlue() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appLightRoyalBlue() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appDarkBlue() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appLightBlue() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appViolet() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appGreen() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appLightGreen() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appRed() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appDarkRed() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appLightRed() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appOrange() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appDarkOrange() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appYellow() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appLightYellow() noexcept;

// Prices, stop-loss and take-profit levels, balance, closing, order book text.
[[nodiscard]] KELVANE_EXPORT ColorRef appTextPriceUp() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextPriceDown() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextPriceNone() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextSL() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextTP() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextStopsActive() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextBalance() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextClose() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextBookSell() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appTextBookBuy() noexcept;

// Background shades.
[[nodiscard]] KELVANE_EXPORT ColorRef appBack() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack0t() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack1() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack1t() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack2() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack3() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack4() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack6() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack7() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBack8() noexcept;

// Backgrounds of SL/TP levels, active stops, price movement and the order book.
[[nodiscard]] KELVANE_EXPORT ColorRef appBackSL() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackLightSL() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackTP() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackLightTP() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackStopsActive() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackLightStopsActive() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackPriceUp() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackPriceDown() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackBookSell() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef appBackBookBuy() noexcept;

// Tablet bars and pages.
[[nodiscard]] KELVANE_EXPORT ColorRef tabletBar() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tabletPage() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tabletPageText() noexcept;
// separatorLight(), border() and shadow(): separators, borders, shadows.
[[nodiscard]] KELVANE_EXPORT ColorRef separatorLight() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef border() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef shadow() noexcept;

// Tables.
[[nodiscard]] KELVANE_EXPORT ColorRef tableSummary() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tableHeader() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tableHeaderOrder() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tableSelected() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tableRowOdd() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tableRowEven() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tableMatchOrders() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef tableMatchPositions() noexcept;

// Menus.
[[nodiscard]] KELVANE_EXPORT ColorRef menuBack1() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef menuBack2() noexcept;
// The chart selection.
[[nodiscard]] KELVANE_EXPORT ColorRef chartSelected() noexcept;
// The login button.
[[nodiscard]] KELVANE_EXPORT ColorRef qibLoginButton() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef qibLoginButtonHighlight() noexcept;

// Chat messages.
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageSelf() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageCiteSelf() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageCiteOther() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageService() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageServiceText() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageFileText() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageSubscript() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageURL() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageURLBack() noexcept;
[[nodiscard]] KELVANE_EXPORT ColorRef chatMesageCite() noexcept;

}  // namespace UIElements

// One palette role: its accessor's name and the accessor.
struct PaletteRole {
  std::string_view name;            // "appText", ...
  ColorRef (*accessor)() noexcept;  // the accessor of that name
};

// All roles of the palette, in a fixed order (the order the accessors are declared in above),
// for tools that list or preview the palette.
[[nodiscard]] KELVANE_EXPORT std::span<const PaletteRole> PaletteRoles() noexcept;

}  // namespace kelvane
