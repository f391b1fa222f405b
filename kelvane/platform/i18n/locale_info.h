// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/locale_info.h
//
// Locales and the facts the locale data holds about them: names of languages and countries in
// a given language, the Windows locale identifier (LCID) of a language and the currency of a
// region. Backed by the CLDR data that ships with the system's ICU.
//
// Ownership: Locale is a small value type; copy it freely.
// Threads: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// A locale: a language with its script, region and extensions.
class KELVANE_EXPORT Locale {
 public:
  // A locale for an identifier of the form language[-script][-region][-extensions], with '-'
  // or '_' between the parts ("pt-BR", "zh_Hant_TW", "de-DE-u-cu-eur"). nullopt when no locale
  // can be made from it: the empty text, text that is not a well-formed identifier, or an
  // identifier without a language ("und").
  [[nodiscard]] static std::optional<Locale> FromIdentifier(std::string_view identifier) noexcept;

  // The device's current (formatting) locale: CurrentLocaleIdentifier() of
  // kelvane/platform/device/device.h, or "en-US" when no locale can be made from that.
  [[nodiscard]] static Locale Current() noexcept;

  // The identifier in the form language[-script][-region][-extensions].
  [[nodiscard]] const std::string& Identifier() const noexcept { return tag_; }

  // The language code ("pt"); never empty.
  [[nodiscard]] std::string LanguageCode() const;

  // The region code ("BR", "419"); empty when the identifier names no region.
  [[nodiscard]] std::string RegionCode() const;

  // The ISO 4217 code of the locale's currency in upper case ("EUR"): the one the identifier
  // asks for ("-u-cu-chf"), else the region's. nullopt when it names neither.
  [[nodiscard]] std::optional<std::string> CurrencyCode() const noexcept;

  // The identifier in the engine's own form ("pt_BR"), for the other platform modules.
  [[nodiscard]] const std::string& EngineIdentifier() const noexcept { return id_; }

  // Equal when the engine's identifiers are equal.
  friend bool operator==(const Locale& a, const Locale& b) noexcept { return a.id_ == b.id_; }

 private:
  Locale(std::string id, std::string tag) : id_(std::move(id)), tag_(std::move(tag)) {}
  std::string id_;
  std::string tag_;
};

// The name of the language of `language` (a language code or a locale identifier), written in
// the language of `display`. nullopt when the locale data has no name for it or `language` is
// not an identifier.
[[nodiscard]] KELVANE_EXPORT std::optional<String> LanguageDisplayName(
    std::string_view language, const Locale& display) noexcept;

// The name of the region `region` (two letters or three digits, any case), written in the
// language of `display`. nullopt when the locale data has no name for it or the code is
// malformed.
[[nodiscard]] KELVANE_EXPORT std::optional<String> RegionDisplayName(
    std::string_view region, const Locale& display) noexcept;

// The Windows locale identifier (LCID) that the locale data gives for a language code or locale
// identifier ("en" gives 0x09, "en-US" 0x0409); 0 when there is none.
[[nodiscard]] KELVANE_EXPORT std::uint32_t WindowsLocaleCode(std::string_view identifier) noexcept;

}  // namespace kelvane::platform
