// SPDX-License-Identifier: Apache-2.0
// `kelvane locale`: the device's language, country, Windows codes and currency, as the library
// reads them from the environment or from --lang, --locale and --tz.
// Demo step: a Russian and a Polish device side by side with this machine's own.
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kelvane/locale/locale_tools.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/platform/i18n/date_format.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/device_options.h"

namespace kelvane::cli {
namespace {

std::string Or(const std::optional<std::u16string>& text, const char* none) {
  return text ? Utf8(*text) : std::string(none);
}

std::string Hex(unsigned int value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%02X", value);
  return text;
}

void PrintDevice(std::ostream& out) {
  const platform::DeviceFacts facts = platform::CurrentDeviceFacts();
  std::string languages;
  for (const std::string& language : facts.preferred_languages) {
    languages += (languages.empty() ? "" : ", ") + language;
  }
  const std::string region = platform::Locale::Current().RegionCode();
  const std::u16string region16(region.begin(), region.end());  // region codes are ASCII
  const std::u16string language = NSTools::Language();
  out << "preferred languages  " << (languages.empty() ? "(none)" : languages) << '\n'
      << "language             " << Utf8(language) << " ("
      << Or(NSTools::LanguageNameForLang(std::nullopt), "no name") << ", "
      << Or(NSTools::LanguageNameForLang(language), "no name") << ")\n"
      << "date locale          " << NSTools::LocaleForCurrentLanguage().Identifier() << '\n'
      << "current locale       " << facts.current_locale << '\n'
      << "country              " << Or(NSTools::Country(std::nullopt), "(none)") << " / "
      << Or(NSTools::CountryLocalized(region16), "(none)") << '\n'
      << "Windows language     " << Hex(NSTools::WindowsLangCode()) << '\n'
      << "Windows code page    " << NSTools::WindowsCodepage() << '\n'
      << "8-bit encoding       windows-" << NSTools::DefaultASCIIEncoding() << '\n'
      << "preferred currency   " << Or(NSTools::PreferredCurrency(), "(none of EUR, CHF, JPY, GBP)")
      << '\n'
      << "time zone            " << platform::TimeZone::System().Identifier() << '\n';
}

int RunLocale(const DeviceOptions& o) {
  o.Apply();
  PrintDevice(std::cout);
  return 0;
}

}  // namespace

void AddLocale(Tool& tool) {
  CLI::App* sub =
      tool.app.add_subcommand("locale", "the device's language, country, codes and currency");
  auto o = std::make_shared<DeviceOptions>();
  DeviceOptions::Add(sub, *o);
  tool.Runs(sub, [o] { return RunLocale(*o); });
}

int DemoLocale(DemoContext& context) {
  std::ostream& out = context.out;
  out << "This machine, as the library reads it from the environment:\n";
  PrintDevice(out);
  const platform::DeviceOverrides saved = platform::CurrentDeviceOverrides();
  for (const auto& [language, locale] : {std::pair{"ru-RU", "ru-RU"}, std::pair{"pl", "pl-PL"}}) {
    platform::SetDeviceOverrides(
        {.preferred_languages = std::vector<std::string>{language}, .current_locale = locale});
    out << "\nA device set to " << language << " (locale " << locale << "):\n";
    PrintDevice(out);
  }
  platform::SetDeviceOverrides(saved);
  out << "\n$ kelvane locale --lang zh-Hant-TW,en --locale zh-TW --tz Asia/Taipei\n";
  out.flush();
  const int status = RunLocale({{"zh-Hant-TW", "en"}, "zh-TW", "Asia/Taipei"});
  platform::SetDeviceOverrides(saved);
  return status;
}

}  // namespace kelvane::cli
