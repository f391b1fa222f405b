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
  std::u16string prefix;
  std::u16string suffix;
  friend bool operator==(const NumberAffixes&, const NumberAffixes&) = default;
};

// A pattern's affixes for each sign, with the locale's own signs and percent sign in place.
// The negative ones come from the pattern's negative part where it has one ("¤ -#,##0.00" in
// Dutch), else they are the locale's minus sign before the positive prefix.
struct PatternAffixes {
  NumberAffixes positive;
  NumberAffixes negative;
  friend bool operator==(const PatternAffixes&, const PatternAffixes&) = default;
};

// CLDR's plural categories.
enum class PluralCategory : std::uint8_t { kZero, kOne, kTwo, kFew, kMany, kOther };

// One short compact form: a number of `magnitude` digits before the point (10^magnitude ..
// 10^(magnitude+1) - 1) is shown divided by 10^(magnitude + 1 - zeros), between the affixes.
// "0K" for thousands is magnitude 3, zeros 1; "00K" for ten thousands is magnitude 4, zeros 2.
// A form of zeros 0 stands for CLDR's "0": numbers of that magnitude are shown in full.
struct CompactForm {
  int magnitude = 0;
  int zeros = 0;
  PluralCategory category = PluralCategory::kOther;  // kOther also for a form every category shares
  NumberAffixes affixes;                             // of a positive number
  friend bool operator==(const CompactForm&, const CompactForm&) = default;
};

// A locale's number conventions.
struct NumberSymbols {
  std::string locale;                // the locale ICU read ("de_CH")
  std::u16string digits[10];         // 0 .. 9 of the locale's numbering system
  std::u16string decimal;            // "." or "," or U+066B ...
  std::u16string group;              // "," or "." or U+2019 (Swiss) or U+202F ...
  std::u16string currency_decimal;   // the separators of money where they differ
  std::u16string currency_group;
  std::u16string minus;              // "-", U+2212, or with direction marks (U+200E-)
  std::u16string plus;
  std::u16string percent;
  int primary_grouping = 3;          // digits in the group next to the point; 0: no grouping
  int secondary_grouping = 3;        // digits in the groups further left (2 in India)
  int minimum_grouping_digits = 1;   // 2: 1234 is written whole, 12 345 grouped (Spanish, Polish)
  PatternAffixes decimal_affixes;    // usually empty and the minus sign
  PatternAffixes percent_affixes;    // "%" after, "%" before (Turkish), with spaces as the locale has
  // The currency pattern's affixes, U+00A4 standing for the currency (see MoneyAffixes()).
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

// How money shows its currency.
enum class CurrencyDisplay : std::uint8_t {
  kSymbol,  // the locale's symbol: "$", "CHF", "US$", "€"
  kCode,    // the ISO code: "USD"
};

// The currency pattern of `symbols` with `code` shown as `display` says, and the locale's
// spacing rule applied (a symbol ending in a letter next to the digits is set apart by the
// locale's space: "CHF 12.50" but "$12.50"). kMalformed for a code that is not three letters.
[[nodiscard]] KELVANE_EXPORT Result<PatternAffixes> MoneyAffixes(const NumberSymbols& symbols,
                                                                 std::string_view code,
                                                                 CurrencyDisplay display) noexcept;

// A locale's plural rules, made once and shared.
class KELVANE_EXPORT PluralRules {
 public:
  // The rules of `locale`; null when ICU has none it can make (the root locale's "other" for
  // every number stands in then, as Select() of a null object cannot be called).
  [[nodiscard]] static std::shared_ptr<const PluralRules> ForLocale(
      std::string_view locale) noexcept;
  virtual ~PluralRules() = default;
  // The category of `value` as shown without trailing fraction zeros ("1.2", "3").
  [[nodiscard]] virtual PluralCategory Select(double value) const noexcept = 0;
};

}  // namespace kelvane::platform
