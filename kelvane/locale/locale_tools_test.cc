#include "kelvane/locale/locale_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kelvane/platform/device.h"
#include "kelvane/text/buffer_copy.h"

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
  {
    ScopedDeviceOverrides device(Device({"pt-BR", "en-US"}));
    EXPECT_EQ(Language(), u"pt");
  }
  {
    ScopedDeviceOverrides device(Device({"uk"}));
    EXPECT_EQ(Language(), u"uk");
  }
  {
    ScopedDeviceOverrides device(Device({"zh-Hant-TW"}));
    EXPECT_EQ(Language(), u"zh");
  }
  ScopedDeviceOverrides device(Device({}, "sv-FI"));
  EXPECT_EQ(Language(), u"sv");  // no preferred language: the current locale's
}

TEST(LocaleTools, CodePageTable) {
  const std::pair<const char*, unsigned int> rows[] = {
      {"en", 1252}, {"ru", 1251}, {"de", 1252}, {"fr", 1252}, {"ja", 932},  {"ar", 1256},
      {"nl", 1252}, {"it", 1252}, {"es", 1252}, {"pt", 1252}, {"da", 1252}, {"fi", 1252},
      {"nb", 1252}, {"sv", 1252}, {"ko", 949},  {"pl", 1250}, {"tr", 1254}, {"uk", 1251},
      {"hr", 1250}, {"cs", 1250}, {"el", 1253}, {"he", 1255}, {"ro", 1250}, {"sk", 1250},
      {"th", 874},  {"id", 1252}, {"ms", 1252}, {"ca", 1252}, {"hu", 1250}, {"vi", 1258}};
  for (const auto& [language, codepage] : rows) {
    EXPECT_EQ(CodepageFor(language), codepage) << language;
    EXPECT_EQ(CodepageFor(std::string(language) + "-XX"), codepage) << language;
  }
  EXPECT_EQ(CodepageFor("pt-BR"), 1252u);
  EXPECT_EQ(CodepageFor("ru-RU"), 1251u);
  EXPECT_EQ(CodepageFor("EL-gr"), 1253u);  // case is ignored
  EXPECT_EQ(CodepageFor("sr-Latn"), 1252u);
  EXPECT_EQ(CodepageFor("hi-IN"), 1252u);
  EXPECT_EQ(CodepageFor("no"), 1252u);  // only "nb" is in the table
  ScopedDeviceOverrides none(Device({}, "ru-RU"));
  EXPECT_EQ(WindowsCodepage(), 1252u);  // no preferred language: not the current locale's
}

TEST(LocaleTools, ChineseCodePageIsDecidedByTheWholeIdentifier) {
  EXPECT_EQ(CodepageFor("zh-Hans-CN"), 936u);
  EXPECT_EQ(CodepageFor("zh-Hant-HK"), 950u);
  EXPECT_EQ(CodepageFor("zh-HK"), 950u);
  EXPECT_EQ(CodepageFor("zh-TW"), 950u);
  EXPECT_EQ(CodepageFor("ZH-hant"), 950u);
  EXPECT_EQ(CodepageFor("zh-Hans-HK"), 936u);  // the script decides before the region
  EXPECT_EQ(CodepageFor("zh"), 936u);
  EXPECT_EQ(CodepageFor("zh-SG"), 936u);
  EXPECT_EQ(CodepageFor("zh-MO"), 936u);
}

TEST(LocaleTools, DefaultEncodingIsTheWindowsCodePageNumber) {
  {
    ScopedDeviceOverrides device(Device({"ru-RU"}));
    EXPECT_EQ(DefaultASCIIEncoding(), 1251u);
  }
  {
    ScopedDeviceOverrides device(Device({"pl-PL"}));
    EXPECT_EQ(DefaultASCIIEncoding(), 1250u);
  }
  ScopedDeviceOverrides device(Device({"zh-Hant-TW"}));
  EXPECT_EQ(DefaultASCIIEncoding(), 950u);
}

TEST(LocaleTools, WindowsLanguageCodeIsThePrimaryLanguage) {
  {
    ScopedDeviceOverrides device(Device({"en-GB"}));
    EXPECT_EQ(WindowsLangCode(), 0x09u);
  }
  {
    ScopedDeviceOverrides device(Device({"ru"}));
    EXPECT_EQ(WindowsLangCode(), 0x19u);
  }
  {
    ScopedDeviceOverrides device(Device({"zh-Hans-CN"}));
    EXPECT_EQ(WindowsLangCode(), 0x04u);  // the Chinese LCIDs share primary language 4
  }
  ScopedDeviceOverrides device(Device({"qq"}));
  EXPECT_EQ(WindowsLangCode(), 0u);
}

TEST(LocaleTools, NamesOfLanguages) {
  ScopedDeviceOverrides device(Device({"ru-RU"}));
  EXPECT_EQ(LanguageNameForLocale(u"de", std::nullopt), u"German");
  EXPECT_EQ(LanguageNameForLocale(u"de", u"fr"), u"allemand");
  EXPECT_EQ(LanguageNameForLocale(u"qq", u"en"), std::nullopt);
  EXPECT_EQ(LanguageNameForLocale(u"de", u"!!"), std::nullopt);  // no locale from that
  EXPECT_EQ(LanguageNameForLocale(u"dé", u"en"), std::nullopt);  // not a code
  EXPECT_EQ(LanguageNameForLang(std::nullopt), u"Russian");
  EXPECT_EQ(LanguageNameForLang(u"de-DE"), u"Russisch");
  EXPECT_EQ(LanguageNameForLang(u"ru"), u"русский");
}

TEST(LocaleTools, NamesOfCountries) {
  ScopedDeviceOverrides device(Device({"en"}, "de-CH"));
  EXPECT_EQ(Country(u"DE"), u"Germany");
  EXPECT_EQ(Country(u"jp"), u"Japan");
  EXPECT_EQ(Country(std::nullopt), u"Switzerland");  // the current locale's region, in English
  EXPECT_EQ(Country(u""), std::nullopt);
  EXPECT_EQ(Country(u"QQ"), std::nullopt);
  EXPECT_EQ(CountryLocalized(u"FR"), u"Frankreich");  // in the current locale's language
  EXPECT_EQ(CountryLocalized(u""), std::nullopt);
  EXPECT_EQ(CountryLocalized(std::nullopt), std::nullopt);
  ScopedDeviceOverrides no_region(Device({"en"}, "de"));
  EXPECT_EQ(Country(std::nullopt), std::nullopt);
}

TEST(LocaleTools, LocaleForCurrentLanguageFallsBackToTheCurrentLocale) {
  {
    ScopedDeviceOverrides device(Device({"pt-BR", "en"}, "de-DE"));
    EXPECT_EQ(LocaleForCurrentLanguage().Identifier(), "pt-BR");
  }
  {
    ScopedDeviceOverrides device(Device({}, "de-DE"));
    EXPECT_EQ(LocaleForCurrentLanguage().Identifier(), "de-DE");
  }
  ScopedDeviceOverrides device(Device({"not a language"}, "fr-CA"));
  EXPECT_EQ(LocaleForCurrentLanguage().Identifier(), "fr-CA");
}

TEST(LocaleTools, PreferredCurrencyIsOneOfFourOrNone) {
  const std::pair<const char*, std::optional<std::u16string>> cases[] = {
      {"de-DE", u"EUR"},          {"fr-CH", u"CHF"},
      {"ja-JP", u"JPY"},          {"en-GB", u"GBP"},
      {"en-US-u-cu-eur", u"EUR"}, {"en-US", std::nullopt},
      {"ru-RU", std::nullopt},    {"en", std::nullopt},
      {"en-001", std::nullopt},   {"de-DE-u-cu-usd", std::nullopt}};
  for (const auto& [locale, currency] : cases) {
    ScopedDeviceOverrides device(Device({"en"}, locale));
    EXPECT_EQ(PreferredCurrency(), currency) << locale;
  }
}

// The device's default 8-bit encoding is what the narrowing copy expects: a Russian device
// writes Cyrillic as code page 1251 bytes, a Polish one Polish letters as 1250 bytes, and text
// the device's code page cannot hold is refused rather than mangled.
TEST(LocaleTools, DefaultEncodingNarrowsTextForTheDevice) {
  char buffer[16];
  {
    ScopedDeviceOverrides device(Device({"ru-RU"}, "ru-RU"));
    ASSERT_EQ(DefaultASCIIEncoding(), 1251u);
    ASSERT_TRUE(GetCString(u"Привет", buffer, sizeof(buffer), DefaultASCIIEncoding()));
    EXPECT_EQ(std::string(buffer), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_FALSE(GetCString(u"Zażółć", buffer, sizeof(buffer), DefaultASCIIEncoding()));
  }
  {
    ScopedDeviceOverrides device(Device({"pl-PL"}, "pl-PL"));
    ASSERT_EQ(DefaultASCIIEncoding(), 1250u);
    ASSERT_TRUE(GetCString(u"Zażółć", buffer, sizeof(buffer), DefaultASCIIEncoding()));
    EXPECT_EQ(std::string(buffer), "Za\xBF\xF3\xB3\xE6");
    EXPECT_FALSE(GetCString(u"Привет", buffer, sizeof(buffer), DefaultASCIIEncoding()));
  }
}

}  // namespace
}  // namespace kelvane::NSTools
