// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/unicode.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

namespace kelvane::platform {
namespace {

static_assert(sizeof(UChar) == sizeof(char16_t));

constexpr std::size_t kInt32Max = static_cast<std::size_t>(INT32_MAX);

inline bool IsSurrogate(uint32_t u) { return u - 0xD800u < 0x800u; }
inline bool IsLead(uint32_t u) { return u - 0xD800u < 0x400u; }
inline bool IsTrail(uint32_t u) { return u - 0xDC00u < 0x400u; }

inline uint32_t LoadLE(const LWChar* units, std::size_t i) {
  uint32_t u;
  std::memcpy(&u, units + i, sizeof(u));
  if constexpr (std::endian::native == std::endian::big) u = __builtin_bswap32(u);
  return u;
}

inline int Sign(int32_t v) { return (v > 0) - (v < 0); }

// ICU takes 32-bit lengths; longer texts are compared on their first 2^31-1 units and then by
// length, which keeps the ordering total.
template <typename CompareFn>
int CompareClamped(std::u16string_view a, std::u16string_view b, CompareFn compare) {
  // ICU refuses a null pointer even with length 0, and the refusal would read as "equal": an
  // empty view made without any text must compare as the empty text.
  if (a.data() == nullptr) a = u"";
  if (b.data() == nullptr) b = u"";
  const std::size_t la = std::min(a.size(), kInt32Max);
  const std::size_t lb = std::min(b.size(), kInt32Max);
  const int r =
      Sign(compare(a.data(), static_cast<int32_t>(la), b.data(), static_cast<int32_t>(lb)));
  if (r != 0 || (la == a.size() && lb == b.size())) return r;
  return (a.size() > b.size()) - (a.size() < b.size());
}

// Text folded character by character, remembering where each folded unit came from, so that a
// match found in folded text maps back to positions of the original.
struct FoldedText {
  std::u16string units;
  std::vector<uint32_t> origin;  // index in the original of the character that gave this unit
  std::vector<bool> first;       // whether this unit begins that character's folding

  bool Boundary(std::size_t k) const { return k == units.size() || first[k]; }
};

// Full case folding of one character (1 or 2 units) into `out`; returns the unit count.
int32_t FoldCharacter(const char16_t* c, int32_t length, char16_t out[8]) {
  if (length == 1 && c[0] < 0x80) {
    out[0] = (c[0] >= u'A' && c[0] <= u'Z') ? static_cast<char16_t>(c[0] + 32) : c[0];
    return 1;
  }
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n =
      u_strFoldCase(reinterpret_cast<UChar*>(out), 8, reinterpret_cast<const UChar*>(c), length,
                    U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status) || n > 8) {  // cannot happen for one character; keep it unfolded
    std::copy(c, c + length, out);
    return length;
  }
  return n;
}

void Fold(std::u16string_view text, FoldedText& folded) {
  folded.units.reserve(text.size());
  folded.origin.reserve(text.size());
  folded.first.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const int32_t length = (IsLead(text[i]) && i + 1 < text.size() && IsTrail(text[i + 1])) ? 2 : 1;
    char16_t out[8];
    const int32_t n = FoldCharacter(text.data() + i, length, out);
    for (int32_t k = 0; k < n; ++k) {
      folded.units.push_back(out[k]);
      folded.origin.push_back(static_cast<uint32_t>(i));
      folded.first.push_back(k == 0);
    }
    i += static_cast<std::size_t>(length);
  }
}

// Calls `hit(k)` for every index k where `needle` occurs in `haystack`, in order, overlapping
// ones included, until `hit` returns false. A Knuth-Morris-Pratt scan: time linear in both
// lengths, where a find from every candidate would compare the needle again and again in a text
// like "aaa...a" searched for "aa...ab".
// REQUIRES: needle is not empty.
template <typename Hit>
void ForEachOccurrence(std::u16string_view haystack, std::u16string_view needle, Hit hit) {
  // border[q]: the length of the longest proper border of needle[0, q + 1).
  std::vector<std::size_t> border(needle.size(), 0);
  for (std::size_t q = 1, b = 0; q < needle.size(); ++q) {
    while (b > 0 && needle[q] != needle[b]) b = border[b - 1];
    if (needle[q] == needle[b]) ++b;
    border[q] = b;
  }
  std::size_t matched = 0;
  for (std::size_t i = 0; i < haystack.size(); ++i) {
    while (matched > 0 && haystack[i] != needle[matched]) matched = border[matched - 1];
    if (haystack[i] == needle[matched]) ++matched;
    if (matched == needle.size()) {
      if (!hit(i + 1 - needle.size())) return;
      matched = border[matched - 1];
    }
  }
}

// Unit offset of `s` inside the text of `out` (terminator included), when it points there.
std::optional<std::size_t> OffsetInside(const String& out, const WChar* s) {
  const auto address = reinterpret_cast<std::uintptr_t>(s);
  const auto begin = reinterpret_cast<std::uintptr_t>(out.data());
  if (address < begin || address > begin + out.size() * sizeof(char16_t)) return std::nullopt;
  return (address - begin) / sizeof(char16_t);
}

}  // namespace

// A plain scan: reading past the terminator, even within an aligned block, would read memory
// that belongs to someone else (sanitizers and valgrind rightly object).
std::size_t AliasedWStringLength(const WChar* s) noexcept {
  if (s == nullptr) return 0;
  const AliasedWChar* p = s;
  std::size_t n = 0;
  while (p[n] != 0) ++n;
  return n;
}

bool AppendWString(String& out, const WChar* s) noexcept {
  const std::size_t n = AliasedWStringLength(s);
  if (n == 0) return true;
  const std::size_t old = out.size();
  // `s` may be out's own buffer (a String appended to itself through UTF16String); growing can
  // move that buffer, so such a source is found again by its offset.
  const std::optional<std::size_t> offset = OffsetInside(out, s);
  try {
    if (!offset && n > 1) {
      // Runs of units are copied as bytes (memcpy), which may read storage of any type.
      out.append(reinterpret_cast<const char16_t*>(s), n);
      return true;
    }
    out.resize(old + n);
  } catch (const std::exception&) {  // bad_alloc or length_error
    return false;
  }
  const void* source = offset ? static_cast<const void*>(out.data() + *offset) : s;
  std::memcpy(out.data() + old, source, n * sizeof(char16_t));
  return true;
}

bool AssignWString(String& out, const WChar* s) noexcept {
  const std::size_t n = AliasedWStringLength(s);
  if (const std::optional<std::size_t> offset = OffsetInside(out, s)) {
    // A String set from (a tail of) its own buffer: clearing first would lose the text.
    out.resize(*offset + n);
    out.erase(0, *offset);
    return true;
  }
  try {
    if (n > 1) {
      // Runs of units are copied as bytes (memcpy), which may read storage of any type.
      out.assign(reinterpret_cast<const char16_t*>(s), n);
    } else {
      out.assign(n, n == 0 ? u'\0' : static_cast<char16_t>(*static_cast<const AliasedWChar*>(s)));
    }
    return true;
  } catch (const std::exception&) {  // bad_alloc or length_error
    out.clear();
    return false;
  }
}

int CaseInsensitiveCompare(std::u16string_view a, std::u16string_view b) noexcept {
  return CompareClamped(a, b, [](const char16_t* x, int32_t lx, const char16_t* y, int32_t ly) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t r =
        u_strCaseCompare(reinterpret_cast<const UChar*>(x), lx, reinterpret_cast<const UChar*>(y),
                         ly, U_FOLD_CASE_DEFAULT, &status);
    return U_FAILURE(status) ? 0 : r;
  });
}

int DefaultCompare(std::u16string_view a, std::u16string_view b) noexcept {
  return CompareClamped(a, b, [](const char16_t* x, int32_t lx, const char16_t* y, int32_t ly) {
    return u_strCompare(reinterpret_cast<const UChar*>(x), lx, reinterpret_cast<const UChar*>(y),
                        ly, /*codePointOrder=*/true);
  });
}

int32_t CaseInsensitiveFind(std::u16string_view text, std::u16string_view pattern) noexcept {
  if (pattern.empty() || text.empty() || pattern.size() > kInt32Max) return -1;
  // A character folds to at least one unit, so a match that starts at a reportable index ends
  // within 6 units per pattern unit of it; the rest of a huge text is never folded.
  text = text.substr(0, std::min(text.size(), kInt32Max + 6 * pattern.size()));
  try {
    FoldedText folded_pattern, folded_text;
    Fold(pattern, folded_pattern);
    Fold(text, folded_text);
    const std::size_t m = folded_pattern.units.size();
    int32_t found = -1;
    ForEachOccurrence(folded_text.units, folded_pattern.units, [&](std::size_t k) {
      // A match must cover whole characters of the text: "ss" folded from "ß" is not found
      // by a pattern "s" alone, and a partial folding never counts as a hit.
      if (!folded_text.Boundary(k) || !folded_text.Boundary(k + m)) return true;
      const uint32_t at = folded_text.origin[k];
      found = at > kInt32Max ? -1 : static_cast<int32_t>(at);
      return false;
    });
    return found;
  } catch (const std::exception&) {
    // Out of memory: reported as "not found", the documented failure result.
  }
  return -1;
}

bool CaseInsensitiveFindEach(
    std::u16string_view text, std::u16string_view pattern,
    const std::function<bool(std::size_t location, std::size_t length)>& visit) noexcept {
  if (pattern.empty() || text.empty()) return true;
  // Folded units remember their origin in 32 bits.
  if (text.size() > UINT32_MAX) return false;
  try {
    FoldedText folded_pattern, folded_text;
    Fold(pattern, folded_pattern);
    Fold(text, folded_text);
    const std::size_t m = folded_pattern.units.size();
    std::size_t next = 0;  // where the text after the last occurrence begins, folded
    ForEachOccurrence(folded_text.units, folded_pattern.units, [&](std::size_t k) {
      if (k < next || !folded_text.Boundary(k) || !folded_text.Boundary(k + m)) return true;
      next = k + m;
      const std::size_t at = folded_text.origin[k];
      const std::size_t end =
          next == folded_text.units.size() ? text.size() : folded_text.origin[next];
      return visit(at, end - at);
    });
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

int64_t CountScalars(std::u16string_view text) noexcept {
  int64_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i, ++count) {
    const uint32_t c = text[i];
    if (!IsSurrogate(c)) continue;
    if (!IsLead(c) || i + 1 == text.size() || !IsTrail(text[i + 1])) return -1;
    ++i;
  }
  return count;
}

bool Utf16ToUtf32(std::u16string_view text, std::vector<LWChar>& out) noexcept {
  const char16_t* p = text.data();
  const std::size_t n = text.size();
  try {
    out.resize(n + 1);  // never more scalars than units
  } catch (const std::exception&) {
    return false;
  }
  LWChar* d = out.data();
  std::size_t i = 0, o = 0;
  // One step: a BMP unit or a surrogate pair; false for an unpaired surrogate.
  auto step = [&]() -> bool {
    const uint32_t c = p[i];
    if (!IsSurrogate(c)) {
      d[o++] = static_cast<LWChar>(c);
      ++i;
      return true;
    }
    if (!IsLead(c) || i + 1 >= n || !IsTrail(p[i + 1])) return false;
    d[o++] = static_cast<LWChar>(0x10000u + ((c - 0xD800u) << 10) + (p[i + 1] - 0xDC00u));
    i += 2;
    return true;
  };
  // Blocks without surrogates (nearly all real text) are widened in straight, vectorisable loops.
  constexpr std::size_t kBlock = 16;
  while (n - i >= kBlock) {
    bool any_surrogate = false;
    for (std::size_t j = 0; j < kBlock; ++j) any_surrogate |= IsSurrogate(p[i + j]);
    if (!any_surrogate) {
      for (std::size_t j = 0; j < kBlock; ++j) d[o + j] = static_cast<LWChar>(p[i + j]);
      i += kBlock;
      o += kBlock;
      continue;
    }
    for (const std::size_t end = i + kBlock; i < end;) {
      if (!step()) return false;
    }
  }
  while (i < n) {
    if (!step()) return false;
  }
  d[o] = 0;
  out.resize(o + 1);
  return true;
}

bool Utf32LEToUtf16(const LWChar* units, std::size_t count, String& out) noexcept {
  // First pass: validate and count the characters that need a surrogate pair, so that the
  // result is allocated once at its exact size.
  uint32_t invalid = 0;
  std::size_t supplementary = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t u = LoadLE(units, i);
    invalid |= static_cast<uint32_t>(u > 0x10FFFFu) | static_cast<uint32_t>(IsSurrogate(u));
    supplementary += u > 0xFFFFu;
  }
  if (invalid != 0) return false;
  try {
    out.resize(count + supplementary);
  } catch (const std::exception&) {
    return false;
  }
  char16_t* d = out.data();
  if (supplementary == 0) {
    for (std::size_t i = 0; i < count; ++i) d[i] = static_cast<char16_t>(LoadLE(units, i));
    return true;
  }
  std::size_t o = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t u = LoadLE(units, i);
    if (u <= 0xFFFFu) {
      d[o++] = static_cast<char16_t>(u);
    } else {
      d[o++] = static_cast<char16_t>(0xD7C0u + (u >> 10));
      d[o++] = static_cast<char16_t>(0xDC00u + (u & 0x3FFu));
    }
  }
  return true;
}

bool Utf16ToUtf8(std::u16string_view text, std::string& out) noexcept {
  try {
    out.resize(text.size() * 3);  // one UTF-16 unit never gives more than 3 bytes
  } catch (const std::exception&) {
    return false;
  }
  char* d = out.data();
  std::size_t o = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c < 0x80) {
      d[o++] = static_cast<char>(c);
      continue;
    }
    if (c < 0x800) {
      d[o++] = static_cast<char>(0xC0 | (c >> 6));
      d[o++] = static_cast<char>(0x80 | (c & 0x3F));
      continue;
    }
    if (IsSurrogate(c)) {
      if (!IsLead(c) || i + 1 == text.size() || !IsTrail(text[i + 1])) return false;
      c = 0x10000u + ((c - 0xD800u) << 10) + (text[++i] - 0xDC00u);
      d[o++] = static_cast<char>(0xF0 | (c >> 18));
      d[o++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    } else {
      d[o++] = static_cast<char>(0xE0 | (c >> 12));
    }
    d[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    d[o++] = static_cast<char>(0x80 | (c & 0x3F));
  }
  out.resize(o);
  return true;
}

namespace {

// Decodes UTF-8 into `out`. A malformed sequence fails the whole text, or, with `replace`,
// becomes one U+FFFD for its first byte, decoding going on from the next byte.
bool DecodeUtf8(std::string_view bytes, String& out, bool replace) {
  out.clear();
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = b < 0x80   ? 1
                               : b < 0xC2 ? 0
                               : b < 0xE0 ? 2
                               : b < 0xF0 ? 3
                               : b < 0xF5 ? 4
                                          : 0;
    uint32_t c = length == 1 ? b : length == 2 ? b & 0x1Fu : length == 3 ? b & 0x0Fu : b & 0x07u;
    bool ok = length != 0 && bytes.size() - i >= length;
    for (std::size_t k = 1; ok && k < length; ++k) {
      const auto t = static_cast<unsigned char>(bytes[i + k]);
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3Fu);
    }
    ok = ok && !(length == 3 && (c < 0x800 || IsSurrogate(c))) &&
         !(length == 4 && (c < 0x10000 || c > 0x10FFFF));
    if (!ok) {
      if (!replace) return false;
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return true;
}

}  // namespace

bool Utf8ToUtf16(std::string_view bytes, String& out) noexcept {
  try {
    return DecodeUtf8(bytes, out, /*replace=*/false);
  } catch (const std::exception&) {
    return false;
  }
}

bool Utf8ToUtf16Replacing(std::string_view bytes, String& out) noexcept {
  try {
    return DecodeUtf8(bytes, out, /*replace=*/true);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace kelvane::platform
