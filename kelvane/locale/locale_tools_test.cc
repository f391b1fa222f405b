// SPDX-License-Identifier: Apache-2.0
#include "kelvane/locale/locale_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "kelvane/platform/device/device.h"

namespace kelvane::NSTools {
namespace {

using platform::DeviceOverrides;
using platform::ScopedDeviceOverrides;
using Languages = std::vector<std::string>;

// The device as a test wants it: these preferred languages and this current locale.
DeviceOverrides Device(Languages languages, std::string locale = "en-US") {
  return {.preferred_languages = std::move(languages), .current_locale = std::move(locale)};
}

unsigned int CodepageFor(const std::string& first_language) {
  ScopedDeviceOverrides device(Device({first_language, "en"}));
  return WindowsCodepage();
}

TEST(LocaleTools, LanguageIsTheFirstPreferredLanguagesCode) {
  // With no preferred language, the current locale's.
  const std::pair<DeviceOverrides, std::u16string> cases[] = {
      {Device({"zh-Hant-TW", "en-US"}), u"zh"}, {Device({}, "sv-FI"), u"sv"}};
  for (const auto& [device, language] : cases) {
    ScopedDeviceOverrides scoped(device);
    EXPECT_EQ(Language(), language);
  }
}

TEST(LocaleTools, CodePageTable) {
  // The first and last rows of the table; the region is ignored, and so is case; a language
  // not in the table takes 1252. For Chinese the whole identifier decides, the script before
  // the region.
  const std::pair<const char*, unsigned int> identifiers[] = {
      {"en", 1252},   {"vi-XX", 1258},  {"EL-gr", 1253},     {"hi-IN", 1252},
      {"zh-HK", 950}, {"ZH-hant", 950}, {"zh-Hans-HK", 936}, {"zh", 936}};
  for (const auto& [identifier, codepage] : identifiers) {
    EXPECT_EQ(CodepageFor(identifier), codepage) << identifier;
  }
  ScopedDeviceOverrides none(Device({}, "ru-RU"));
  EXPECT_EQ(WindowsCodepage(), 1252u);  // no preferred language: not the current locale's
}

TEST(LocaleTools, EncodingAndLanguageCodesFollowTheFirstLanguage) {
  // Chinese LCIDs share primary language 4.
  const std::tuple<const char*, unsigned, unsigned> cases[] = {
      {"pl-PL", 1250, 0x15}, {"zh-Hant-TW", 950, 0x04}, {"qq", 1252, 0}};
  for (const auto& [language, encoding, code] : cases) {
    ScopedDeviceOverrides device(Device({language}));
    EXPECT_EQ(DefaultASCIIEncoding(), encoding) << language;
    EXPECT_EQ(WindowsLangCode(), code) << language;
  }
}

TEST(LocaleTools, NamesOfLanguages) {
  ScopedDeviceOverrides device(Device({"ru-RU"}));
  EXPECT_EQ(LanguageNameForLocale(u"de", std::nullopt), u"German");
  EXPECT_EQ(LanguageNameForLocale(u"de", u"fr"), u"allemand");
  EXPECT_EQ(LanguageNameForLocale(u"de", u"!!"), std::nullopt);  // no locale from that
  EXPECT_EQ(LanguageNameForLocale(u"dé", u"en"), std::nullopt);  // not a code
  EXPECT_EQ(LanguageNameForLang(std::nullopt), u"Russian");
  EXPECT_EQ(LanguageNameForLang(u"ru"), u"русский");
}

TEST(LocaleTools, NamesOfCountries) {
  ScopedDeviceOverrides device(Device({"en"}, "de-CH"));
  EXPECT_EQ(Country(u"jp"), u"Japan");
  EXPECT_EQ(Country(std::nullopt), u"Switzerland");  // the current locale's region, in English
  EXPECT_EQ(Country(u""), std::nullopt);
  EXPECT_EQ(CountryLocalized(u"FR"), u"Frankreich");  // in the current locale's language
  EXPECT_EQ(CountryLocalized(u""), std::nullopt);
  EXPECT_EQ(CountryLocalized(std::nullopt), std::nullopt);
  ScopedDeviceOverrides no_region(Device({"en"}, "de"));
  EXPECT_EQ(Country(std::nullopt), std::nullopt);
}

TEST(LocaleTools, LocaleForCurrentLanguageFallsBackToTheCurrentLocale) {
  const std::pair<DeviceOverrides, std::string> cases[] = {
      {Device({"pt-BR", "en"}, "de-DE"), "pt-BR"},
      {Device({}, "de-DE"), "de-DE"},
      {Device({"not a language"}, "fr-CA"), "fr-CA"}};
  for (const auto& [device, identifier] : cases) {
    ScopedDeviceOverrides scoped(device);
    EXPECT_EQ(LocaleForCurrentLanguage().Identifier(), identifier);
  }
}

TEST(LocaleTools, PreferredCurrencyIsOneOfFourOrNone) {
  // Only euro, franc, yen and pound count; the rest of the region logic is the locale's.
  const std::pair<const char*, std::optional<std::u16string>> cases[] = {
      {"de-DE", u"EUR"}, {"fr-CH", u"CHF"},       {"ja-JP", u"JPY"},
      {"en-GB", u"GBP"}, {"en-US", std::nullopt}, {"en", std::nullopt}};
  for (const auto& [locale, currency] : cases) {
    ScopedDeviceOverrides device(Device({"en"}, locale));
    EXPECT_EQ(PreferredCurrency(), currency) << locale;
  }
}

}  // namespace
}  // namespace kelvane::NSTools
