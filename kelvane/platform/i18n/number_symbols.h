// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/number_symbols.h
//
// A locale's number conventions as CLDR gives them through ICU, read once into plain values so
// that the formatters above the platform never call ICU per number: the numbering system's
// digits, the separators and grouping, the signs, the affixes of the decimal, percent and
// currency patterns, the short compact forms ("1.2K", "3,4 Mio."), currencies and their digits,
// and the plural rules that choose between compact forms.
//
// Threads: every function may be called from any thread; results are values, and a
// PluralRules object may be shared between threads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"

namespace kelvane::platform {

// The text around a number of one sign.
struct NumberAffixes {
  std::u16string prefix;  // before the digits
  std::u16string suffix;  // after the digits
  // Equal when both texts are equal.
  friend bool operator==(const NumberAffixes&, const NumberAffixes&) = default;
};

// A pattern's affixes for each sign, with the locale's own signs and percent sign in place.
// The negative ones come from the pattern's negative part where it has one ("¤ -#,##0.00" in
// Dutch), else they are the locale's minus sign before the positive prefix. The grouping is the
// pattern's own, as in NumberSymbols: percentages and money may group unlike plain numbers
// (Marathi writes 12,34,567 but ₹1,234,567.00).
struct PatternAffixes {
  NumberAffixes positive;      // of zero and positive numbers
  NumberAffixes negative;      // of negative numbers, the minus sign included
  int primary_grouping = 3;    // digits in the group next to the point; 0: no grouping
  int secondary_grouping = 3;  // digits in the groups further left
  // Equal when every member is equal.
  friend bool operator==(const PatternAffixes&, const PatternAffixes&) = default;
};

// CLDR's plural categories.
enum class PluralCategory : std::uint8_t {
  kZero,   // Arabic 0
  kOne,    // English 1; French 0, 1 and 1.5
  kTwo,    // Arabic 2
  kFew,    // Russian 2 to 4, 22 to 24
  kMany,   // Russian 0, 5 to 20
  kOther,  // the rest: fractions in Russian, every number in Japanese
};

// One short compact form: a number from 10^magnitude up to, not including, 10^(magnitude + 1) is
// shown divided by 10^(magnitude + 1 - zeros), between the affixes. "0K" for thousands is
// magnitude 3, zeros 1; "00K" for ten thousands is magnitude 4, zeros 2. A form of zeros 0
// stands for CLDR's "0": numbers of that magnitude are shown in full.
struct CompactForm {
  int magnitude = 0;                                 // the power of ten the form starts at
  int zeros = 0;                                     // the digits shown before the point
  PluralCategory category = PluralCategory::kOther;  // kOther: also every category not listed
  NumberAffixes affixes;                             // of a positive number
  // Equal when every member is equal.
  friend bool operator==(const CompactForm&, const CompactForm&) = default;
};

// A locale's number conventions.
struct NumberSymbols {
  std::string locale;               // the locale ICU read ("de_CH"; "root": unknown language)
  std::u16string digits[10];        // 0 .. 9 of the locale's numbering system
  std::u16string decimal;           // "." or "," or U+066B ...
  std::u16string group;             // "," or "." or U+2019 (Swiss) or U+202F ...
  std::u16string currency_decimal;  // the separators of money where they differ
  std::u16string currency_group;    // "," or "." or U+2019 ... for money
  std::u16string minus;             // "-", U+2212, or with direction marks (U+200E-)
  std::u16string plus;              // "+", or with direction marks
  std::u16string percent;           // "%" or U+066A ...
  int primary_grouping = 3;         // digits in the group next to the point; 0: no grouping
  int secondary_grouping = 3;       // digits in the groups further left (2 in India)
  int minimum_grouping_digits = 1;  // 2: 1234 is written whole, 12 345 grouped (Spanish, Polish)
  PatternAffixes decimal_affixes;   // usually empty and the minus sign
  PatternAffixes percent_affixes;   // "%" after, before (Turkish), spaced as the locale has
  // The currency pattern's affixes, U+00A4 standing for the currency (see MoneyAffixes()): the
  // pattern the locale gives its own currency where it has one, as ICU uses it for every currency.
  PatternAffixes currency_affixes;
  std::vector<CompactForm> compact;  // the short forms, magnitude ascending, then category
};

// The conventions of `locale`, an ICU or BCP 47 identifier ("de-CH", "de_CH", "ar-EG",
// "hi-IN-u-nu-deva"). A language ICU has no data for gets the root locale's conventions, as ICU
// gives them. kMalformed for an empty or ill-formed identifier.
[[nodiscard]] KELVANE_EXPORT Result<NumberSymbols> ReadNumberSymbols(
    std::string_view locale) noexcept;

// The currency of the region of `locale` ("CHF" for "de-CH", "INR" for "hi-IN"), any ISO 4217
// code ICU knows, in upper case; nullopt when the locale names no region ICU can infer one for.
[[nodiscard]] KELVANE_EXPORT std::optional<std::string> CurrencyForLocale(
    std::string_view locale) noexcept;

// The fraction digits money in `code` is shown with (CLDR's standard use: 2 for "CHF", 0 for
// "JPY", 3 for "BHD"); -1 for a code that is not three ASCII letters.
[[nodiscard]] KELVANE_EXPORT int CurrencyDigits(std::string_view code) noexcept;

// Money's affixes with its currency in place, and the separators it is written with: the
// locale's currency_decimal and currency_group, unless the locale gives that currency a pattern
// and separators of its own (English in continental Europe writes euros "€1,234.50", also in
// "en-SE", whose other money reads "1 234,50 £").
struct MoneyPattern : PatternAffixes {
  std::u16string decimal;  // the decimal separator of money in this currency
  std::u16string group;    // its group separator
  // Equal when every member, the affixes' included, is equal.
  friend bool operator==(const MoneyPattern&, const MoneyPattern&) = default;
};

// How money shows its currency.
enum class CurrencyDisplay : std::uint8_t {
  kSymbol,  // the locale's symbol: "$", "CHF", "US$", "€"
  kCode,    // the ISO code: "USD"
};

// The currency pattern of `symbols` (or the currency's own, see MoneyPattern) with `code` shown
// as `display` says, and the locale's spacing rule applied (a symbol ending in a letter next to
// the digits is set apart by the locale's space: "CHF 12.50" but "$12.50"). The code may be in
// either case. kMalformed for a code that is not three ASCII letters, or symbols whose locale
// is not an identifier.
[[nodiscard]] KELVANE_EXPORT Result<MoneyPattern> MoneyAffixes(const NumberSymbols& symbols,
                                                               std::string_view code,
                                                               CurrencyDisplay display) noexcept;

// A locale's plural rules, made once and shared.
class KELVANE_EXPORT PluralRules {
 public:
  // The rules of `locale` (a language ICU has no data for gets root's: "other" for every
  // number); null for an ill-formed identifier or when ICU can make none ("other" stands in
  // then, as Select() of a null object cannot be called).
  [[nodiscard]] static std::shared_ptr<const PluralRules> ForLocale(
      std::string_view locale) noexcept;
  virtual ~PluralRules() = default;
  // The category of `value` as shown without trailing fraction zeros ("1.2", "3").
  [[nodiscard]] virtual PluralCategory Select(double value) const noexcept = 0;
};

}  // namespace kelvane::platform
