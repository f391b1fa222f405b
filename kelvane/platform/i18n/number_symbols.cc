// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/number_symbols.h"

#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>
#include <unicode/numsys.h>
#include <unicode/plurrule.h>
#include <unicode/ucurr.h>
#include <unicode/udata.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/ures.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/i18n/internal/cldr_bundles.h"
#include "kelvane/platform/i18n/locale_info.h"

namespace kelvane::platform {
namespace {

using internal::BundleChain;
using internal::DataLocale;
using internal::StringOf;
using Bundle = icu::LocalUResourceBundlePointer;
using Path = BundleChain::Path;

constexpr char16_t kCurrencySign = u'\u00A4';
constexpr const char* kCurrencyTree = U_ICUDATA_NAME U_TREE_SEPARATOR_STRING "curr";
// The largest power of ten ICU keeps compact forms for.
constexpr int kMaxMagnitude = 19;

// clang-format off
constexpr std::array<std::pair<std::string_view, PluralCategory>, 6> kCategories = {{
    {"zero", PluralCategory::kZero}, {"one", PluralCategory::kOne}, {"two", PluralCategory::kTwo},
    {"few", PluralCategory::kFew}, {"many", PluralCategory::kMany}, {"other", PluralCategory::kOther}}};
// clang-format on

template <typename Char>
std::optional<PluralCategory> CategoryNamed(std::basic_string_view<Char> name) {
  for (const auto& [key, category] : kCategories) {
    if (std::equal(name.begin(), name.end(), key.begin(), key.end())) return category;
  }
  return std::nullopt;
}

Error Malformed(std::string message) { return Error{ErrorKind::kMalformed, std::move(message)}; }

std::u16string Text(const icu::UnicodeString& text) {
  if (text.isBogus()) return {};
  return std::u16string(text.getBuffer(), static_cast<std::size_t>(text.length()));
}

// The `key` pattern ICU formats with: the numbering system's own, then latn's. Root's patterns
// for the other systems mostly point to the latn pattern of the locale asked for, which a bundle
// opened on its own cannot show, so root's entry counts only where it differs from root's latn.
std::optional<std::u16string> FindPattern(const BundleChain& chain, const std::string& system,
                                          const char* key) {
  if (system != "latn") {
    for (const BundleChain::Link& link : chain.links()) {
      const Path path = {"NumberElements", system.c_str(), "patterns", key};
      auto own = StringOf(BundleChain::Lookup(link.bundle.getAlias(), path).getAlias());
      if (!own || (link.name == "root" &&
                   own == StringOf(BundleChain::Lookup(link.bundle.getAlias(),
                                                       {"NumberElements", "latn", "patterns", key})
                                       .getAlias()))) {
        continue;
      }
      return own;
    }
  }
  return StringOf(chain.Find({"NumberElements", "latn", "patterns", key}).getAlias());
}

// A number pattern's affixes (U+00A4 kept for the currency) and grouping, and the zeros of its
// number part.
struct Pattern {
  PatternAffixes affixes;
  int zeros = 0;
};

bool IsNumberChar(char16_t c) {
  return c == u'#' || c == u'@' || c == u',' || c == u'.' || (c >= u'0' && c <= u'9');
}

// The end of affix text from `at`: the next number character (with `to_number`) or ';' outside
// quotes.
std::size_t AffixEnd(std::u16string_view pattern, std::size_t at, bool to_number) {
  bool quoted = false;
  for (; at < pattern.size(); ++at) {
    const char16_t c = pattern[at];
    if (c == u'\'') {
      quoted = !quoted;
    } else if (!quoted && (c == u';' || (to_number && IsNumberChar(c)))) {
      break;
    }
  }
  return at;
}

// One affix as shown: quotes removed ('' is an apostrophe), the pattern's signs and percent sign
// replaced by the locale's, and a run of currency signs kept as one placeholder.
std::u16string Affix(std::u16string_view text, const NumberSymbols& symbols) {
  std::u16string out;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\'') {
      if (i + 1 < text.size() && text[i + 1] == u'\'') {
        out += u'\'';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (quoted) {
      out += c;
    } else if (c == u'-') {
      out += symbols.minus;
    } else if (c == u'+') {
      out += symbols.plus;
    } else if (c == u'%') {
      out += symbols.percent;
    } else if (c != kCurrencySign || out.empty() || out.back() != kCurrencySign) {
      out += c;
    }
  }
  return out;
}

struct Subpattern {
  NumberAffixes affixes;
  std::u16string_view number;
  std::size_t end;
};

// The subpattern at `start`: prefix, number part, suffix, up to ';' or the end.
Subpattern Split(std::u16string_view pattern, std::size_t start, const NumberSymbols& symbols) {
  const std::size_t number = AffixEnd(pattern, start, true);
  std::size_t suffix = number;
  while (suffix < pattern.size() && IsNumberChar(pattern[suffix])) ++suffix;
  const std::size_t end = AffixEnd(pattern, suffix, false);
  return {{Affix(pattern.substr(start, number - start), symbols),
           Affix(pattern.substr(suffix, end - suffix), symbols)},
          pattern.substr(number, suffix - number),
          end};
}

Pattern ParsePattern(std::u16string_view text, const NumberSymbols& symbols) {
  Pattern pattern;
  const Subpattern positive = Split(text, 0, symbols);
  pattern.affixes.positive = positive.affixes;
  pattern.zeros =
      static_cast<int>(std::count(positive.number.begin(), positive.number.end(), u'0'));
  // Grouping as ICU reads it: the digits after the last ',' of the whole part, and between the
  // last two; one ',' repeats its group, none is no grouping.
  const std::u16string_view whole = positive.number.substr(0, positive.number.find(u'.'));
  const std::size_t last = whole.rfind(u',');
  int& primary = pattern.affixes.primary_grouping;
  int& secondary = pattern.affixes.secondary_grouping;
  primary = secondary = 0;
  if (last != std::u16string_view::npos && last + 1 < whole.size()) {
    primary = static_cast<int>(whole.size() - last - 1);
    const std::size_t before = last == 0 ? std::u16string_view::npos : whole.rfind(u',', last - 1);
    secondary = before == std::u16string_view::npos || before + 1 == last
                    ? primary
                    : static_cast<int>(last - before - 1);
  }
  if (positive.end < text.size()) {
    pattern.affixes.negative = Split(text, positive.end + 1, symbols).affixes;
  } else {
    pattern.affixes.negative = {symbols.minus + positive.affixes.prefix, positive.affixes.suffix};
  }
  return pattern;
}

// The compact patterns of each magnitude and plural category, the most specific bundle's first.
using CompactSlots =
    std::array<std::array<std::optional<std::u16string>, kCategories.size()>, kMaxMagnitude + 1>;

void MergeCompact(const UResourceBundle* table, CompactSlots& slots) {
  if (table == nullptr) return;
  for (int32_t i = 0; i < ures_getSize(table); ++i) {
    UErrorCode status = U_ZERO_ERROR;
    const Bundle forms(ures_getByIndex(table, i, nullptr, &status));
    const char* key = U_SUCCESS(status) ? ures_getKey(forms.getAlias()) : nullptr;
    const std::string_view power = key == nullptr ? "" : key;
    // Keys are powers of ten ("1000"); the magnitude is their count of zeros.
    if (power.empty() || power.size() > kMaxMagnitude + 1 || power[0] != '1' ||
        power.find_first_not_of('0', 1) != std::string_view::npos) {
      continue;
    }
    auto& row = slots[power.size() - 1];
    for (int32_t j = 0; j < ures_getSize(forms.getAlias()); ++j) {
      UErrorCode form_status = U_ZERO_ERROR;
      const Bundle form(ures_getByIndex(forms.getAlias(), j, nullptr, &form_status));
      const char* plural = U_SUCCESS(form_status) ? ures_getKey(form.getAlias()) : nullptr;
      const auto category = CategoryNamed(std::string_view(plural == nullptr ? "" : plural));
      if (!category) continue;
      auto& slot = row[static_cast<std::size_t>(*category)];
      if (!slot) slot = StringOf(form.getAlias());
    }
  }
}

// The short compact forms. Root's tables for systems other than latn point to the latn forms of
// the locale asked for (see FindPattern), so latn's fill whatever the system's own leave open.
std::vector<CompactForm> ReadCompact(const BundleChain& chain, const std::string& system,
                                     const NumberSymbols& symbols) {
  CompactSlots slots;
  if (system != "latn") {
    for (const BundleChain::Link& link : chain.links()) {
      if (link.name == "root") continue;
      const Path path = {"NumberElements", system.c_str(), "patternsShort", "decimalFormat"};
      MergeCompact(BundleChain::Lookup(link.bundle.getAlias(), path).getAlias(), slots);
    }
  }
  for (const BundleChain::Link& link : chain.links()) {
    const Path path = {"NumberElements", "latn", "patternsShort", "decimalFormat"};
    MergeCompact(BundleChain::Lookup(link.bundle.getAlias(), path).getAlias(), slots);
  }
  std::vector<CompactForm> forms;
  for (int magnitude = 0; magnitude <= kMaxMagnitude; ++magnitude) {
    std::vector<CompactForm> row;
    for (std::size_t c = 0; c < kCategories.size(); ++c) {
      const std::optional<std::u16string>& text = slots[static_cast<std::size_t>(magnitude)][c];
      if (!text) continue;
      CompactForm form{magnitude, 0, kCategories[c].second, {}};
      // "0" is CLDR's "no compact form here", which also stops the fallback to the parents.
      if (*text != u"0") {
        const Pattern pattern = ParsePattern(*text, symbols);
        form.zeros = pattern.zeros;
        form.affixes = pattern.affixes.positive;
      }
      row.push_back(std::move(form));
    }
    // A category written as "other" is left to it, so a magnitude of one pattern has one form.
    if (!row.empty() && row.back().category == PluralCategory::kOther) {
      const CompactForm other = row.back();
      std::erase_if(row, [&](const CompactForm& form) {
        return form.category != PluralCategory::kOther && form.zeros == other.zeros &&
               form.affixes == other.affixes;
      });
    }
    std::move(row.begin(), row.end(), std::back_inserter(forms));
  }
  return forms;
}

// A currency code in upper case, zero-terminated for ICU, when `code` is three ASCII letters.
std::optional<std::array<char16_t, 4>> IsoCode(std::string_view code) {
  if (code.size() != 3) return std::nullopt;
  std::array<char16_t, 4> iso{};
  for (std::size_t i = 0; i < 3; ++i) {
    if (!ascii::IsAlpha(code[i])) return std::nullopt;
    iso[i] = static_cast<char16_t>(ascii::ToUpper(code[i]));
  }
  return iso;
}

// The pattern, decimal and group separator that the locale of `id` gives currency `iso` (null:
// the locale's own currency) of its own, where it does (euros in English of continental Europe).
std::optional<std::array<std::u16string, 3>> OwnCurrencyFormat(const std::string& id,
                                                               const UChar* iso) {
  UChar own_currency[4] = {};
  UErrorCode code_status = U_ZERO_ERROR;
  if (iso == nullptr && ucurr_forLocale(id.c_str(), own_currency, 4, &code_status) == 3) {
    iso = own_currency;
  }
  if (iso == nullptr ||
      !std::all_of(iso, iso + 3, [](UChar c) { return c >= u'A' && c <= u'Z'; })) {
    return std::nullopt;
  }
  const std::string key(iso, iso + 3);
  const Bundle own = BundleChain(kCurrencyTree, id).Find({"Currencies", key.c_str()});
  if (!own.isValid() || ures_getSize(own.getAlias()) < 3) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const Bundle format(ures_getByIndex(own.getAlias(), 2, nullptr, &status));
  std::array<std::u16string, 3> parts;
  for (int32_t i = 0; i < 3 && U_SUCCESS(status); ++i) {
    int32_t length = 0;
    const UChar* part = ures_getStringByIndex(format.getAlias(), i, &length, &status);
    if (U_SUCCESS(status)) parts[static_cast<std::size_t>(i)].assign(part, part + length);
  }
  if (U_FAILURE(status)) return std::nullopt;
  return parts;
}

// Whether ICU sets the currency text `shown` apart from the digits on the side `suffix` says:
// when its character next to the number is in the locale's match set (by default neither a
// symbol nor a space) and the digits are in the surrounding set (by default all digits).
bool NeedsSpace(const icu::DecimalFormatSymbols& locale_symbols, const NumberSymbols& symbols,
                const icu::UnicodeString& shown, bool suffix) {
  if (shown.isEmpty()) return false;
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeSet match(
      locale_symbols.getPatternForCurrencySpacing(UNUM_CURRENCY_MATCH, suffix, status), status);
  const icu::UnicodeSet digits(
      locale_symbols.getPatternForCurrencySpacing(UNUM_CURRENCY_SURROUNDING_MATCH, suffix, status),
      status);
  if (U_FAILURE(status)) return false;
  if (!match.contains(suffix ? shown.char32At(0) : shown.char32At(shown.length() - 1))) {
    return false;
  }
  return std::all_of(std::begin(symbols.digits), std::end(symbols.digits), [&](const auto& digit) {
    return !digit.empty() &&
           digits.contains(
               icu::UnicodeString(digit.data(), static_cast<int32_t>(digit.size())).char32At(0));
  });
}

// Money's affixes with the currency text in place of the placeholder, and the locale's space
// where the currency meets the digits.
NumberAffixes PlaceCurrency(NumberAffixes affixes, std::u16string_view shown,
                            const std::u16string& after_prefix,
                            const std::u16string& before_suffix) {
  const bool prefix_ends = !affixes.prefix.empty() && affixes.prefix.back() == kCurrencySign;
  const bool suffix_starts = !affixes.suffix.empty() && affixes.suffix.front() == kCurrencySign;
  for (std::u16string* text : {&affixes.prefix, &affixes.suffix}) {
    for (std::size_t at = text->find(kCurrencySign); at != std::u16string::npos;
         at = text->find(kCurrencySign, at + shown.size())) {
      text->replace(at, 1, shown);
    }
  }
  if (prefix_ends) affixes.prefix += after_prefix;
  if (suffix_starts) affixes.suffix.insert(0, before_suffix);
  return affixes;
}

class IcuPluralRules final : public PluralRules {
 public:
  explicit IcuPluralRules(std::unique_ptr<icu::PluralRules> rules) noexcept
      : rules_(std::move(rules)) {}

  PluralCategory Select(double value) const noexcept override {
    // The keyword fits the string's own buffer: no allocation.
    const icu::UnicodeString keyword = rules_->select(value);
    if (keyword.isBogus()) return PluralCategory::kOther;
    return CategoryNamed(
               std::u16string_view(keyword.getBuffer(), static_cast<std::size_t>(keyword.length())))
        .value_or(PluralCategory::kOther);
  }

 private:
  std::unique_ptr<const icu::PluralRules> rules_;
};

}  // namespace

Result<NumberSymbols> ReadNumberSymbols(std::string_view locale) noexcept {
  try {
    const std::string id = DataLocale(locale);
    if (id.empty()) return Malformed("not a locale identifier");
    const icu::Locale engine_locale(id.c_str());
    UErrorCode status = U_ZERO_ERROR;
    const icu::DecimalFormatSymbols engine_symbols(engine_locale, status);
    const std::unique_ptr<icu::NumberingSystem> system(
        icu::NumberingSystem::createInstance(engine_locale, status));
    if (U_FAILURE(status) || system == nullptr || system->getName() == nullptr) {
      return Error{ErrorKind::kUnsupported, "no number symbols for the locale"};
    }
    using Symbol = icu::DecimalFormatSymbols::ENumberFormatSymbol;
    const auto text = [&](Symbol symbol) { return Text(engine_symbols.getSymbol(symbol)); };
    NumberSymbols symbols;
    symbols.locale = id;
    symbols.digits[0] = text(icu::DecimalFormatSymbols::kZeroDigitSymbol);
    for (int digit = 1; digit < 10; ++digit) {
      // ICU numbers the symbols of one to nine consecutively.
      symbols.digits[digit] =
          text(static_cast<Symbol>(icu::DecimalFormatSymbols::kOneDigitSymbol + digit - 1));
    }
    symbols.decimal = text(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol);
    symbols.group = text(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol);
    symbols.currency_decimal = text(icu::DecimalFormatSymbols::kMonetarySeparatorSymbol);
    symbols.currency_group = text(icu::DecimalFormatSymbols::kMonetaryGroupingSeparatorSymbol);
    symbols.minus = text(icu::DecimalFormatSymbols::kMinusSignSymbol);
    symbols.plus = text(icu::DecimalFormatSymbols::kPlusSignSymbol);
    symbols.percent = text(icu::DecimalFormatSymbols::kPercentSymbol);

    const BundleChain chain(nullptr, id);
    const std::string system_name = system->getName();
    const auto decimal = FindPattern(chain, system_name, "decimalFormat");
    const auto percent = FindPattern(chain, system_name, "percentFormat");
    const auto currency = FindPattern(chain, system_name, "currencyFormat");
    if (!decimal || !percent || !currency) {
      return Error{ErrorKind::kUnsupported, "no number patterns for the locale"};
    }
    const Pattern decimal_pattern = ParsePattern(*decimal, symbols);
    symbols.primary_grouping = decimal_pattern.affixes.primary_grouping;
    symbols.secondary_grouping = decimal_pattern.affixes.secondary_grouping;
    symbols.decimal_affixes = decimal_pattern.affixes;
    symbols.percent_affixes = ParsePattern(*percent, symbols).affixes;
    // ICU formats every currency with the pattern the locale gives its own currency, if any
    // (its separators are already in currency_decimal and currency_group).
    const auto own_format = OwnCurrencyFormat(id, nullptr);
    symbols.currency_affixes =
        ParsePattern(own_format ? (*own_format)[0] : *currency, symbols).affixes;
    const auto minimum =
        StringOf(chain.Find({"NumberElements", "minimumGroupingDigits"}).getAlias());
    if (minimum && minimum->size() == 1 && (*minimum)[0] >= u'1' && (*minimum)[0] <= u'4') {
      symbols.minimum_grouping_digits = (*minimum)[0] - u'0';
    }
    symbols.compact = ReadCompact(chain, system_name, symbols);
    return symbols;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

std::optional<std::string> CurrencyForLocale(std::string_view locale) noexcept {
  try {
    const std::optional<Locale> parsed = Locale::FromIdentifier(locale);
    return parsed ? parsed->CurrencyCode() : std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

int CurrencyDigits(std::string_view code) noexcept {
  const auto iso = IsoCode(code);
  if (!iso) return -1;
  UErrorCode status = U_ZERO_ERROR;
  const int32_t digits =
      ucurr_getDefaultFractionDigitsForUsage(iso->data(), UCURR_USAGE_STANDARD, &status);
  return U_SUCCESS(status) ? digits : -1;
}

Result<MoneyPattern> MoneyAffixes(const NumberSymbols& symbols, std::string_view code,
                                  CurrencyDisplay display) noexcept {
  try {
    const auto iso = IsoCode(code);
    if (!iso) return Malformed("a currency code that is not three letters");
    const std::string id = symbols.locale.empty() ? "root" : DataLocale(symbols.locale);
    if (id.empty()) return Malformed("symbols of a locale that is not an identifier");
    std::u16string shown(iso->data(), 3);
    if (display == CurrencyDisplay::kSymbol) {
      UBool is_choice = false;
      int32_t length = 0;
      UErrorCode status = U_ZERO_ERROR;
      const UChar* name =
          ucurr_getName(iso->data(), id.c_str(), UCURR_SYMBOL_NAME, &is_choice, &length, &status);
      if (U_SUCCESS(status) && name != nullptr && length > 0) shown.assign(name, name + length);
    }

    MoneyPattern money;
    static_cast<PatternAffixes&>(money) = symbols.currency_affixes;
    money.decimal = symbols.currency_decimal;
    money.group = symbols.currency_group;
    if (auto own = OwnCurrencyFormat(id, iso->data())) {
      static_cast<PatternAffixes&>(money) = ParsePattern((*own)[0], symbols).affixes;
      money.decimal = std::move((*own)[1]);
      money.group = std::move((*own)[2]);
    }

    UErrorCode status = U_ZERO_ERROR;
    const icu::DecimalFormatSymbols locale_symbols(icu::Locale(id.c_str()), status);
    if (U_FAILURE(status))
      return Error{ErrorKind::kUnsupported, "no number symbols for the locale"};
    const icu::UnicodeString engine_shown(shown.data(), static_cast<int32_t>(shown.size()));
    const auto gap = [&](bool suffix) {
      if (!NeedsSpace(locale_symbols, symbols, engine_shown, suffix)) return std::u16string();
      return Text(
          locale_symbols.getPatternForCurrencySpacing(UNUM_CURRENCY_INSERT, suffix, status));
    };
    const std::u16string after_prefix = gap(false);
    const std::u16string before_suffix = gap(true);
    money.positive = PlaceCurrency(money.positive, shown, after_prefix, before_suffix);
    money.negative = PlaceCurrency(money.negative, shown, after_prefix, before_suffix);
    return money;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

std::shared_ptr<const PluralRules> PluralRules::ForLocale(std::string_view locale) noexcept {
  try {
    const std::string id = DataLocale(locale);
    if (id.empty()) return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::PluralRules> rules(
        icu::PluralRules::forLocale(icu::Locale(id.c_str()), status));
    if (U_FAILURE(status) || rules == nullptr) return nullptr;
    return std::make_shared<const IcuPluralRules>(std::move(rules));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace kelvane::platform
