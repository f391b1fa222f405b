// SPDX-License-Identifier: Apache-2.0
#include "kelvane/locale/locale_tools.h"

#include <string>
#include <string_view>
#include <vector>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane::NSTools {
namespace {

struct CodepageRow {
  std::string_view language;
  unsigned int codepage;
};

// Language code -> Windows ANSI code page; the first row that matches wins. Chinese is decided
// by script and region (ChineseCodepage).
constexpr CodepageRow kCodepages[] = {
    {"en", 1252}, {"ru", 1251}, {"de", 1252}, {"fr", 1252}, {"ja", 932},  {"ar", 1256},
    {"nl", 1252}, {"it", 1252}, {"es", 1252}, {"pt", 1252}, {"da", 1252}, {"fi", 1252},
    {"nb", 1252}, {"sv", 1252}, {"ko", 949},  {"pl", 1250}, {"tr", 1254}, {"uk", 1251},
    {"hr", 1250}, {"cs", 1250}, {"el", 1253}, {"he", 1255}, {"ro", 1250}, {"sk", 1250},
    {"th", 874},  {"id", 1252}, {"ms", 1252}, {"ca", 1252}, {"hu", 1250}, {"vi", 1258},
};
constexpr unsigned int kDefaultCodepage = 1252;
constexpr unsigned int kSimplifiedChinese = 936;
constexpr unsigned int kTraditionalChinese = 950;

constexpr std::string_view kWorldCurrencies[] = {"EUR", "CHF", "JPY", "GBP"};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (platform::ascii::ToLower(a[i]) != platform::ascii::ToLower(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The rule tests the whole identifier, script before region: "zh-Hans-HK" is simplified.
unsigned int ChineseCodepage(std::string_view identifier) {
  if (StartsWithIgnoringCase(identifier, "zh-Hans")) return kSimplifiedChinese;
  if (StartsWithIgnoringCase(identifier, "zh-Hant") ||
      StartsWithIgnoringCase(identifier, "zh-HK") || StartsWithIgnoringCase(identifier, "zh-TW")) {
    return kTraditionalChinese;
  }
  return kSimplifiedChinese;
}

std::string_view LanguageCodeOf(std::string_view identifier) {
  return identifier.substr(0, identifier.find('-'));
}

// Identifiers and codes are ASCII; a string with any other unit names nothing.
std::optional<std::string> Ascii(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == 0 || c > 0x7F) return std::nullopt;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

std::optional<std::string> FirstPreferredLanguage() {
  std::vector<std::string> languages = platform::PreferredLanguages();
  if (languages.empty()) return std::nullopt;
  return std::move(languages.front());
}

// Language(), as UTF-8.
std::string LanguageCode() {
  if (auto first = FirstPreferredLanguage()) return std::string(LanguageCodeOf(*first));
  return platform::Locale::Current().LanguageCode();
}

const platform::Locale& EnglishLocale() {
  // Made once and kept: country names are asked for often, always in English.
  static const platform::Locale loc =
      platform::Locale::FromIdentifier("en").value_or(platform::Locale::Current());
  return loc;
}

}  // namespace

String Language() noexcept {
  // Device facts are UTF-8 but not to be trusted; malformed bytes show as U+FFFD.
  String language;
  try {
    if (!platform::Utf8ToUtf16Replacing(LanguageCode(), language)) return {};
  } catch (const std::bad_alloc&) {
    return {};
  }
  return language;
}

std::optional<String> LanguageNameForLang(OptionalString locale) noexcept {
  try {
    return LanguageNameForLocale(Language(), locale);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> LanguageNameForLocale(std::u16string_view language,
                                            OptionalString locale) noexcept {
  try {
    const auto code = Ascii(language);
    if (!code) return std::nullopt;
    if (!locale) return platform::LanguageDisplayName(*code, EnglishLocale());
    const auto id = Ascii(*locale);
    if (!id) return std::nullopt;
    const auto display = platform::Locale::FromIdentifier(*id);
    if (!display) return std::nullopt;
    return platform::LanguageDisplayName(*code, *display);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

platform::Locale LocaleForCurrentLanguage() noexcept {
  try {
    if (auto first = FirstPreferredLanguage()) {
      if (auto locale = platform::Locale::FromIdentifier(*first)) return std::move(*locale);
    }
  } catch (const std::bad_alloc&) {
  }
  return platform::Locale::Current();
}

std::optional<String> Country(OptionalString country) noexcept {
  try {
    std::string code;
    if (country) {
      auto ascii = Ascii(*country);
      if (!ascii) return std::nullopt;
      code = std::move(*ascii);
    } else {
      code = platform::Locale::Current().RegionCode();
    }
    if (code.empty()) return std::nullopt;
    return platform::RegionDisplayName(code, EnglishLocale());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> CountryLocalized(OptionalString country) noexcept {
  try {
    if (!country || country->empty()) return std::nullopt;
    const auto code = Ascii(*country);
    if (!code) return std::nullopt;
    return platform::RegionDisplayName(*code, platform::Locale::Current());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

unsigned int WindowsLangCode() noexcept {
  try {
    return platform::WindowsLocaleCode(LanguageCode()) & 0x3FFu;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

unsigned int WindowsCodepage() noexcept {
  try {
    const auto first = FirstPreferredLanguage();
    if (!first) return kDefaultCodepage;
    const std::string_view code = LanguageCodeOf(*first);
    if (EqualsIgnoringCase(code, "zh")) return ChineseCodepage(*first);
    for (const CodepageRow& row : kCodepages) {
      if (EqualsIgnoringCase(code, row.language)) return row.codepage;
    }
    return kDefaultCodepage;
  } catch (const std::bad_alloc&) {
    return kDefaultCodepage;
  }
}

unsigned int DefaultASCIIEncoding() noexcept { return WindowsCodepage(); }

std::optional<String> PreferredCurrency() noexcept {
  try {
    const auto currency = platform::Locale::Current().CurrencyCode();
    if (!currency) return std::nullopt;
    for (std::string_view entry : kWorldCurrencies) {
      if (EqualsIgnoringCase(*currency, entry)) return String(entry.begin(), entry.end());
    }
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace kelvane::NSTools
