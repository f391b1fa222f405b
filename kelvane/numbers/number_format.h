// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/number_format.h
//
// Prices, changes, percentages, compact quantities and money the way traders read them, in any
// locale, and the same texts read back exactly.
//
// A NumberFormatter is made once per locale and options (Make() keeps them: a second Make() with
// the same arguments gives the same object) from the locale's CLDR data, read through ICU when it
// is made; formatting then calls no ICU and allocates nothing when given a buffer. Values are
// exact decimals (kelvane/numbers/decimal.h); a double is taken as its shortest decimal.
//
// Styles:
//   kPrice    "1,234.50" at the digits given, or at a tick's digits, rounded to the tick (0.25,
//             0.0001); with `fractional` and a tick of 1/32, 1/64, 1/128 or 1/256 the bond
//             market's notation: whole part, '-', two digits of 32nds, then the rest of a 32nd:
//             "99-16" is 99 16/32; "99-16+" is 99 16.5/32 (the '+' a half); with 1/128 "2", "+"
//             or "6" are its quarters ("99-162" is 99 16.25/32); with 1/256 a digit 1-7 is its
//             eighths, 4 written "+" ("99-161" is 99 16.125/32). Negative prices put the
//             locale's minus first. Grouping applies to the whole part; the '-' stays ASCII.
//   kChange   a price with its sign: "+0.35", "-1.20" (the locale's signs), zero without a sign.
//   kPercent  a value in percent points, "+1.25%" with the locale's percent pattern; signed as
//             `sign` says (by default like a change).
//   kCompact  CLDR's short compact form: "1.2K", "3.4M", "5.6B", "1,2 Mio.", "12万"; rounded to a
//             whole number of the unit, keeping at least two significant digits (1.2K, 12K,
//             123K), unless `digits` asks for a fixed count of fraction digits. Grouping in a
//             compact number needs two digits in its top group (1234, 12,345).
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
enum class NumberStyle : std::uint8_t { kPrice, kChange, kPercent, kCompact, kMoney };

// When a sign is shown.
enum class SignDisplay : std::uint8_t {
  kNegative,    // a minus on negative values only
  kAlways,      // a plus or a minus, on zero a plus
  kExceptZero,  // a plus or a minus, zero without
};

// How a formatter writes.
struct NumberOptions {
  NumberStyle style = NumberStyle::kPrice;
  // Fraction digits 0 .. 18; -1: the tick's scale, else the style's own (2 for prices, changes
  // and percentages, the currency's for money, the compact rule for compact quantities).
  int digits = -1;
  // Positive: values are rounded to a multiple of the tick, shown at its digits unless `digits`
  // says otherwise. Zero: no tick.
  Decimal tick;
  // With a tick of 1/32, 1/64, 1/128 or 1/256 (0.03125, 0.015625, 0.0078125, 0.00390625) and
  // the price or change style: the 32nds notation above.
  bool fractional = false;
  bool grouping = true;
  Rounding rounding = Rounding::kHalfEven;
  // Empty: kExceptZero for changes and percentages, kNegative for the rest.
  std::optional<SignDisplay> sign;
  // Money: an ISO 4217 code; empty for the currency of the locale's region.
  std::string currency;
  CurrencyDisplay currency_display = CurrencyDisplay::kSymbol;

  friend bool operator==(const NumberOptions&, const NumberOptions&) = default;
};

// Why text did not read as a number, and where.
enum class NumberParseError : std::uint8_t {
  kNone,
  kEmpty,              // nothing but spaces
  kUnexpected,         // a character that has no place there
  kMisplacedGrouping,  // a group separator where the locale's grouping has none
  kTooManyDigits,      // more fraction digits than 18, or a value past the decimal's range
  kMissingDigits,      // a sign, symbol or point without digits
  kWrongCurrency,      // a currency symbol or code other than the formatter's
  kBadFraction,        // 32nds past 31, or a sub-32nd mark that the tick does not have
};

// A short English phrase for `error` ("a group separator out of place"), for messages.
[[nodiscard]] KELVANE_EXPORT const char* NumberParseErrorText(NumberParseError error) noexcept;

// What Parse() read: the value, or the error and the UTF-16 unit (or UTF-8 byte, for the UTF-8
// form) where the text stopped making sense.
struct NumberParse {
  std::optional<Decimal> value;
  NumberParseError error = NumberParseError::kNone;
  std::size_t position = 0;
};

class KELVANE_EXPORT NumberFormatter {
 public:
  // The longest text a formatter writes, in UTF-16 units.
  static constexpr std::size_t kMaxUnits = 160;

  // The formatter of `locale` (an ICU or BCP 47 identifier) and `options`, made on first use and
  // kept for the process. Null when the locale cannot be read, or the options do not hold
  // together: digits out of 0 .. 18, a negative tick, `fractional` without a 32nds tick or
  // outside prices and changes, money without a currency (none given and none for the locale's
  // region) or with a code that is not three letters.
  [[nodiscard]] static std::shared_ptr<const NumberFormatter> Make(
      std::string_view locale, const NumberOptions& options = {}) noexcept;

  virtual ~NumberFormatter() = default;

  // Writes `value` into `out` and gives the number of UTF-16 units written; 0 (and `out` left
  // in any state) when it does not fit (kMaxUnits always fits) or rounding would leave the
  // decimal's range. Allocates nothing.
  [[nodiscard]] virtual std::size_t Format(Decimal value,
                                           std::span<char16_t> out) const noexcept = 0;
  // A double as its shortest decimal; 0 also for NaN and infinities.
  [[nodiscard]] virtual std::size_t Format(double value,
                                           std::span<char16_t> out) const noexcept = 0;
  // The same as a string; empty on failure (memory running out included).
  [[nodiscard]] String Format(Decimal value) const noexcept;
  // A double as a string; empty on failure.
  [[nodiscard]] String Format(double value) const noexcept;
  // The same as UTF-8; empty on failure.
  [[nodiscard]] std::string FormatUtf8(Decimal value) const noexcept;

  // Reads `text` as this formatter writes it, or as a user types it in its locale: grouping
  // optional but only where the locale puts it, either the locale's minus or '-', and '+' where
  // a sign may stand; for money the currency's symbol or code on either side; spaces around
  // the whole ignored. The exact decimal, at the digits the text has (a compact quantity
  // multiplied out: "1.2K" is 1200), or the error and where.
  [[nodiscard]] virtual NumberParse Parse(std::u16string_view text) const noexcept = 0;
  // The same for UTF-8 text; the position counts bytes.
  [[nodiscard]] NumberParse Parse(std::string_view text) const noexcept;

  // What it was made with.
  [[nodiscard]] virtual const std::string& locale() const noexcept = 0;
  [[nodiscard]] virtual const NumberOptions& options() const noexcept = 0;
};

// The ISO 4217 currency of the region of `locale` ("de-CH" -> "CHF"), any code ICU knows; nullopt
// when the locale has no region ICU can infer one for. NSTools::PreferredCurrency() keeps its
// four-currency table; this is the general question.
[[nodiscard]] KELVANE_EXPORT std::optional<std::string> CurrencyForLocale(
    std::string_view locale) noexcept;

}  // namespace kelvane
