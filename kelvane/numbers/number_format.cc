// SPDX-License-Identifier: Apache-2.0
#include "kelvane/numbers/number_format.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

#include "kelvane/numbers/internal/formatter.h"
#include "kelvane/numbers/internal/number_writer.h"
#include "kelvane/numbers/internal/powers.h"
#include "kelvane/numbers/internal/round_div.h"
#include "kelvane/numbers/internal/text_match.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane {
namespace internal {
namespace {

using platform::NumberAffixes;
using platform::PatternAffixes;
using platform::PluralCategory;
using Wide = __int128;

// The ticks of the 32nds notation and how many parts of a whole each is.
constexpr std::pair<std::int64_t, int> kFractionTicks[] = {
    {3125, 32}, {15625, 64}, {78125, 128}, {390625, 256}};
constexpr int kFractionTickScales[] = {5, 6, 7, 8};

// How many parts of a whole `tick` is in the 32nds notation; 0 when it is none of its ticks.
int FractionParts(Decimal tick) noexcept {
  for (int i = 0; i < 4; ++i) {
    if (tick == *Decimal::Make(kFractionTicks[i].first, kFractionTickScales[i])) {
      return kFractionTicks[i].second;
    }
  }
  return 0;
}

std::uint64_t Magnitude(std::int64_t mantissa) noexcept {
  return mantissa < 0 ? 0 - static_cast<std::uint64_t>(mantissa)
                      : static_cast<std::uint64_t>(mantissa);
}

Wide Abs(Wide v) noexcept { return v < 0 ? -v : v; }

// The magnitude (power of ten of the first digit) of a non-zero n x 10^exponent.
int MagnitudeOf(Wide n, int exponent) noexcept {
  n = Abs(n);
  int digits = 1;
  for (Wide p = 10; p <= n; p *= 10) ++digits;
  return digits - 1 + exponent;
}

// n x 10^exponent as a count of 10^at, rounded; `at` is raised to `exponent` when below it, as
// the value has no digits there. Empty past 64 bits.
struct Step {
  Wide count;
  int at;
};
std::optional<Step> RoundAt(Wide n, int exponent, int at, Rounding rounding) noexcept {
  if (at <= exponent) return Step{n, exponent};
  // Both lie within -18 .. 18, so at most 36 digits are dropped: 10^36 fits 128 bits.
  const int drop = at - exponent;
  if (drop > 36) return std::nullopt;
  const Wide count = RoundDiv(n, PowerOfTenWide(drop), rounding);
  if (Abs(count) > std::numeric_limits<std::int64_t>::max()) return std::nullopt;
  return Step{count, at};
}

// The money's and the style's affixes with the sign ones derived: the plus sign takes the place
// of the minus sign in the negative affixes, as the locale's patterns put a sign where the minus
// stands (the Dutch "€ -1,00" has "€ +1,00"); where they hold no minus sign it goes first.
SignedAffixes Signed(const PatternAffixes& pattern, const std::u16string& minus,
                     const std::u16string& plus) {
  SignedAffixes out{pattern.positive, pattern.negative, pattern.negative};
  bool replaced = false;
  for (std::u16string* text : {&out.plus.prefix, &out.plus.suffix}) {
    for (std::size_t at = minus.empty() ? std::u16string::npos : text->find(minus);
         at != std::u16string::npos; at = text->find(minus, at + plus.size())) {
      text->replace(at, minus.size(), plus);
      replaced = true;
    }
  }
  if (!replaced) out.plus = {plus + pattern.positive.prefix, pattern.positive.suffix};
  return out;
}

// The affixes of a compact form, whose patterns have no negative part: the sign goes first.
SignedAffixes SignedCompact(const NumberAffixes& positive, const std::u16string& minus,
                            const std::u16string& plus) {
  return {positive,
          {minus + positive.prefix, positive.suffix},
          {plus + positive.prefix, positive.suffix}};
}

std::size_t Units(const NumberAffixes& affixes) noexcept {
  return affixes.prefix.size() + affixes.suffix.size();
}
std::size_t Units(const SignedAffixes& affixes) noexcept {
  return std::max({Units(affixes.positive), Units(affixes.negative), Units(affixes.plus)});
}

}  // namespace

bool OptionsValid(const NumberOptions& options) noexcept {
  if (options.style > NumberStyle::kMoney || options.rounding > Rounding::kCeiling ||
      (options.sign && *options.sign > SignDisplay::kExceptZero) ||
      options.currency_display > CurrencyDisplay::kCode) {
    return false;
  }
  if (options.digits < -1 || options.digits > Decimal::kMaxScale) return false;
  if (options.tick.sign() < 0) return false;
  if (options.fractional) {
    if (options.style != NumberStyle::kPrice && options.style != NumberStyle::kChange) {
      return false;
    }
    if (options.digits != -1 || FractionParts(options.tick) == 0) return false;
  }
  if (options.style == NumberStyle::kCompact && options.tick.sign() > 0) return false;
  if (options.style == NumberStyle::kMoney && !options.currency.empty()) {
    if (options.currency.size() != 3) return false;
    for (const char c : options.currency) {
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
  }
  return true;
}

Formatter::Formatter(const platform::NumberSymbols& symbols, const NumberOptions& options,
                     const MoneyText* money, std::shared_ptr<const platform::PluralRules> plurals,
                     std::string locale)
    : locale_(std::move(locale)),
      options_(options),
      digits_(symbols.digits),
      plurals_(std::move(plurals)) {
  const NumberStyle style = options.style;
  const bool signed_style = style == NumberStyle::kChange || style == NumberStyle::kPercent;
  sign_ = options.sign.value_or(signed_style ? SignDisplay::kExceptZero : SignDisplay::kNegative);
  if (options.digits >= 0) {
    shown_ = options.digits;
  } else if (options.tick.sign() > 0) {
    shown_ = options.tick.scale();
  } else if (style == NumberStyle::kCompact) {
    shown_ = -1;
  } else if (style == NumberStyle::kMoney) {
    shown_ = money->digits;
  }
  if (options.fractional) fraction_parts_ = FractionParts(options.tick);

  layout_ = {symbols.decimal,
             symbols.group,
             symbols.primary_grouping,
             symbols.secondary_grouping,
             symbols.minimum_grouping_digits,
             options.grouping};
  const PatternAffixes* pattern = &symbols.decimal_affixes;
  if (style == NumberStyle::kPercent) {
    pattern = &symbols.percent_affixes;
    layout_.primary = pattern->primary_grouping;
    layout_.secondary = pattern->secondary_grouping;
  } else if (style == NumberStyle::kMoney) {
    pattern = &money->affixes;
    layout_.decimal = money->decimal;
    layout_.group = money->group;
    layout_.primary = money->affixes.primary_grouping;
    layout_.secondary = money->affixes.secondary_grouping;
    vocabulary_.code.assign(money->code.begin(), money->code.end());
    vocabulary_.symbol = Comparable(money->symbol);
  } else if (style == NumberStyle::kCompact) {
    // A compact number is grouped only with two digits in its top group, whatever the locale.
    layout_.minimum = std::max(2, layout_.minimum);
  }
  affixes_ = Signed(*pattern, symbols.minus, symbols.plus);

  Vocabulary& words = vocabulary_;
  words.style = style;
  words.minus = Comparable(symbols.minus);
  words.plus = Comparable(symbols.plus);
  words.percent = Comparable(symbols.percent);
  words.decimal = Comparable(layout_.decimal);
  // A group separator that is a space compares as one.
  words.group = Comparable(layout_.group);
  if (words.group.empty() && !layout_.group.empty()) words.group = u" ";
  words.primary = layout_.primary;
  words.secondary = layout_.secondary;
  words.sign_after = !words.minus.empty() &&
                     Comparable(affixes_.negative.suffix).find(words.minus) != std::u16string::npos;
  words.fraction_parts = fraction_parts_;
  words.tick = options.tick;

  if (style != NumberStyle::kCompact) return;
  // The forms by magnitude. A magnitude divides by the power its first form with digits gives
  // (all of its forms agree); a magnitude without one, or with CLDR's "0", is shown in full.
  int largest = -1;
  for (const platform::CompactForm& form : symbols.compact) {
    if (form.magnitude < 0 || form.magnitude > 18) continue;
    largest = std::max(largest, form.magnitude);
  }
  compact_.resize(static_cast<std::size_t>(largest + 1));
  for (const platform::CompactForm& form : symbols.compact) {
    if (form.magnitude < 0 || form.magnitude > 18) continue;
    CompactMagnitude& magnitude = compact_[static_cast<std::size_t>(form.magnitude)];
    if (form.zeros > 0 && magnitude.power == 0) {
      magnitude.power = std::max(0, form.magnitude + 1 - form.zeros);
    }
    CompactUnit unit;
    unit.category = form.category;
    unit.full = form.zeros == 0;
    unit.affixes = SignedCompact(form.affixes, symbols.minus, symbols.plus);
    magnitude.units.push_back(std::move(unit));
  }
  for (const CompactMagnitude& magnitude : compact_) {
    for (const CompactUnit& unit : magnitude.units) {
      by_category_ = by_category_ || unit.category != PluralCategory::kOther;
      if (unit.full) continue;
      for (const std::u16string* text :
           {&unit.affixes.positive.prefix, &unit.affixes.positive.suffix}) {
        const bool before = text == &unit.affixes.positive.prefix;
        std::u16string marked;  // without direction marks, where a space would show
        for (const char16_t c : *text) {
          if (!IsDirectionMark(c)) marked += c;
        }
        const bool spaced = !marked.empty() && IsSpace(before ? marked.back() : marked.front());
        ParseToken token{Comparable(*text), magnitude.power, before, spaced};
        if (token.text.empty()) continue;
        auto& units = vocabulary_.units;
        auto same = std::find_if(units.begin(), units.end(), [&](const ParseToken& known) {
          return known.text == token.text && known.before == before && known.spaced == spaced;
        });
        if (same == units.end()) {
          units.push_back(std::move(token));
        } else if (same->power != token.power) {
          same->power = -1;  // one text for two powers: read as neither
        }
      }
    }
  }
  // Longest first, so that "Mio." is tried before "M".
  std::stable_sort(
      vocabulary_.units.begin(), vocabulary_.units.end(),
      [](const ParseToken& a, const ParseToken& b) { return a.text.size() > b.text.size(); });
  if (by_category_ && plurals_ != nullptr) {
    for (std::size_t i = 0; i < whole_categories_.size(); ++i) {
      whole_categories_[i] = plurals_->Select(static_cast<double>(i));
    }
    for (std::size_t i = 0; i < tenth_categories_.size(); ++i) {
      tenth_categories_[i] = plurals_->Select(static_cast<double>(i) / 10);
    }
  } else {
    whole_categories_.fill(PluralCategory::kOther);
    tenth_categories_.fill(PluralCategory::kOther);
  }
}

std::size_t Formatter::WorstCase() const noexcept {
  std::size_t affixes = Units(affixes_);
  for (const CompactMagnitude& magnitude : compact_) {
    for (const CompactUnit& unit : magnitude.units)
      affixes = std::max(affixes, Units(unit.affixes));
  }
  // 19 integer digits, their separators, the point and 18 fraction digits, or the 32nds' three.
  std::size_t separators = 0;
  for (int right = 1; right < 19; ++right) separators += layout_.GroupAt(right) ? 1 : 0;
  const std::size_t width = static_cast<std::size_t>(digits_.width());
  return affixes + 19 * width + separators * layout_.group.size() +
         std::max<std::size_t>(layout_.decimal.size() + 18 * width, 1 + 3 * width);
}

const NumberAffixes& Formatter::AffixesFor(const SignedAffixes& affixes, bool negative,
                                           std::uint64_t magnitude) const noexcept {
  switch (sign_) {
    case SignDisplay::kNegative:
      return negative && magnitude != 0 ? affixes.negative : affixes.positive;
    case SignDisplay::kAlways:
      return negative ? affixes.negative : affixes.plus;
    case SignDisplay::kExceptZero:
      if (magnitude == 0) return affixes.positive;
      return negative ? affixes.negative : affixes.plus;
  }
  return affixes.positive;
}

std::size_t Formatter::WriteFixed(const Rounded& rounded, std::span<char16_t> out) const noexcept {
  const NumberAffixes& affixes = AffixesFor(affixes_, rounded.negative, rounded.magnitude);
  Output output(out);
  output.Put(affixes.prefix);
  WriteNumber(output, rounded.magnitude, rounded.scale, shown_, layout_, digits_);
  output.Put(affixes.suffix);
  return output.Finish();
}

std::size_t Formatter::WriteFractional(const Rounded& rounded,
                                       std::span<char16_t> out) const noexcept {
  // In 256ths of a whole: every tick of the notation divides 1/256.
  const Wide parts = Wide{rounded.magnitude} * 256 / PowerOfTenWide(rounded.scale);
  const auto whole = static_cast<std::uint64_t>(parts / 256);
  const int rest = static_cast<int>(parts % 256);
  const int thirty_seconds = rest / 8;
  const int eighths = rest % 8;
  const NumberAffixes& affixes = AffixesFor(affixes_, rounded.negative, rounded.magnitude);
  Output output(out);
  output.Put(affixes.prefix);
  WriteInteger(output, whole, layout_, digits_);
  output.Put(u'-');
  digits_.Put(output, thirty_seconds / 10);
  digits_.Put(output, thirty_seconds % 10);
  if (eighths == 4) {
    output.Put(u'+');
  } else if (eighths != 0) {
    digits_.Put(output, eighths);
  }
  output.Put(affixes.suffix);
  return output.Finish();
}

int Formatter::PowerFor(int magnitude) const noexcept {
  if (magnitude < 0 || compact_.empty()) return 0;
  const auto last = static_cast<int>(compact_.size()) - 1;
  return compact_[static_cast<std::size_t>(std::min(magnitude, last))].power;
}

PluralCategory Formatter::CategoryOf(std::uint64_t magnitude, int scale) const noexcept {
  if (scale == 0 && magnitude < whole_categories_.size()) return whole_categories_[magnitude];
  if (scale == 1 && magnitude < tenth_categories_.size()) return tenth_categories_[magnitude];
  if (plurals_ == nullptr) return PluralCategory::kOther;
  return plurals_->Select(static_cast<double>(magnitude) / kPowersOfTenDouble[scale]);
}

const CompactUnit* Formatter::UnitFor(int magnitude, std::uint64_t shown,
                                      int shown_scale) const noexcept {
  if (magnitude < 0 || compact_.empty()) return nullptr;
  const auto last = static_cast<int>(compact_.size()) - 1;
  const auto& units = compact_[static_cast<std::size_t>(std::min(magnitude, last))].units;
  if (units.empty()) return nullptr;
  const PluralCategory category =
      by_category_ ? CategoryOf(shown, shown_scale) : PluralCategory::kOther;
  const CompactUnit* found = nullptr;
  for (const CompactUnit& unit : units) {
    if (unit.category == category) {
      found = &unit;
      break;
    }
    if (unit.category == PluralCategory::kOther) found = &unit;
  }
  return found == nullptr || found->full ? nullptr : found;
}

std::size_t Formatter::WriteCompact(Decimal value, bool negative,
                                    std::span<char16_t> out) const noexcept {
  const Rounding rounding = options_.rounding;
  const Wide n = value.mantissa();
  const int exponent = -value.scale();
  // Where a number shown divided by 10^power is rounded, in the value's own powers of ten: to a
  // whole number of the unit keeping two significant digits, or at the fixed digits asked for.
  const auto round_at = [&](int magnitude, int power) {
    return (shown_ >= 0 ? -shown_ : std::min(0, magnitude - power - 1)) + power;
  };
  int power = 0;
  std::optional<Step> step;
  if (n == 0) {
    step = RoundAt(n, exponent, shown_ >= 0 ? -shown_ : 0, rounding);
  } else {
    const int magnitude = MagnitudeOf(n, exponent);
    power = PowerFor(magnitude);
    step = RoundAt(n, exponent, round_at(magnitude, power), rounding);
    // Rounding up into the next power of ten (999,999 to 1,000 thousands) may reach a unit of
    // its own: rounded again there it reads 1M.
    if (step && step->count != 0 && MagnitudeOf(step->count, step->at) != magnitude) {
      const int next = PowerFor(magnitude + 1);
      if (next != power) {
        power = next;
        step = RoundAt(step->count, step->at, round_at(magnitude + 1, power), rounding);
      }
    }
  }
  if (!step) return 0;
  std::uint64_t shown = static_cast<std::uint64_t>(Abs(step->count));
  int scale = power - step->at;
  if (shown_ < 0) {
    while (scale > 0 && shown % 10 == 0) {
      shown /= 10;
      --scale;
    }
  }
  if (scale > Decimal::kMaxScale) return 0;
  const int pattern_magnitude = shown == 0 ? power : MagnitudeOf(step->count, step->at);
  const CompactUnit* unit = UnitFor(pattern_magnitude, shown, scale);
  const NumberAffixes& affixes =
      AffixesFor(unit == nullptr ? affixes_ : unit->affixes, negative, shown);
  Output output(out);
  output.Put(affixes.prefix);
  WriteNumber(output, shown, scale, std::max(scale, shown_), layout_, digits_);
  output.Put(affixes.suffix);
  return output.Finish();
}

std::size_t Formatter::WriteRounded(Decimal value, bool negative,
                                    std::span<char16_t> out) const noexcept {
  if (fraction_parts_ != 0) {
    return WriteFractional({Magnitude(value.mantissa()), value.scale(), negative}, out);
  }
  std::int64_t mantissa = value.mantissa();
  int scale = value.scale();
  if (scale > shown_) {
    // Fewer digits: the result stays within the range.
    mantissa = static_cast<std::int64_t>(
        RoundDiv<Wide>(mantissa, PowerOfTenWide(scale - shown_), options_.rounding));
    scale = shown_;
  }
  return WriteFixed({Magnitude(mantissa), scale, negative}, out);
}

std::size_t Formatter::Format(Decimal value, std::span<char16_t> out) const noexcept {
  const bool negative = value.sign() < 0;
  if (options_.style == NumberStyle::kCompact) return WriteCompact(value, negative, out);
  if (options_.tick.sign() > 0) {
    const auto ticked = value.RoundToTick(options_.tick, options_.rounding);
    if (!ticked) return 0;
    return WriteRounded(*ticked, negative, out);
  }
  return WriteRounded(value, negative, out);
}

std::size_t Formatter::Format(double value, std::span<char16_t> out) const noexcept {
  if (!std::isfinite(value)) return 0;
  const bool negative = value < 0;
  if (options_.style == NumberStyle::kCompact) {
    // Enough digits to hold the double's shortest decimal (17 significant digits), so that the
    // compact rounding is the only one.
    const double size = std::fabs(value);
    int digits = Decimal::kMaxScale;
    if (size >= 1) {
      int magnitude = 0;
      while (magnitude < 18 && size >= kPowersOfTenDouble[magnitude + 1]) ++magnitude;
      digits = std::max(0, 16 - magnitude);
    }
    const auto decimal = Decimal::FromDouble(value, digits, options_.rounding);
    if (!decimal) return 0;
    return WriteCompact(*decimal, negative, out);
  }
  if (options_.tick.sign() > 0) {
    const auto ticked = Decimal::FromDouble(value, options_.tick, options_.rounding);
    if (!ticked) return 0;
    return WriteRounded(*ticked, negative, out);
  }
  const auto decimal = Decimal::FromDouble(value, shown_, options_.rounding);
  if (!decimal) return 0;
  return WriteFixed({Magnitude(decimal->mantissa()), shown_, negative}, out);
}

std::shared_ptr<const NumberFormatter> MakeNumberFormatter(
    const platform::NumberSymbols& symbols, const NumberOptions& options, const MoneyText* money,
    std::shared_ptr<const platform::PluralRules> plurals, std::string locale) noexcept {
  try {
    if (!OptionsValid(options)) return nullptr;
    if (options.style == NumberStyle::kMoney &&
        (money == nullptr || money->digits < 0 || money->digits > Decimal::kMaxScale)) {
      return nullptr;
    }
    if (!DigitSet(symbols.digits).valid()) return nullptr;
    auto formatter = std::make_shared<const Formatter>(symbols, options, money, std::move(plurals),
                                                       std::move(locale));
    if (formatter->WorstCase() > NumberFormatter::kMaxUnits) return nullptr;
    return formatter;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace internal

const char* NumberParseErrorText(NumberParseError error) noexcept {
  switch (error) {
    case NumberParseError::kNone:
      return "no error";
    case NumberParseError::kEmpty:
      return "no number";
    case NumberParseError::kUnexpected:
      return "a character out of place";
    case NumberParseError::kMisplacedGrouping:
      return "a group separator out of place";
    case NumberParseError::kTooManyDigits:
      return "too many digits";
    case NumberParseError::kMissingDigits:
      return "a sign or symbol without digits";
    case NumberParseError::kWrongCurrency:
      return "another currency";
    case NumberParseError::kBadFraction:
      return "not a number of 32nds";
  }
  return "unknown error";
}

String NumberFormatter::Format(Decimal value) const noexcept {
  char16_t text[kMaxUnits];
  const std::size_t length = Format(value, std::span<char16_t>(text));
  try {
    return String(text, length);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

String NumberFormatter::Format(double value) const noexcept {
  char16_t text[kMaxUnits];
  const std::size_t length = Format(value, std::span<char16_t>(text));
  try {
    return String(text, length);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string NumberFormatter::FormatUtf8(Decimal value) const noexcept {
  char16_t text[kMaxUnits];
  const std::size_t length = Format(value, std::span<char16_t>(text));
  std::string out;
  if (!platform::Utf16ToUtf8(std::u16string_view(text, length), out)) out.clear();
  return out;
}

}  // namespace kelvane
