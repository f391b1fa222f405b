// SPDX-License-Identifier: Apache-2.0
// NumberFormatter::Make(): the locale's data read through the platform once per locale and
// options, and the formatters kept in a bounded process-wide cache.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "kelvane/numbers/internal/formatter.h"
#include "kelvane/numbers/number_format.h"
#include "kelvane/platform/i18n/number_symbols.h"

namespace kelvane {
namespace {

// Formatters kept at most: enough for every locale and style a client shows at once, and a
// bound on what a stream of made-up locale identifiers can make the process hold.
constexpr std::size_t kCacheLimit = 256;
// Longer identifiers are not locales anyone writes; refused before ICU sees them.
constexpr std::size_t kMaxLocaleLength = 160;

// The locale and every option, as bytes: equal keys are equal arguments.
std::string Key(std::string_view locale, const NumberOptions& options) {
  std::string key(locale);
  key += '\0';
  const auto add = [&key](const auto& field) {
    char bytes[sizeof field];
    std::memcpy(bytes, &field, sizeof field);
    key.append(bytes, sizeof field);
  };
  add(options.style);
  add(options.digits);
  add(options.tick.mantissa());
  add(options.tick.scale());
  add(options.fractional);
  add(options.grouping);
  add(options.rounding);
  add(options.sign.has_value());
  add(options.sign.value_or(SignDisplay::kNegative));
  add(options.currency_display);
  key += options.currency;
  return key;
}

class FormatterCache {
 public:
  std::shared_ptr<const NumberFormatter> Find(const std::string& key) {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) return nullptr;
    found->second.used = ++clock_;
    return found->second.formatter;
  }

  // Keeps `made` under `key`, unless another thread kept one first: then that one is the answer.
  std::shared_ptr<const NumberFormatter> Keep(const std::string& key,
                                              std::shared_ptr<const NumberFormatter> made) {
    std::lock_guard lock(mutex_);
    if (const auto found = entries_.find(key); found != entries_.end()) {
      return found->second.formatter;
    }
    if (entries_.size() >= kCacheLimit) DropOne();
    entries_.emplace(key, Entry{made, ++clock_});
    return made;
  }

 private:
  struct Entry {
    std::shared_ptr<const NumberFormatter> formatter;
    std::uint64_t used;
  };

  // Drops the formatter used longest ago that no caller holds, or, when callers hold them all,
  // the one used longest ago: its callers keep theirs, a later Make() makes a new one.
  void DropOne() {
    auto victim = entries_.end();
    bool victim_free = false;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      const bool free = it->second.formatter.use_count() == 1;
      if (victim == entries_.end() || (free && !victim_free) ||
          (free == victim_free && it->second.used < victim->second.used)) {
        victim = it;
        victim_free = free;
      }
    }
    if (victim != entries_.end()) entries_.erase(victim);
  }

  std::mutex mutex_;
  // Ordered rather than hashed: the keys are callers' text, and a bounded tree needs no seed.
  std::map<std::string, Entry> entries_;
  std::uint64_t clock_ = 0;
};

FormatterCache& Cache() {
  static FormatterCache cache;
  return cache;
}

// The text a currency is shown with, from its affixes with the code and with the symbol: what
// differs between them around the code, without the space the code was given.
std::u16string SymbolOf(const platform::NumberAffixes& with_code,
                        const platform::NumberAffixes& with_symbol, std::u16string_view code) {
  const std::pair<const std::u16string*, const std::u16string*> sides[] = {
      {&with_code.prefix, &with_symbol.prefix}, {&with_code.suffix, &with_symbol.suffix}};
  for (const auto& [coded, symbolled] : sides) {
    const std::size_t at = coded->find(code);
    if (at == std::u16string::npos) continue;
    const std::size_t after = coded->size() - at - code.size();
    std::size_t same_start = 0;
    while (same_start < at && same_start < symbolled->size() &&
           (*coded)[same_start] == (*symbolled)[same_start]) {
      ++same_start;
    }
    std::size_t same_end = 0;
    while (same_end < after && same_end + same_start < symbolled->size() &&
           (*coded)[coded->size() - 1 - same_end] ==
               (*symbolled)[symbolled->size() - 1 - same_end]) {
      ++same_end;
    }
    std::u16string symbol =
        symbolled->substr(same_start, symbolled->size() - same_start - same_end);
    if (!symbol.empty()) return symbol;
  }
  return std::u16string(code);
}

std::shared_ptr<const NumberFormatter> Build(std::string_view locale,
                                             const NumberOptions& options) {
  const auto symbols = platform::ReadNumberSymbols(locale);
  if (!symbols) return nullptr;
  internal::MoneyText money;
  const internal::MoneyText* money_text = nullptr;
  if (options.style == NumberStyle::kMoney) {
    std::string code = options.currency;
    if (code.empty()) code = platform::CurrencyForLocale(locale).value_or("");
    std::transform(code.begin(), code.end(), code.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    money.digits = platform::CurrencyDigits(code);
    if (money.digits < 0) return nullptr;
    auto with_code = platform::MoneyAffixes(*symbols, code, CurrencyDisplay::kCode);
    auto with_symbol = platform::MoneyAffixes(*symbols, code, CurrencyDisplay::kSymbol);
    if (!with_code || !with_symbol) return nullptr;
    const std::u16string code16(code.begin(), code.end());
    money.symbol = SymbolOf(with_code->positive, with_symbol->positive, code16);
    platform::MoneyPattern& shown =
        options.currency_display == CurrencyDisplay::kCode ? *with_code : *with_symbol;
    money.affixes = shown;
    money.decimal = std::move(shown.decimal);
    money.group = std::move(shown.group);
    money.code = std::move(code);
    money_text = &money;
  }
  std::shared_ptr<const platform::PluralRules> plurals;
  if (options.style == NumberStyle::kCompact &&
      std::any_of(symbols->compact.begin(), symbols->compact.end(), [](const auto& form) {
        return form.category != platform::PluralCategory::kOther;
      })) {
    plurals = platform::PluralRules::ForLocale(locale);
  }
  return internal::MakeNumberFormatter(*symbols, options, money_text, std::move(plurals),
                                       std::string(locale));
}

}  // namespace

std::shared_ptr<const NumberFormatter> NumberFormatter::Make(
    std::string_view locale, const NumberOptions& options) noexcept {
  try {
    if (locale.empty() || locale.size() > kMaxLocaleLength || !internal::OptionsValid(options)) {
      return nullptr;
    }
    const std::string key = Key(locale, options);
    if (auto found = Cache().Find(key)) return found;
    // Made outside the lock: reading a locale's data takes a while, and other threads may want
    // other formatters meanwhile.
    auto made = Build(locale, options);
    if (made == nullptr) return nullptr;
    return Cache().Keep(key, std::move(made));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::optional<std::string> CurrencyForLocale(std::string_view locale) noexcept {
  return platform::CurrencyForLocale(locale);
}

}  // namespace kelvane
