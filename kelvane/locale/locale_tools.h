// SPDX-License-Identifier: Apache-2.0
// kelvane/locale/locale_tools.h
//
// The device's user in the terms the trading core and its servers speak: the interface
// language, names of languages and countries, the Windows primary language identifier and
// code page, the locale to format dates with, and which of four currencies the user prefers.
//
// Every operation reads the device facts (kelvane/platform/device/device.h) afresh on each call and
// caches nothing but the English locale that Country() names countries in.
//
// Threads: every operation may be called from any thread.
#pragma once

#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/locale_info.h"

namespace kelvane::NSTools {

// The language code of the device's first preferred language: the text before its first '-'
// ("pt" of "pt-BR"), or the whole identifier. With no preferred language, the language code
// of the device's current locale.
[[nodiscard]] KELVANE_EXPORT String Language() noexcept;

// The name of the device's language, written in the language of `locale` (English when
// nullopt). nullopt when there is no name for it.
[[nodiscard]] KELVANE_EXPORT std::optional<String> LanguageNameForLang(
    OptionalString locale) noexcept;

// The name of the language `language`, written in the language of `locale` (English when
// nullopt). nullopt when there is no name for it, or when `locale` is given but no locale can
// be made from it.
[[nodiscard]] KELVANE_EXPORT std::optional<String> LanguageNameForLocale(
    std::u16string_view language, OptionalString locale) noexcept;

// The locale of the device's first preferred language; the device's current locale when there
// is no preferred language or no locale can be made from it. The time texts use it.
[[nodiscard]] KELVANE_EXPORT platform::Locale LocaleForCurrentLanguage() noexcept;

// The English name of a country code ("DE" -> "Germany"); nullopt stands for the region of the
// device's current locale. nullopt when there is no name, or no region to name.
[[nodiscard]] KELVANE_EXPORT std::optional<String> Country(OptionalString country) noexcept;

// The name of a country code in the language of the device's current locale; nullopt for an
// absent or empty code and when there is no name.
[[nodiscard]] KELVANE_EXPORT std::optional<String> CountryLocalized(
    OptionalString country) noexcept;

// The Windows primary language identifier of Language(): the low 10 bits of its Windows
// locale identifier (0x09 English, 0x19 Russian); 0 for a language Windows has no code for.
[[nodiscard]] KELVANE_EXPORT unsigned int WindowsLangCode() noexcept;

// The Windows ANSI code page of the device's first preferred language (1251 for Russian, 936
// or 950 for Chinese by script and region); 1252 for any language not in the table and when
// there is no preferred language.
[[nodiscard]] KELVANE_EXPORT unsigned int WindowsCodepage() noexcept;

// The 8-bit text encoding for text outside ASCII, as the byte-string copies take it: the
// Windows code page number of WindowsCodepage().
[[nodiscard]] KELVANE_EXPORT unsigned int DefaultASCIIEncoding() noexcept;

// "EUR", "CHF", "JPY" or "GBP" when the currency of the device's current locale is one of
// them (in any case); otherwise nullopt, and the application uses its own default.
[[nodiscard]] KELVANE_EXPORT std::optional<String> PreferredCurrency() noexcept;

}  // namespace kelvane::NSTools
