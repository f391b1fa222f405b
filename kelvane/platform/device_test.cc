#include "kelvane/platform/device.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace kelvane::platform {
namespace {

// Sets environment variables for one test (a null value unsets) and puts the old ones back.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(std::initializer_list<std::pair<std::string, const char*>> values) {
    for (const auto& [name, value] : values) {
      const char* old = ::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
      if (value) {
        ::setenv(name.c_str(), value, 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

using Languages = std::vector<std::string>;

TEST(Device, PosixLocaleNamesBecomeIdentifiers) {
  EXPECT_EQ(LocaleIdentifierFromPosix("pt_BR.UTF-8"), "pt-BR");
  EXPECT_EQ(LocaleIdentifierFromPosix("zh_TW"), "zh-TW");
  EXPECT_EQ(LocaleIdentifierFromPosix("EN_us.iso88591"), "en-US");
  EXPECT_EQ(LocaleIdentifierFromPosix("es_419.UTF-8"), "es-419");
  EXPECT_EQ(LocaleIdentifierFromPosix("de_DE@euro"), "de-DE");
  EXPECT_EQ(LocaleIdentifierFromPosix("sr_RS@latin"), "sr-Latn-RS");
  EXPECT_EQ(LocaleIdentifierFromPosix("uz_UZ.UTF-8@cyrillic"), "uz-Cyrl-UZ");
  EXPECT_EQ(LocaleIdentifierFromPosix("zh-hant-tw"), "zh-Hant-TW");  // already an identifier
  EXPECT_EQ(LocaleIdentifierFromPosix("ca_ES@valencia"), "ca-ES");
  EXPECT_EQ(LocaleIdentifierFromPosix("uk"), "uk");
  for (const char* none :
       {"C", "POSIX", "C.UTF-8", "", "e", "1x_US", "en!", "_US", "toolonglanguage"}) {
    EXPECT_EQ(LocaleIdentifierFromPosix(none), std::nullopt) << none;
  }
}

TEST(Device, PreferredLanguagesFollowThePosixPrecedence) {
  {
    ScopedEnvironment env({{"LANGUAGE", "de:en_GB:C:fr_FR.UTF-8"},
                           {"LC_ALL", nullptr},
                           {"LC_MESSAGES", nullptr},
                           {"LANG", "ru_RU.UTF-8"}});
    EXPECT_EQ(EnvironmentDeviceFacts().preferred_languages, (Languages{"de", "en-GB", "fr-FR"}));
  }
  {
    ScopedEnvironment env({{"LANGUAGE", ":"},
                           {"LC_ALL", ""},
                           {"LC_MESSAGES", "fr_CA.UTF-8"},
                           {"LANG", "en_US.UTF-8"}});
    EXPECT_EQ(EnvironmentDeviceFacts().preferred_languages, (Languages{"fr-CA"}));
  }
  {
    // LC_ALL overrides the rest, and C stands for no language at all.
    ScopedEnvironment env({{"LANGUAGE", nullptr},
                           {"LC_ALL", "C"},
                           {"LC_MESSAGES", "fr_FR"},
                           {"LANG", "en_US.UTF-8"}});
    EXPECT_TRUE(EnvironmentDeviceFacts().preferred_languages.empty());
  }
}

TEST(Device, CurrentLocaleAndZoneComeFromTheirOwnVariables) {
  {
    ScopedEnvironment env({{"LC_ALL", nullptr},
                           {"LC_TIME", "de_DE.UTF-8"},
                           {"LANG", "en_US.UTF-8"},
                           {"TZ", ":Europe/Moscow"}});
    const DeviceFacts facts = EnvironmentDeviceFacts();
    EXPECT_EQ(facts.current_locale, "de-DE");
    EXPECT_EQ(facts.time_zone, "Europe/Moscow");
  }
  {
    ScopedEnvironment env({{"LC_ALL", nullptr},
                           {"LC_TIME", nullptr},
                           {"LANG", "C.UTF-8"},
                           {"TZ", "/usr/share/zoneinfo/Asia/Tokyo"}});
    const DeviceFacts facts = EnvironmentDeviceFacts();
    EXPECT_EQ(facts.current_locale, "en-US");  // no locale set: the C library's conventions
    EXPECT_EQ(facts.time_zone, "Asia/Tokyo");
  }
  {
    ScopedEnvironment env({{"TZ", ""}});
    EXPECT_EQ(EnvironmentDeviceFacts().time_zone, "UTC");  // as the C library reads it
  }
  {
    ScopedEnvironment env({{"TZ", nullptr}});
    EXPECT_FALSE(EnvironmentDeviceFacts().time_zone.empty());  // the system's configured zone
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
