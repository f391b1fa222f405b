// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/locale_info.h"

#include <gtest/gtest.h>

#include "kelvane/platform/device/device.h"

namespace kelvane::platform {
namespace {

Locale Make(std::string_view id) {
  auto locale = Locale::FromIdentifier(id);
  EXPECT_TRUE(locale.has_value()) << id;
  return locale.value_or(Locale::Current());
}

TEST(LocaleInfo, IdentifiersAreReadInEitherSeparatorAndNormalised) {
  const Locale tw = Make("zh_hant_tw");
  EXPECT_EQ(tw.Identifier() + " " + tw.LanguageCode() + " " + tw.RegionCode(), "zh-Hant-TW zh TW");
  EXPECT_EQ(Make("es-419").RegionCode(), "419");
  EXPECT_EQ(Make("de").RegionCode(), "");
  EXPECT_EQ(Make("pt-BR"), Make("pt_BR"));
  for (const char* bad : {"", "und", "garbage!!", "en US", "-en", "en--US", "e", "en-US\n"}) {
    EXPECT_FALSE(Locale::FromIdentifier(bad).has_value()) << bad;
  }
  EXPECT_FALSE(Locale::FromIdentifier(std::string(300, 'a')).has_value());
}

TEST(LocaleInfo, CurrentLocaleFallsBackWhenTheFactIsUnusable) {
  {
    ScopedDeviceOverrides device({.current_locale = "fr-CH"});
    EXPECT_EQ(Locale::Current().Identifier(), "fr-CH");
  }
  ScopedDeviceOverrides device({.current_locale = "!!"});
  EXPECT_EQ(Locale::Current().Identifier(), "en-US");
}

TEST(LocaleInfo, CurrencyComesFromTheRegionOrTheIdentifiersRequest) {
  // Asked for in lower case; no region, or the world, has no currency.
  // clang-format off
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"de-DE", "EUR"}, {"fr-CH", "CHF"}, {"ja-JP", "JPY"}, {"en-US", "USD"},
      {"en-US-u-cu-eur", "EUR"}, {"en", std::nullopt}, {"en-001", std::nullopt}};
  // clang-format on
  for (const auto& [id, currency] : cases) EXPECT_EQ(Make(id).CurrencyCode(), currency) << id;
}

TEST(LocaleInfo, NamesOfLanguagesAndRegions) {
  EXPECT_EQ(LanguageDisplayName("de", Make("en")), u"German");
  EXPECT_EQ(LanguageDisplayName("pt-BR", Make("en")), u"Portuguese");  // the language part
  EXPECT_EQ(LanguageDisplayName("RU", Make("ru")), u"русский");
  EXPECT_EQ(LanguageDisplayName("qq", Make("en")), std::nullopt);  // no name: not the code back
  EXPECT_EQ(LanguageDisplayName("", Make("en")), std::nullopt);
  EXPECT_EQ(LanguageDisplayName("d e", Make("en")), std::nullopt);

  EXPECT_EQ(RegionDisplayName("de", Make("en")), u"Germany");
  EXPECT_EQ(RegionDisplayName("419", Make("en")), u"Latin America");
  EXPECT_EQ(RegionDisplayName("QQ", Make("en")), std::nullopt);
  for (const char* bad : {"", "D", "DEU", "4", "D1", "_DE"}) {
    EXPECT_EQ(RegionDisplayName(bad, Make("en")), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace kelvane::platform
