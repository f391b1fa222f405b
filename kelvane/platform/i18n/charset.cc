// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/charset.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <cstdio>
#include <new>
#include <string>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/internal/static_set.h"

namespace kelvane::platform {

struct CharacterSet::Impl {
  icu::UnicodeSet set;  // frozen: read-only and safe to share between threads
};

namespace {

// Wraps a set that is complete: freezing builds ICU's lookup tables once, after which
// membership tests are table reads and the set may be shared between threads.
std::shared_ptr<const CharacterSet::Impl> Freeze(icu::UnicodeSet&& set) {
  auto impl = std::make_shared<CharacterSet::Impl>();
  impl->set = std::move(set);
  impl->set.freeze();
  return impl;
}

}  // namespace

CharacterSet::CharacterSet() noexcept = default;

CharacterSet CharacterSet::FromCharacters(std::u16string_view characters) noexcept {
  try {
    icu::UnicodeSet set;
    const std::size_t n = characters.size();
    for (std::size_t i = 0; i < n;) {
      char32_t c = characters[i++];
      if (U16_IS_LEAD(c) && i < n && U16_IS_TRAIL(characters[i])) {
        c = U16_GET_SUPPLEMENTARY(c, characters[i]);
        ++i;
      }
      set.add(static_cast<UChar32>(c));
    }
    if (set.isBogus()) return CharacterSet();
    return CharacterSet(Freeze(std::move(set)));
  } catch (const std::bad_alloc&) {
    return CharacterSet();
  }
}

CharacterSet CharacterSet::FromRange(char32_t first, char32_t last) noexcept {
  if (first > last || first > 0x10FFFF) return CharacterSet();
  if (last > 0x10FFFF) last = 0x10FFFF;
  try {
    icu::UnicodeSet set(static_cast<UChar32>(first), static_cast<UChar32>(last));
    if (set.isBogus()) return CharacterSet();
    return CharacterSet(Freeze(std::move(set)));
  } catch (const std::bad_alloc&) {
    return CharacterSet();
  }
}

namespace internal {

const CharacterSet& StaticCharacterSet(std::atomic<const CharacterSet*>& slot,
                                       CharacterSet (*make)()) noexcept {
  if (const CharacterSet* set = slot.load(std::memory_order_acquire)) return *set;
  try {
    CharacterSet made = make();
    if (made.Size() != 0) {  // every static set has members: an empty one means out of memory
      auto* fresh = new CharacterSet(std::move(made));
      const CharacterSet* expected = nullptr;
      if (slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) return *fresh;
      delete fresh;  // another thread made it first
      return *expected;
    }
  } catch (const std::bad_alloc&) {
  }
  static NoDestructor<CharacterSet> empty;
  return *empty;
}

}  // namespace internal

namespace {

CharacterSet::Impl* MakeFromPattern(const char16_t* pattern) {
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeSet set(icu::UnicodeString(pattern), status);
  if (U_FAILURE(status)) set.clear();
  auto* impl = new CharacterSet::Impl();
  impl->set = std::move(set);
  impl->set.freeze();
  return impl;
}

}  // namespace

// Each set is made once and never destroyed (see internal::StaticCharacterSet).
#define KELVANE_STATIC_SET(make_expression)              \
  static std::atomic<const CharacterSet*> slot{nullptr}; \
  return internal::StaticCharacterSet(slot, [] { return make_expression; })

const CharacterSet& CharacterSet::Whitespace() noexcept {
  KELVANE_STATIC_SET(
      CharacterSet(std::shared_ptr<const Impl>(MakeFromPattern(u"[\\p{Zs}\\u0009]"))));
}

const CharacterSet& CharacterSet::WhitespaceAndNewlines() noexcept {
  KELVANE_STATIC_SET(CharacterSet(std::shared_ptr<const Impl>(
      MakeFromPattern(u"[\\p{Zs}\\u0009-\\u000D\\u0085\\u2028\\u2029]"))));
}

const CharacterSet& CharacterSet::DecimalDigits() noexcept {
  KELVANE_STATIC_SET(CharacterSet(std::shared_ptr<const Impl>(MakeFromPattern(u"[\\p{Nd}]"))));
}

// The RFC 3986 classes, listed member by member (a pattern would read '$', '&' and the
// apostrophe as syntax).
constexpr char16_t kUnreserved[] =
    u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
constexpr char16_t kSubDelims[] = u"!$&'()*+,;=";

const CharacterSet& CharacterSet::URLHostAllowed() noexcept {
  KELVANE_STATIC_SET(FromCharacters(String(kUnreserved) + kSubDelims + u":[]"));
}

const CharacterSet& CharacterSet::URLPathAllowed() noexcept {
  KELVANE_STATIC_SET(FromCharacters(String(kUnreserved) + kSubDelims + u":@/"));
}

const CharacterSet& CharacterSet::URLQueryAllowed() noexcept {
  KELVANE_STATIC_SET(FromCharacters(String(kUnreserved) + kSubDelims + u":@/?"));
}

const CharacterSet& CharacterSet::URLFragmentAllowed() noexcept {
  // A fragment allows exactly what a query does; a set of its own keeps call sites readable.
  KELVANE_STATIC_SET(FromCharacters(String(kUnreserved) + kSubDelims + u":@/?"));
}

#undef KELVANE_STATIC_SET

bool CharacterSet::HasMemberInPlane(unsigned int plane) const noexcept {
  if (impl_ == nullptr || plane > 16) return false;
  const UChar32 first = static_cast<UChar32>(plane) << 16;
  return !impl_->set.containsNone(first, first + 0xFFFF);
}

bool CharacterSet::Contains(char16_t unit) const noexcept {
  return impl_ != nullptr && impl_->set.contains(static_cast<UChar32>(unit));
}

bool CharacterSet::ContainsCodePoint(char32_t code_point) const noexcept {
  return impl_ != nullptr && code_point <= 0x10FFFF &&
         impl_->set.contains(static_cast<UChar32>(code_point));
}

std::uint32_t CharacterSet::Size() const noexcept {
  return impl_ == nullptr ? 0 : static_cast<std::uint32_t>(impl_->set.size());
}

bool IsSupportedCodePage(unsigned int code_page) noexcept {
  switch (code_page) {
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
      return true;
    default:
      return code_page >= 1250 && code_page <= 1258;
  }
}

std::optional<std::string> EncodeCodePage(std::u16string_view text,
                                          unsigned int code_page) noexcept {
  if (!IsSupportedCodePage(code_page)) return std::nullopt;
  // The converter tables are shared inside ICU; opening one per call costs a small allocation.
  char name[24];
  std::snprintf(name, sizeof name, "windows-%u", code_page);
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name, &status);
  if (U_FAILURE(status) || converter == nullptr) return std::nullopt;
  // Stop at the first unmappable character instead of writing a substitution byte: a caller
  // must never receive text that silently differs from what it asked to convert.
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  std::optional<std::string> result;
  try {
    if (U_SUCCESS(status)) {
      const auto* source = reinterpret_cast<const UChar*>(text.data());
      const std::size_t units = text.size();
      if (units <= static_cast<std::size_t>(INT32_MAX) / 2) {
        // Two bytes per unit is the most any of these code pages needs.
        std::string bytes(units * 2 + 1, '\0');
        const int32_t written =
            ucnv_fromUChars(converter, bytes.data(), static_cast<int32_t>(bytes.size()), source,
                            static_cast<int32_t>(units), &status);
        if (U_SUCCESS(status) && written >= 0 && static_cast<std::size_t>(written) < bytes.size()) {
          bytes.resize(static_cast<std::size_t>(written));
          result = std::move(bytes);
        }
      }
    }
  } catch (const std::bad_alloc&) {
    result.reset();
  }
  ucnv_close(converter);
  return result;
}

}  // namespace kelvane::platform
