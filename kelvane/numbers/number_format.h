// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/number_format.h
//
// Prices, changes, percentages, compact quantities and money the way traders read them, in any
// locale, and the same texts read back exactly.
//
// A NumberFormatter is made once per locale and options (Make() keeps them: a second Make() with
// the same arguments gives the same object) from the locale's CLDR data, read through ICU when it
// is made; formatting then calls no ICU and allocates nothing when given a buffer. Values are
// exact decimals (kelvane/numbers/decimal.h); a double is taken as its shortest decimal. The texts
// are those of ICU's own number formatter for the same locale and options.
//
// Make() keeps up to 256 formatters for the process. Past that it drops the one used longest ago
// that no caller holds (or, when callers hold them all, the one used longest ago): callers keep
// theirs, and a later Make() with the same arguments makes a new one.
//
// Styles:
//   kPrice    "1,234.50" at the digits given, or at a tick's digits, rounded to the tick (0.25,
//             0.0001); with `fractional` and a tick of 1/32, 1/64, 1/128 or 1/256 the bond
//             market's notation: whole part, '-', two digits of 32nds, then the rest of a 32nd:
//             "99-16" is 99 16/32; "99-16+" is 99 16.5/32 (the '+' a half); with 1/128 "2", "+"
//             or "6" are its quarters ("99-162" is 99 16.25/32); with 1/256 a digit 1-7 is its
//             eighths, 4 written "+" ("99-161" is 99 16.125/32). Negative prices put the
//             locale's minus first. Grouping applies to the whole part; the digits are the
//             locale's, the '-' and '+' stay ASCII.
//   kChange   a price with its sign: "+0.35", "-1.20" (the locale's signs), zero without a sign.
//   kPercent  a value in percent points, "+1.25%" with the locale's percent pattern; signed as
//             `sign` says (by default like a change).
//   kCompact  CLDR's short compact form: "1.2K", "3.4M", "5.6B", "1,2 Mio.", "12万"; rounded to a
//             whole number of the unit, keeping at least two significant digits (1.2K, 12K,
//             123K, 0.0012), unless `digits` asks for a fixed count of fraction digits. A value
//             that rounds up to the next power of ten takes its unit (999,999 is "1M"). Where a
//             locale writes a magnitude in full (CLDR's "0": Japanese 1234), so does the
//             formatter. Grouping in a compact number needs two digits in its top group (1234,
//             12,345). Where a locale's units differ by plural category, the category of the
//             number shown chooses; numbers other than 0 .. 999 and 0.1 .. 9.9 ask the locale's
//             plural rules (ICU) each time.
//   kMoney    money with its currency's digits (2 for CHF, 0 for JPY) unless `digits` is given,
//             its symbol or code, and the locale's placement and spacing: "$1,234.50",
//             "CHF 1’234.50", "1.234,50 €".
//
// Threads: Make() and every member may be called from any thread; a formatter is immutable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/numbers/decimal.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/number_symbols.h"

namespace kelvane {

using platform::CurrencyDisplay;

// What a formatter writes.
enum class NumberStyle : std::uint8_t {
  kPrice,    // "1,234.50"
  kChange,   // "+0.35"
  kPercent,  // "+1.25%"
  kCompact,  // "1.2K"
  kMoney,    // "$1,234.50"
};

// When a sign is shown.
enum class SignDisplay : std::uint8_t {
  // A minus on negative values only; a value that rounds to zero ("-0.001" at two digits) has
  // none.
  kNegative,
  // A plus or a minus; zero has a plus, a negative value that rounds to zero keeps its minus
  // ("-0.00"), as ICU writes them.
  kAlways,
  // A plus or a minus; zero, and a value that rounds to zero, without.
  kExceptZero,
};

// How a formatter writes. Every member has its default, so that designated initializers name
// only what differs: `{.style = NumberStyle::kMoney, .currency = "CHF"}`.
struct NumberOptions {
  // What is written.
  NumberStyle style = NumberStyle::kPrice;
  // Fraction digits 0 .. 18; -1: the tick's scale, else the style's own (2 for prices, changes
  // and percentages, the currency's for money, the compact rule for compact quantities). With a
  // tick and fewer digits than its scale, the value on the tick is rounded again to them.
  int digits = -1;
  // Positive: values are rounded to a multiple of the tick (0.25, 0.0001, 0.05 for cash), shown
  // at its scale unless `digits` says otherwise. Zero: no tick. Compact quantities take none.
  Decimal tick{};
  // With a tick of 1/32, 1/64, 1/128 or 1/256 (0.03125, 0.015625, 0.0078125, 0.00390625), the
  // price or change style and `digits` -1: the 32nds notation above.
  bool fractional = false;
  // False: no group separators at all.
  bool grouping = true;
  // How values are brought to the digits or the tick shown.
  Rounding rounding = Rounding::kHalfEven;
  // Empty: kExceptZero for changes and percentages, kNegative for the rest.
  std::optional<SignDisplay> sign{};
  // Money: an ISO 4217 code in either case; empty for the currency of the locale's region.
  std::string currency{};
  // Money: its symbol ("$", "CHF") or its code ("USD").
  CurrencyDisplay currency_display = CurrencyDisplay::kSymbol;

  // Equal when every option is equal (ticks by value).
  friend bool operator==(const NumberOptions&, const NumberOptions&) = default;
};

// Why text did not read as a number, and where.
enum class NumberParseError : std::uint8_t {
  kNone,               // it read
  kEmpty,              // nothing but spaces
  kUnexpected,         // a character that has no place there, a second sign or symbol
  kMisplacedGrouping,  // a group separator where the locale's grouping has none
  kTooManyDigits,      // more fraction digits than 18, or a value past the decimal's range
  kMissingDigits,      // a sign, symbol or point without digits
  kWrongCurrency,      // a currency symbol or code other than the formatter's
  kBadFraction,        // not two digits of 32nds, 32nds past 31, or a mark the tick lacks
};

// A short English phrase for `error` ("a group separator out of place"), for messages.
[[nodiscard]] KELVANE_EXPORT const char* NumberParseErrorText(NumberParseError error) noexcept;

// What Parse() read: the value, or the error and where the text stopped making sense.
struct NumberParse {
  // The value read; empty on an error.
  std::optional<Decimal> value;
  // Why there is no value; kNone when there is.
  NumberParseError error = NumberParseError::kNone;
  // The UTF-16 unit (the byte, for UTF-8 text) the error stands at; 0 when there is none.
  std::size_t position = 0;
};

// A locale's way of writing one style of number, and of reading it back.
class KELVANE_EXPORT NumberFormatter {
 public:
  // The longest text a formatter writes, in UTF-16 units: Make() refuses locale data whose
  // texts could make a number longer.
  static constexpr std::size_t kMaxUnits = 160;

  // The formatter of `locale` (an ICU or BCP 47 identifier, at most 160 characters) and
  // `options`, made on first use and kept (see above). Null when the locale cannot be read, or
  // the options do not hold together: digits out of -1 .. 18, a negative tick, a tick for
  // compact quantities, `fractional` without a 32nds tick, with digits or outside prices and
  // changes, money without a currency (none given and none for the locale's region) or with a
  // code that is not three ASCII letters.
  [[nodiscard]] static std::shared_ptr<const NumberFormatter> Make(
      std::string_view locale, const NumberOptions& options = {}) noexcept;

  // Formatters are shared through shared_ptr; nothing to release by hand.
  virtual ~NumberFormatter() = default;

  // Writes `value` into `out` and gives the number of UTF-16 units written; 0 (and `out` left
  // in any state) when it does not fit (kMaxUnits always fits) or rounding would leave the
  // decimal's range. Allocates nothing (a compact quantity that asks ICU's plural rules aside).
  [[nodiscard]] virtual std::size_t Format(Decimal value,
                                           std::span<char16_t> out) const noexcept = 0;
  // A double as its shortest decimal; 0 also for NaN, infinities and values past the decimal's
  // range. -0.0 is zero.
  [[nodiscard]] virtual std::size_t Format(double value,
                                           std::span<char16_t> out) const noexcept = 0;
  // The same as a string; empty on failure (memory running out included).
  [[nodiscard]] String Format(Decimal value) const noexcept;
  // A double as a string; empty on failure.
  [[nodiscard]] String Format(double value) const noexcept;
  // The same as UTF-8; empty on failure.
  [[nodiscard]] std::string FormatUtf8(Decimal value) const noexcept;

  // Reads `text` as this formatter writes it, or as a user types it in its locale, and never
  // guesses. The number: the locale's digits or ASCII ones, the locale's decimal separator,
  // grouping optional but only where the locale puts it (a space for a space-like separator, an
  // apostrophe for the Swiss one). Around it, once each and in any order, with spaces between
  // as the user likes: a sign (the locale's minus or '-', the locale's plus or '+'; after the
  // number only where the locale writes it there); for money the currency's symbol or code
  // (any case), optional; for percentages the locale's percent sign or '%', optional; for
  // compact quantities the locale's units ("1.2K" is 1200); with the 32nds notation, also
  // "99-16+" (at the tick's scale). Spaces and direction marks around the whole are ignored.
  // The exact decimal, at the digits the text has, or the error and where it stands.
  // Allocates nothing.
  [[nodiscard]] virtual NumberParse Parse(std::u16string_view text) const noexcept = 0;
  // The same for UTF-8 text; the position counts bytes, and a byte that is not UTF-8 is
  // kUnexpected where it stands. Allocates only for texts over 128 bytes.
  [[nodiscard]] NumberParse Parse(std::string_view text) const noexcept;

  // The locale it was made for, as given to Make().
  [[nodiscard]] virtual const std::string& locale() const noexcept = 0;
  // The options it was made with.
  [[nodiscard]] virtual const NumberOptions& options() const noexcept = 0;
};

// The ISO 4217 currency of the region of `locale` ("de-CH" -> "CHF"), any code ICU knows; nullopt
// when the locale has no region ICU can infer one for. NSTools::PreferredCurrency() keeps its
// four-currency table; this is the general question.
[[nodiscard]] KELVANE_EXPORT std::optional<std::string> CurrencyForLocale(
    std::string_view locale) noexcept;

}  // namespace kelvane
