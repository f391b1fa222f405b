// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/device_options.h
//
// The --lang, --locale and --tz options that let a subcommand act as another device would: each
// value is checked when the command line is parsed, then made the device's facts.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/platform/i18n/locale_info.h"

namespace kelvane::cli {

struct DeviceOptions {
  std::vector<std::string> languages;
  std::string locale;
  std::string zone;

  static CLI::Validator LocaleIdentifier() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
          return platform::Locale::FromIdentifier(text) ? "" : "'" + text + "' is not a locale";
        },
        "LOCALE");
  }

  // Adds --lang alone, for a command that takes no other device fact.
  static void AddLanguages(CLI::App* sub, std::vector<std::string>& languages) {
    sub->add_option("--lang", languages,
                    "preferred languages, most preferred first (pt-BR,en); default from "
                    "LANGUAGE, LC_ALL, LC_MESSAGES, LANG")
        ->delimiter(',')
        ->check(LocaleIdentifier());
  }

  static void Add(CLI::App* sub, DeviceOptions& o) {
    AddLanguages(sub, o.languages);
    sub->add_option("--locale", o.locale,
                    "current locale (de-CH); default from LC_ALL, LC_TIME, LANG")
        ->check(LocaleIdentifier());
    sub->add_option("--tz", o.zone, "device time zone (Europe/Berlin); default TZ or the system's")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
              return platform::TimeZone::Named(text) ? "" : "'" + text + "' is not a time zone";
            },
            "ZONE"));
  }

  // Makes the options the device's facts.
  void Apply() const {
    platform::DeviceOverrides overrides;
    if (!languages.empty()) overrides.preferred_languages = languages;
    if (!locale.empty()) overrides.current_locale = locale;
    if (!zone.empty()) overrides.time_zone = zone;
    platform::SetDeviceOverrides(std::move(overrides));
  }
};

}  // namespace kelvane::cli
