// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/locale_info.h"

#include <unicode/ucurr.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <new>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/device/device.h"

namespace kelvane::platform {
namespace {

bool EqualsIgnoringCase(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] > 0x7F || ascii::ToLower(static_cast<char>(a[i])) != ascii::ToLower(b[i]))
      return false;
  }
  return true;
}

// Calls one of the ICU locale getters that fill a char buffer; empty on failure.
template <typename Getter>
std::string GetPart(const std::string& id, Getter getter) {
  char buffer[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = getter(id.c_str(), buffer, sizeof(buffer), &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

// The text of an ICU display-name getter, or nullopt when ICU found no name and handed back
// the code itself.
template <typename Getter>
std::optional<String> DisplayName(const std::string& id, std::string_view code,
                                  const Locale& display, Getter getter) {
  UChar buffer[256];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = getter(id.c_str(), display.EngineIdentifier().c_str(), buffer,
                                static_cast<int32_t>(std::size(buffer)), &status);
  if (U_FAILURE(status) || length <= 0 || length >= static_cast<int32_t>(std::size(buffer))) {
    return std::nullopt;
  }
  const std::u16string_view name(buffer, static_cast<std::size_t>(length));
  if (EqualsIgnoringCase(name, code)) return std::nullopt;
  return String(name);
}

// ICU's own form of a well-formed identifier with '-' or '_' between its parts; empty when the
// text is not one.
std::string EngineIdFromIdentifier(std::string_view identifier) {
  if (identifier.empty() || identifier.size() >= ULOC_FULLNAME_CAPACITY) return {};
  std::string tag(identifier);
  std::replace(tag.begin(), tag.end(), '_', '-');
  for (char c : tag) {
    if (!ascii::IsAlpha<char>(c) && !ascii::IsDigit<char>(c) && c != '-') return {};
  }
  char buffer[ULOC_FULLNAME_CAPACITY];
  int32_t parsed = 0;
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_forLanguageTag(tag.c_str(), buffer, sizeof(buffer), &parsed, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0 ||
      parsed != static_cast<int32_t>(tag.size())) {
    return {};
  }
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace

std::optional<Locale> Locale::FromIdentifier(std::string_view identifier) noexcept {
  try {
    std::string id = EngineIdFromIdentifier(identifier);
    if (id.empty() || GetPart(id, uloc_getLanguage).empty()) return std::nullopt;
    char buffer[ULOC_FULLNAME_CAPACITY];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uloc_toLanguageTag(id.c_str(), buffer, sizeof(buffer), true, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0) {
      return std::nullopt;
    }
    return Locale(std::move(id), std::string(buffer, static_cast<std::size_t>(length)));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

Locale Locale::Current() noexcept {
  if (auto locale = FromIdentifier(CurrentLocaleIdentifier())) return std::move(*locale);
  return Locale("en_US", "en-US");  // short enough to need no allocation
}

std::string Locale::LanguageCode() const { return GetPart(id_, uloc_getLanguage); }

std::string Locale::RegionCode() const { return GetPart(id_, uloc_getCountry); }

std::optional<std::string> Locale::CurrencyCode() const noexcept {
  try {
    char requested[8];
    UErrorCode keyword_status = U_ZERO_ERROR;
    const int32_t requested_length = uloc_getKeywordValue(id_.c_str(), "currency", requested,
                                                          sizeof(requested), &keyword_status);
    // Without a region or a requested currency ICU would guess a region from the language; a
    // language alone names no currency.
    if ((U_FAILURE(keyword_status) || requested_length <= 0) && RegionCode().empty()) {
      return std::nullopt;
    }
    UChar buffer[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucurr_forLocale(id_.c_str(), buffer, 8, &status);
    if (U_FAILURE(status) || length <= 0 || length >= 8) return std::nullopt;
    std::string code;
    for (int32_t i = 0; i < length; ++i) {
      if (buffer[i] > 0x7F) return std::nullopt;
      const char c = static_cast<char>(buffer[i]);
      code.push_back(ascii::ToUpper(c));
    }
    return code;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> LanguageDisplayName(std::string_view language,
                                          const Locale& display) noexcept {
  try {
    const std::string id = EngineIdFromIdentifier(language);
    if (id.empty()) return std::nullopt;
    const std::string code = GetPart(id, uloc_getLanguage);
    if (code.empty()) return std::nullopt;
    return DisplayName(id, code, display, uloc_getDisplayLanguage);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> RegionDisplayName(std::string_view region, const Locale& display) noexcept {
  try {
    const bool letters =
        region.size() == 2 && std::all_of(region.begin(), region.end(), ascii::IsAlpha<char>);
    const bool digits =
        region.size() == 3 && std::all_of(region.begin(), region.end(), ascii::IsDigit<char>);
    if (!letters && !digits) return std::nullopt;
    std::string id = "und_";
    for (char c : region) id.push_back(ascii::ToUpper(c));
    return DisplayName(id, region, display, uloc_getDisplayCountry);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::uint32_t WindowsLocaleCode(std::string_view identifier) noexcept {
  try {
    const std::string id = EngineIdFromIdentifier(identifier);
    return id.empty() ? 0 : uloc_getLCID(id.c_str());
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace kelvane::platform
