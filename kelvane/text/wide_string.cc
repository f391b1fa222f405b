// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/wide_string.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "kelvane/platform/core/internal/scratch_objects.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane {

const unsigned short ExtWEmpty[1] = {0};

namespace NSTools {
namespace {

using platform::AliasedWChar;

unsigned int Saturate(std::size_t n) {
  return n > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(n);
}

// The per-thread buffer behind UTF32String. A buffer grown for one huge text is let go when a
// much smaller one follows, so a thread does not pin megabytes after a one-off conversion.
thread_local std::vector<wchar_t> t_utf32;
constexpr std::size_t kUtf32KeepUnits = std::size_t{1} << 20;

}  // namespace

int Compare(const unsigned short* a, const unsigned short* b, unsigned int count) noexcept {
  if (a == nullptr || b == nullptr) return 0;
  // Either buffer may be a String's char16_t storage (UTF16String), hence the aliasing reads.
  const AliasedWChar* pa = a;
  const AliasedWChar* pb = b;
  if (count != 0) {
    for (unsigned int i = 0; i < count; ++i) {
      if (pa[i] != pb[i]) return pa[i] > pb[i] ? 1 : -1;
    }
    return 0;
  }
  // Whole strings: one walk finds both the first difference and which string ends first.
  for (std::size_t i = 0;; ++i) {
    if (pa[i] != pb[i]) return pa[i] > pb[i] ? 1 : -1;  // a terminator sorts below every unit
    if (pa[i] == 0) return 0;
  }
}

int CompareNoCase(const unsigned short* a, const unsigned short* b) noexcept {
  if (a == nullptr || b == nullptr) return 0;
  // In a sort the two texts are mostly cold; start loading the second while the first is copied,
  // so that the two cache misses overlap instead of following each other.
  __builtin_prefetch(b);
  String* first;
  String* second;
  if (!platform::internal::ScratchStringPair(&first, &second)) return 0;
  // The scratch strings keep their capacity, so a sort stops allocating after its first few
  // comparisons.
  if (!platform::AssignWString(*first, a) || !platform::AssignWString(*second, b)) return 0;
  return platform::CaseInsensitiveCompare(*first, *second);
}

bool ContentEquals(OptionalString a, OptionalString b) noexcept {
  const bool a_empty = !a.has_value() || a->empty();
  const bool b_empty = !b.has_value() || b->empty();
  if (a_empty || b_empty) return a_empty == b_empty;
  return *a == *b;
}

int FindChar(const unsigned short* s, unsigned int count, unsigned short c) noexcept {
  if (s == nullptr) return -1;
  const AliasedWChar* p = s;
  const unsigned int limit = std::min<unsigned int>(count, INT_MAX);
  for (unsigned int i = 0; i < limit && p[i] != 0; ++i) {
    if (p[i] == c) return static_cast<int>(i);
  }
  return -1;
}

int FindRChar(const unsigned short* s, unsigned int count, unsigned short c) noexcept {
  if (s == nullptr) return -1;
  const AliasedWChar* p = s;
  const unsigned int limit = std::min<unsigned int>(count, INT_MAX);
  int last = -1;
  for (unsigned int i = 0; i < limit && p[i] != 0; ++i) {
    if (p[i] == c) last = static_cast<int>(i);
  }
  return last;
}

std::optional<String> stringWithWString(const unsigned short* s) noexcept {
  if (s == nullptr) return std::nullopt;
  String text;
  if (!platform::AssignWString(text, s)) return std::nullopt;
  return text;
}

std::optional<String> initWithWString(const unsigned short* s) noexcept {
  return stringWithWString(s);
}

std::optional<String> initWithLWString(const wchar_t* s, unsigned int length) noexcept {
  if (s == nullptr) return std::nullopt;
  String text;
  // The byte count 4 x length is never formed in 32 bits: all sizes here are size_t.
  if (!platform::Utf32LEToUtf16(s, length, text)) return std::nullopt;
  return text;
}

std::optional<String> initWithLWString(const wchar_t* s) noexcept {
  if (s == nullptr) return std::nullopt;
  String text;
  if (!platform::Utf32LEToUtf16(s, std::wcslen(s), text)) return std::nullopt;
  return text;
}

std::optional<String> stringWithLWString(const wchar_t* s) noexcept { return initWithLWString(s); }

unsigned int Length(const unsigned short* s) noexcept {
  return Saturate(platform::AliasedWStringLength(s));
}

const unsigned short* UTF16String(const String& self) noexcept {
  // A String's buffer is already zero-terminated UTF-16 in machine order.
  return reinterpret_cast<const unsigned short*>(self.c_str());
}

unsigned int UTF16Length(const String& self) noexcept { return Saturate(self.size()); }

const wchar_t* UTF32String(const String& self) noexcept {
  std::vector<wchar_t>& buffer = t_utf32;
  if (buffer.capacity() > kUtf32KeepUnits && self.size() < buffer.capacity() / 4) {
    std::vector<wchar_t>().swap(buffer);
  }
  if (!platform::Utf16ToUtf32(self, buffer)) return nullptr;
  return buffer.data();
}

unsigned int UTF32Length(const String& self) noexcept {
  const int64_t n = platform::CountScalars(self);
  return n < 0 ? 0 : Saturate(static_cast<std::size_t>(n));
}

int Compare(const String& self, const unsigned short* s, unsigned int count) noexcept {
  if (s == nullptr) return 0;
  if (count == 0) return Compare(UTF16String(self), s, 0);
  const AliasedWChar* p = s;
  for (unsigned int i = 0; i < count; ++i) {
    const unsigned short mine = i < self.size() ? self[i] : 0;
    if (mine != p[i]) return mine > p[i] ? 1 : -1;
  }
  return 0;
}

int ContentsIn(const String& self, const unsigned short* s) noexcept {
  if (s == nullptr || self.empty()) return -1;
  String text;
  if (!platform::AssignWString(text, s)) return -1;
  return platform::CaseInsensitiveFind(text, self);
}

int CompareString(const String& self, const char* s) noexcept {
  if (s == nullptr) return 1;
  std::string utf8;
  if (!platform::Utf16ToUtf8(self, utf8)) return -1;
  return std::strcmp(utf8.c_str(), s);
}

int CompareString(const String& self, const char* s, unsigned int size) noexcept {
  if (s == nullptr) return -1;
  std::string utf8;
  if (!platform::Utf16ToUtf8(self, utf8)) return -1;
  // Bounded by the UTF-8 byte count, not the unit count: counting units would cut a non-ASCII
  // receiver short and call "é" equal to "è" (both begin with the byte 0xC3).
  const std::size_t n = std::min<std::size_t>(size, utf8.size());
  return std::strncmp(utf8.c_str(), s, n);
}

int64_t InverseCompare(const String& self, const String& other) noexcept {
  return -static_cast<int64_t>(platform::DefaultCompare(self, other));
}

void Clear(String& self) noexcept { self.clear(); }

void setWString(String& self, const unsigned short* s) noexcept {
  // AssignWString leaves the string empty when it cannot copy.
  (void)platform::AssignWString(self, s);
}

void appendWString(String& self, const unsigned short* s) noexcept {
  (void)platform::AppendWString(self, s);
}

}  // namespace NSTools
}  // namespace kelvane
