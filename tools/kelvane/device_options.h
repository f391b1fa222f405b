// tools/kelvane/device_options.h
//
// The --lang, --locale and --tz options that let a subcommand act as another device would, and
// their checking before they become the device's facts.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/locale_info.h"

namespace kelvane::cli {

struct DeviceOptions {
  std::vector<std::string> languages;
  std::string locale;
  std::string zone;

  void Add(CLI::App* sub) {
    sub->add_option("--lang", languages,
                    "preferred languages, most preferred first (pt-BR,en); default from "
                    "LANGUAGE, LC_ALL, LC_MESSAGES, LANG")
        ->delimiter(',');
    sub->add_option("--locale", locale,
                    "current locale (de-CH); default from LC_ALL, LC_TIME, LANG");
    sub->add_option("--tz", zone, "device time zone (Europe/Berlin); default TZ or the system's");
  }

  // Checks the options and makes them the device's facts; an error message, or empty.
  std::string Apply() const {
    platform::DeviceOverrides overrides;
    for (const std::string& language : languages) {
      if (!platform::Locale::FromIdentifier(language)) {
        return "not a language identifier: " + language;
      }
    }
    if (!languages.empty()) overrides.preferred_languages = languages;
    if (!locale.empty()) {
      if (!platform::Locale::FromIdentifier(locale)) return "not a locale identifier: " + locale;
      overrides.current_locale = locale;
    }
    if (!zone.empty()) {
      if (!platform::TimeZone::Named(zone)) return "unknown time zone: " + zone;
      overrides.time_zone = zone;
    }
    platform::SetDeviceOverrides(std::move(overrides));
    return {};
  }
};

}  // namespace kelvane::cli
