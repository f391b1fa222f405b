// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/internal/formatter.h
//
// The one implementation of NumberFormatter, made from plain locale data, and the factory that
// NumberFormatter::Make() calls once it has read that data through the platform. Tests call the
// factory directly with hand-made symbols. Formatting lives in number_format.cc, reading in
// number_parse.cc. Not installed.
//
// Threads: a Formatter is immutable once made; any thread may use it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kelvane/numbers/decimal.h"
#include "kelvane/numbers/internal/number_writer.h"
#include "kelvane/numbers/number_format.h"
#include "kelvane/platform/i18n/number_symbols.h"

namespace kelvane::internal {

// Money's texts for one currency in one locale.
struct MoneyText {
  std::string code;       // "CHF"
  int digits = 2;         // its fraction digits (0 for "JPY")
  std::u16string symbol;  // the locale's symbol for it ("CHF", "$", "€")
  // The affixes with the currency shown as the options ask, the minus sign in place, and the
  // currency pattern's grouping.
  platform::PatternAffixes affixes;
  std::u16string decimal;  // the separators money is written with
  std::u16string group;
};

// The formatter of `options` over `symbols`. `money` is needed for the money style, `plurals`
// for compact forms that differ by plural category (null: every number is "other"); `locale` is
// what locale() gives. Null when the options do not hold together (as Make() says), the money
// style has no money, the symbols lack a digit, or they cannot write every number within
// kMaxUnits.
[[nodiscard]] std::shared_ptr<const NumberFormatter> MakeNumberFormatter(
    const platform::NumberSymbols& symbols, const NumberOptions& options,
    const MoneyText* money = nullptr,
    std::shared_ptr<const platform::PluralRules> plurals = nullptr,
    std::string locale = {}) noexcept;

// Whether `options` hold together, before any locale data is read.
[[nodiscard]] bool OptionsValid(const NumberOptions& options) noexcept;

// The prefix and suffix of each sign a number may be shown with.
struct SignedAffixes {
  platform::NumberAffixes positive;  // zero and positive numbers without a sign
  platform::NumberAffixes negative;  // with the minus sign
  platform::NumberAffixes plus;      // with the plus sign
};

// A compact unit: the text around a number divided by 10^power.
struct CompactUnit {
  platform::PluralCategory category = platform::PluralCategory::kOther;
  bool full = false;  // CLDR's "0": the number is shown in full, with the plain affixes
  SignedAffixes affixes;
};

// The forms of one magnitude (a power of ten).
struct CompactMagnitude {
  int power = 0;  // the value is shown divided by 10^power
  std::vector<CompactUnit> units;
};

// A text that Parse() recognises next to the number, in the form it compares: direction marks
// removed, every kind of space as ' '.
struct ParseToken {
  std::u16string text;
  int power = 0;        // the power of ten a compact unit stands for; -1: two of them
  bool before = false;  // written before the number
  // Set apart from the number by a space. Some locales tell two units only by that space
  // (Bengali: "347 কো" is 347 x 10^7, "834কো" 834 x 10^9).
  bool spaced = false;
};

// What Parse() reads besides digits, prepared when the formatter is made.
struct Vocabulary {
  NumberStyle style = NumberStyle::kPrice;
  std::u16string minus;  // the locale's signs, as compared
  std::u16string plus;
  std::u16string percent;
  std::u16string decimal;  // the separators of the style, as compared
  std::u16string group;
  int primary = 3;  // the style's grouping
  int secondary = 3;
  bool sign_after = false;  // the locale writes the minus sign after the number
  std::u16string code;      // money
  std::u16string symbol;
  std::vector<ParseToken> units;  // compact units, longest first
  int fraction_parts = 0;         // 32, 64, 128 or 256 with the 32nds notation
  Decimal tick;                   // the 32nds' tick
};

// Reads `text` with `vocabulary` and `digits`: what Formatter::Parse() does.
[[nodiscard]] NumberParse ReadNumber(std::u16string_view text, const Vocabulary& vocabulary,
                                     const DigitSet& digits) noexcept;

class Formatter final : public NumberFormatter {
 public:
  // REQUIRES: the arguments passed MakeNumberFormatter's checks.
  Formatter(const platform::NumberSymbols& symbols, const NumberOptions& options,
            const MoneyText* money, std::shared_ptr<const platform::PluralRules> plurals,
            std::string locale);

  using NumberFormatter::Format;
  using NumberFormatter::Parse;
  std::size_t Format(Decimal value, std::span<char16_t> out) const noexcept override;
  std::size_t Format(double value, std::span<char16_t> out) const noexcept override;
  NumberParse Parse(std::u16string_view text) const noexcept override;
  const std::string& locale() const noexcept override { return locale_; }
  const NumberOptions& options() const noexcept override { return options_; }

  // The longest text this formatter can write, in units.
  [[nodiscard]] std::size_t WorstCase() const noexcept;

 private:
  // A number rounded as the style says: |mantissa| x 10^-scale, `negative` the sign of the value
  // before rounding (so that -0.001 may still show a minus where the sign display wants one).
  struct Rounded {
    std::uint64_t magnitude;
    int scale;
    bool negative;
  };

  // The affixes of a rounded number of `magnitude`, by the sign display.
  [[nodiscard]] const platform::NumberAffixes& AffixesFor(const SignedAffixes& affixes,
                                                          bool negative,
                                                          std::uint64_t magnitude) const noexcept;
  std::size_t WriteFixed(const Rounded& rounded, std::span<char16_t> out) const noexcept;
  // A value already on its tick (if any): the 32nds notation, or rounded to the digits shown.
  std::size_t WriteRounded(Decimal value, bool negative, std::span<char16_t> out) const noexcept;
  std::size_t WriteFractional(const Rounded& rounded, std::span<char16_t> out) const noexcept;
  std::size_t WriteCompact(Decimal value, bool negative, std::span<char16_t> out) const noexcept;
  [[nodiscard]] platform::PluralCategory CategoryOf(std::uint64_t magnitude,
                                                    int scale) const noexcept;
  [[nodiscard]] const CompactUnit* UnitFor(int magnitude, std::uint64_t shown,
                                           int shown_scale) const noexcept;
  [[nodiscard]] int PowerFor(int magnitude) const noexcept;

  std::string locale_;
  NumberOptions options_;
  SignDisplay sign_;
  int shown_ = 2;           // fraction digits of the fixed styles; -1 for the compact rule
  int fraction_parts_ = 0;  // 32, 64, 128 or 256 with the 32nds notation
  DigitSet digits_;
  Layout layout_;
  SignedAffixes affixes_;

  // Compact quantities.
  std::vector<CompactMagnitude> compact_;  // index: magnitude
  bool by_category_ = false;               // whether some magnitude's units differ by category
  std::shared_ptr<const platform::PluralRules> plurals_;
  // The categories of the whole numbers 0 .. 999 and of 0.1 .. 9.9 by tenths, read when made, so
  // that the usual compact numbers ask no plural rules.
  std::array<platform::PluralCategory, 1000> whole_categories_{};
  std::array<platform::PluralCategory, 100> tenth_categories_{};

  Vocabulary vocabulary_;
};

}  // namespace kelvane::internal
