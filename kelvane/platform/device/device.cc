// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/device/device.h"

#include <stdlib.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

#include "kelvane/platform/core/ascii.h"

namespace kelvane::platform {
namespace {

constexpr char kFallbackLocale[] = "en-US";

std::mutex g_overrides_mutex;
DeviceOverrides g_overrides;
std::atomic<std::uint64_t> g_overrides_generation{0};

using ascii::IsAlpha;
using ascii::IsDigit;

bool AllOf(std::string_view s, bool (*pred)(char)) {
  for (char c : s) {
    if (!pred(c)) return false;
  }
  return true;
}

// The script subtag a POSIX modifier stands for; empty for modifiers that name no script
// ("@euro", "@valencia").
std::string_view ScriptOfModifier(std::string_view modifier) {
  if (modifier == "latin") return "Latn";
  if (modifier == "cyrillic") return "Cyrl";
  if (modifier == "devanagari") return "Deva";
  return {};
}

// The first of the variables that is set and not empty; POSIX gives LC_ALL precedence over
// the category variable and that over LANG.
const char* FirstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = ::getenv(name);
    if (value != nullptr && *value != 0) return value;
  }
  return nullptr;
}

std::vector<std::string> PreferredLanguagesFromEnvironment() {
  std::vector<std::string> languages;
  if (const char* list = ::getenv("LANGUAGE"); list != nullptr) {
    std::string_view rest(list);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      if (auto id = LocaleIdentifierFromPosix(rest.substr(0, colon))) {
        languages.push_back(std::move(*id));
      }
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
    if (!languages.empty()) return languages;
  }
  if (const char* name = FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"})) {
    if (auto id = LocaleIdentifierFromPosix(name)) languages.push_back(std::move(*id));
  }
  return languages;
}

std::string CurrentLocaleFromEnvironment() {
  if (const char* name = FirstSet({"LC_ALL", "LC_TIME", "LANG"})) {
    if (auto id = LocaleIdentifierFromPosix(name)) return std::move(*id);
  }
  return kFallbackLocale;
}

std::string TimeZoneFromEnvironment() {
  if (const char* tz = ::getenv("TZ"); tz != nullptr) {
    std::string_view zone(tz);
    if (!zone.empty() && zone.front() == ':') zone.remove_prefix(1);
    // A path into the zone database names the zone by its tail.
    if (const std::size_t at = zone.find("zoneinfo/"); at != std::string_view::npos) {
      zone.remove_prefix(at + 9);
    }
    // TZ set but empty means universal time to the C library, so it does here too.
    return zone.empty() ? std::string("UTC") : std::string(zone);
  }
  std::unique_ptr<icu::TimeZone> host(icu::TimeZone::detectHostTimeZone());
  if (host == nullptr) return "UTC";
  icu::UnicodeString id;
  host->getID(id);
  std::string utf8;
  id.toUTF8String(utf8);
  return utf8;
}

}  // namespace

std::optional<std::string> LocaleIdentifierFromPosix(std::string_view name) noexcept {
  try {
    std::string_view modifier;
    if (const std::size_t at = name.find('@'); at != std::string_view::npos) {
      modifier = name.substr(at + 1);
      name = name.substr(0, at);
    }
    if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) {
      name = name.substr(0, dot);
    }
    if (name == "C" || name == "POSIX") return std::nullopt;

    std::vector<std::string_view> parts;
    while (true) {
      const std::size_t cut = name.find_first_of("_-");
      parts.push_back(name.substr(0, cut));
      if (cut == std::string_view::npos) break;
      name.remove_prefix(cut + 1);
    }
    const std::string_view language = parts[0];
    if (language.size() < 2 || language.size() > 8 || !AllOf(language, IsAlpha)) {
      return std::nullopt;
    }
    std::string id;
    for (char c : language) id.push_back(ascii::ToLower(c));
    std::string_view script;
    std::string_view region;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const std::string_view part = parts[i];
      if (script.empty() && region.empty() && part.size() == 4 && AllOf(part, IsAlpha)) {
        script = part;
      } else if (region.empty() && ((part.size() == 2 && AllOf(part, IsAlpha)) ||
                                    (part.size() == 3 && AllOf(part, IsDigit)))) {
        region = part;
      }
      // Variants and extensions are not part of a preferred-language identifier.
    }
    if (script.empty()) script = ScriptOfModifier(modifier);
    if (!script.empty()) {
      id.push_back('-');
      id.push_back(ascii::ToUpper(script[0]));
      for (char c : script.substr(1)) id.push_back(ascii::ToLower(c));
    }
    if (!region.empty()) {
      id.push_back('-');
      for (char c : region) id.push_back(ascii::ToUpper(c));
    }
    return id;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

DeviceFacts EnvironmentDeviceFacts() noexcept {
  DeviceFacts facts;
  facts.current_locale = kFallbackLocale;
  try {
    facts.preferred_languages = PreferredLanguagesFromEnvironment();
    facts.current_locale = CurrentLocaleFromEnvironment();
    facts.time_zone = TimeZoneFromEnvironment();
  } catch (const std::bad_alloc&) {
    // What was read so far stands.
  }
  return facts;
}

DeviceOverrides CurrentDeviceOverrides() noexcept {
  try {
    std::lock_guard lock(g_overrides_mutex);
    return g_overrides;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

DeviceOverrides SetDeviceOverrides(DeviceOverrides overrides) noexcept {
  std::lock_guard lock(g_overrides_mutex);
  std::swap(g_overrides, overrides);
  g_overrides_generation.fetch_add(1, std::memory_order_release);
  return overrides;
}

std::uint64_t DeviceOverridesGeneration() noexcept {
  return g_overrides_generation.load(std::memory_order_acquire);
}

DeviceFacts CurrentDeviceFacts() noexcept {
  DeviceFacts facts;
  facts.preferred_languages = PreferredLanguages();
  facts.current_locale = CurrentLocaleIdentifier();
  facts.time_zone = SystemTimeZoneIdentifier();
  return facts;
}

std::vector<std::string> PreferredLanguages() noexcept {
  try {
    const DeviceOverrides overrides = CurrentDeviceOverrides();
    return overrides.preferred_languages ? *overrides.preferred_languages
                                         : PreferredLanguagesFromEnvironment();
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string CurrentLocaleIdentifier() noexcept {
  try {
    const DeviceOverrides overrides = CurrentDeviceOverrides();
    std::string id =
        overrides.current_locale ? *overrides.current_locale : CurrentLocaleFromEnvironment();
    return id.empty() ? std::string(kFallbackLocale) : id;
  } catch (const std::bad_alloc&) {
    return kFallbackLocale;  // fits the short-string buffer: no allocation
  }
}

std::string SystemTimeZoneIdentifier() noexcept {
  try {
    const DeviceOverrides overrides = CurrentDeviceOverrides();
    return overrides.time_zone ? *overrides.time_zone : TimeZoneFromEnvironment();
  } catch (const std::bad_alloc&) {
    return {};
  }
}

ScopedDeviceOverrides::ScopedDeviceOverrides(const DeviceOverrides& overrides) noexcept {
  DeviceOverrides merged = CurrentDeviceOverrides();
  try {
    if (overrides.preferred_languages) merged.preferred_languages = overrides.preferred_languages;
    if (overrides.current_locale) merged.current_locale = overrides.current_locale;
    if (overrides.time_zone) merged.time_zone = overrides.time_zone;
  } catch (const std::bad_alloc&) {
  }
  previous_ = SetDeviceOverrides(std::move(merged));
}

ScopedDeviceOverrides::~ScopedDeviceOverrides() { SetDeviceOverrides(std::move(previous_)); }

}  // namespace kelvane::platform
