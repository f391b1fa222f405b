// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/device/device.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/threads.h"

namespace kelvane::platform {
namespace {

using testing::ScopedEnvironment;
using Languages = std::vector<std::string>;

TEST(Device, PosixLocaleNamesBecomeIdentifiersAndFactsFollowThePrecedenceOfTheirVariables) {
  // The last but one is an identifier already.
  // clang-format off
  const std::pair<const char*, const char*> names[] = {
      {"pt_BR.UTF-8", "pt-BR"}, {"zh_TW", "zh-TW"}, {"EN_us.iso88591", "en-US"},
      {"es_419.UTF-8", "es-419"}, {"de_DE@euro", "de-DE"}, {"sr_RS@latin", "sr-Latn-RS"},
      {"zh-hant-tw", "zh-Hant-TW"}, {"uk", "uk"}, {"abcdefgh_US", "abcdefgh-US"}};
  // clang-format on
  for (const auto& [posix, identifier] : names) {
    EXPECT_EQ(LocaleIdentifierFromPosix(posix), identifier) << posix;
  }
  for (const char* none :
       {"C", "POSIX", "C.UTF-8", "", "e", "1x_US", "en!", "_US", "toolonglanguage"}) {
    EXPECT_EQ(LocaleIdentifierFromPosix(none), std::nullopt) << none;
  }

  // LANGUAGE, then LC_ALL, LC_MESSAGES, LANG; LC_ALL overrides the rest, and C is no language.
  // The locale comes from LC_TIME before LANG, or the C library's conventions; an empty TZ is UTC.
  // The six variables, then the languages, the locale and the zone they give.
  using Text = const char*;
  // clang-format off
  const std::tuple<Text, Text, Text, Text, Text, Text, Languages, Text, Text> cases[] = {
      {"de:en_GB:C:fr_FR.UTF-8", nullptr, nullptr, "de_DE.UTF-8", "ru_RU.UTF-8", ":Europe/Moscow",
       {"de", "en-GB", "fr-FR"}, "de-DE", "Europe/Moscow"},
      {":", "", "fr_CA.UTF-8", nullptr, "C.UTF-8", "/usr/share/zoneinfo/Asia/Tokyo",
       {"fr-CA"}, "en-US", "Asia/Tokyo"},
      {nullptr, "C", "fr_FR", nullptr, "en_US.UTF-8", "", {}, "en-US", "UTC"}};
  for (const auto& [language, lc_all, lc_messages, lc_time, lang, tz, languages, locale, zone] :
       cases) {
    SCOPED_TRACE(tz);
    ScopedEnvironment env({{"LANGUAGE", language}, {"LC_ALL", lc_all},
                           {"LC_MESSAGES", lc_messages}, {"LC_TIME", lc_time},
                           {"LANG", lang}, {"TZ", tz}});
    // clang-format on
    const DeviceFacts facts = EnvironmentDeviceFacts();
    EXPECT_EQ((std::tuple{facts.preferred_languages, facts.current_locale, facts.time_zone}),
              std::tuple(languages, locale, zone));
  }
}

TEST(Device, OverridesReplaceEachFactSeparatelyAndNest) {
  ScopedEnvironment env({{"LANGUAGE", "it"}, {"LC_ALL", "it_IT.UTF-8"}, {"TZ", "Europe/Rome"}});
  const DeviceOverrides saved = SetDeviceOverrides({});
  {
    ScopedDeviceOverrides outer({.preferred_languages = Languages{"ru-RU", "en"}});
    EXPECT_EQ(PreferredLanguages(), (Languages{"ru-RU", "en"}));
    EXPECT_EQ(CurrentLocaleIdentifier(), "it-IT");  // not overridden: still the environment's
    {
      ScopedDeviceOverrides inner({.current_locale = "de-CH", .time_zone = "Asia/Tokyo"});
      const DeviceFacts facts = CurrentDeviceFacts();  // the languages kept from outer
      EXPECT_EQ((std::tuple{facts.preferred_languages, facts.current_locale, facts.time_zone}),
                std::tuple(Languages{"ru-RU", "en"}, "de-CH", "Asia/Tokyo"));
    }
    EXPECT_EQ(SystemTimeZoneIdentifier(), "Europe/Rome");
    ScopedDeviceOverrides none({.preferred_languages = Languages{}, .current_locale = ""});
    EXPECT_TRUE(PreferredLanguages().empty());      // an empty list is a fact, not "no override"
    EXPECT_EQ(CurrentLocaleIdentifier(), "en-US");  // the current locale is never empty
  }
  EXPECT_EQ(PreferredLanguages(), (Languages{"it"}));
  EXPECT_FALSE(CurrentDeviceOverrides().preferred_languages.has_value());
  SetDeviceOverrides(saved);
}

TEST(Device, OverridesMayChangeWhileOtherThreadsRead) {
  const DeviceOverrides saved = SetDeviceOverrides({.current_locale = "fr-FR"});
  std::atomic<bool> torn{false};
  testing::OnThreads(4, [&](int t) {  // the last thread writes, the others read
    for (int k = 0; k < 3000; ++k) {
      if (t == 3) {
        SetDeviceOverrides({.current_locale = k % 2 ? "fr-FR" : "ja-JP-u-ca-japanese"});
        continue;
      }
      const std::string locale = CurrentLocaleIdentifier();
      if (locale != "fr-FR" && locale != "ja-JP-u-ca-japanese") torn = true;
    }
  });
  EXPECT_FALSE(torn.load());
  SetDeviceOverrides(saved);
}

}  // namespace
}  // namespace kelvane::platform
