#include "kelvane/platform/device/device.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/testing/scoped_environment.h"

namespace kelvane::platform {
namespace {

using testing::ScopedEnvironment;
using Languages = std::vector<std::string>;

TEST(Device, PosixLocaleNamesBecomeIdentifiers) {
  // The last but one is an identifier already.
  // clang-format off
  const std::pair<const char*, const char*> names[] = {
      {"pt_BR.UTF-8", "pt-BR"}, {"zh_TW", "zh-TW"}, {"EN_us.iso88591", "en-US"},
      {"es_419.UTF-8", "es-419"}, {"de_DE@euro", "de-DE"}, {"sr_RS@latin", "sr-Latn-RS"},
      {"uz_UZ.UTF-8@cyrillic", "uz-Cyrl-UZ"}, {"ca_ES@valencia", "ca-ES"},
      {"zh-hant-tw", "zh-Hant-TW"}, {"uk", "uk"}};
  // clang-format on
  for (const auto& [posix, identifier] : names) {
    EXPECT_EQ(LocaleIdentifierFromPosix(posix), identifier) << posix;
  }
  for (const char* none :
       {"C", "POSIX", "C.UTF-8", "", "e", "1x_US", "en!", "_US", "toolonglanguage"}) {
    EXPECT_EQ(LocaleIdentifierFromPosix(none), std::nullopt) << none;
  }
}

TEST(Device, PreferredLanguagesFollowThePosixPrecedence) {
  // LANGUAGE, then LC_ALL, LC_MESSAGES, LANG; LC_ALL overrides the rest, and C is no language.
  const std::pair<std::array<const char*, 4>, Languages> cases[] = {
      {{"de:en_GB:C:fr_FR.UTF-8", nullptr, nullptr, "ru_RU.UTF-8"}, {"de", "en-GB", "fr-FR"}},
      {{":", "", "fr_CA.UTF-8", "en_US.UTF-8"}, {"fr-CA"}},
      {{nullptr, "C", "fr_FR", "en_US.UTF-8"}, {}}};
  for (const auto& [values, languages] : cases) {
    ScopedEnvironment env({{"LANGUAGE", values[0]},
                           {"LC_ALL", values[1]},
                           {"LC_MESSAGES", values[2]},
                           {"LANG", values[3]}});
    EXPECT_EQ(EnvironmentDeviceFacts().preferred_languages, languages);
  }
}

TEST(Device, CurrentLocaleAndZoneComeFromTheirOwnVariables) {
  // With no locale set, the C library's conventions; an empty TZ is UTC, as the C library reads
  // it.
  struct Case {
    const char *lc_time, *lang, *tz, *locale, *zone;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", "en_US.UTF-8", ":Europe/Moscow", "de-DE", "Europe/Moscow"},
      {nullptr, "C.UTF-8", "/usr/share/zoneinfo/Asia/Tokyo", "en-US", "Asia/Tokyo"},
      {nullptr, "C.UTF-8", "", "en-US", "UTC"}};
  for (const Case& c : cases) {
    ScopedEnvironment env(
        {{"LC_ALL", nullptr}, {"LC_TIME", c.lc_time}, {"LANG", c.lang}, {"TZ", c.tz}});
    const DeviceFacts facts = EnvironmentDeviceFacts();
    EXPECT_EQ(facts.current_locale, c.locale) << c.tz;
    EXPECT_EQ(facts.time_zone, c.zone) << c.tz;
  }
  ScopedEnvironment env({{"TZ", nullptr}});
  EXPECT_FALSE(EnvironmentDeviceFacts().time_zone.empty());  // the system's configured zone
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
      const DeviceFacts facts = CurrentDeviceFacts();
      EXPECT_EQ(facts.preferred_languages, (Languages{"ru-RU", "en"}));  // kept from outer
      EXPECT_EQ(facts.current_locale, "de-CH");
      EXPECT_EQ(facts.time_zone, "Asia/Tokyo");
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
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      for (int k = 0; k < 3000; ++k) {
        const std::string locale = CurrentLocaleIdentifier();
        if (locale != "fr-FR" && locale != "ja-JP-u-ca-japanese") torn = true;
      }
    });
  }
  for (int k = 0; k < 3000; ++k) {
    SetDeviceOverrides({.current_locale = k % 2 ? "fr-FR" : "ja-JP-u-ca-japanese"});
  }
  for (auto& t : readers) t.join();
  EXPECT_FALSE(torn.load());
  SetDeviceOverrides(saved);
}

}  // namespace
}  // namespace kelvane::platform
