// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/buffer_copy.h"

#include <stdlib.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "kelvane/platform/i18n/charset.h"

namespace kelvane::NSTools {
namespace {

using platform::AliasedWChar;

inline unsigned short RandomUnit() noexcept {
  return static_cast<unsigned short>(::random() & 0xFFFF);
}

inline bool IsLead(char16_t u) noexcept { return (u & 0xFC00) == 0xD800; }
inline bool IsTrail(char16_t u) noexcept { return (u & 0xFC00) == 0xDC00; }

// Whether units[from..n) hold no lone surrogate.
bool IsWellFormedFrom(const char16_t* units, std::size_t from, std::size_t n) noexcept {
  for (std::size_t i = from; i < n; ++i) {
    const char16_t u = units[i];
    if ((u & 0xF800) != 0xD800) continue;
    if (!IsLead(u) || i + 1 >= n || !IsTrail(units[i + 1])) return false;
    ++i;
  }
  return true;
}

// Packs four ASCII units, read as one little-endian 64-bit word, into four bytes.
inline std::uint32_t PackAscii4(std::uint64_t w) noexcept {
  return static_cast<std::uint32_t>((w & 0xFF) | ((w >> 8) & 0xFF00) | ((w >> 16) & 0xFF0000) |
                                    ((w >> 24) & 0xFF000000));
}

}  // namespace

unsigned int CopyString(OptionalString string, unsigned short* to, unsigned int length) noexcept {
  if (!string.has_value() || to == nullptr) return 0;
  const unsigned int cap = length / 2;
  if (cap == 0) return 0;  // no room even for the terminator
  const std::size_t n = string->size();
  const std::size_t kept = n < cap ? n : cap - 1;
  if (kept != 0) std::memcpy(to, string->data(), kept * sizeof(WChar));
  static_cast<AliasedWChar*>(to)[kept] = 0;
  return static_cast<unsigned int>(kept);
}

unsigned int CopyTo(const String& receiver, unsigned short* to, unsigned int length) noexcept {
  return CopyString(std::u16string_view(receiver), to, length);
}

unsigned int CopyWString(const unsigned short* src, unsigned short* to,
                         unsigned int size) noexcept {
  if (src == nullptr || to == nullptr) return 0;
  const unsigned int cap = size / 2;
  if (cap == 0) return 0;
  const AliasedWChar* from = src;
  AliasedWChar* out = to;
  unsigned int i = 0;
  for (; i < cap; ++i) {
    out[i] = from[i];
    if (from[i] == 0) break;
  }
  // The last unit is always cleared: a cut source keeps cap - 1 units and reports cap.
  out[cap - 1] = 0;
  return i;
}

unsigned int CopyWString(const unsigned short* src, char* toStr, unsigned int size) noexcept {
  if (src == nullptr || toStr == nullptr || size == 0) return 0;
  const AliasedWChar* from = src;
  unsigned int i = 0;
  for (; i < size; ++i) {
    if (from[i] == 0) {
      toStr[i] = 0;
      break;
    }
    toStr[i] = static_cast<char>(from[i] & 0xFF);
  }
  toStr[size - 1] = 0;
  return i;
}

void CopyWStringSecured(const unsigned short* src, unsigned short* to, unsigned int size) noexcept {
  if (src == nullptr || to == nullptr) return;
  const unsigned int cap = size / 2;
  if (cap == 0) return;
  const unsigned int n = CopyWString(src, to, size);
  AliasedWChar* out = to;
  for (unsigned int i = n + 1; i < cap; ++i) out[i] = RandomUnit();
}

void TrimSpaces(unsigned short* s) noexcept {
  if (s == nullptr) return;
  AliasedWChar* p = s;
  std::size_t length = platform::WStringLength(s);
  std::size_t lead = 0;
  while (lead < length && p[lead] == 0x0020) ++lead;
  if (lead != 0) {
    std::memmove(p, p + lead, (length - lead + 1) * sizeof(WChar));
    length -= lead;
  }
  while (length != 0 && p[length - 1] == 0x0020) p[--length] = 0;
}

namespace {

// Encodes s[i..chunk_end) with no bound checks. REQUIRES: `out` has room for three bytes per
// unit of the chunk (the most UTF-8 needs per UTF-16 unit). Stops early, with `i` on the lead
// unit, at a surrogate pair that straddles the chunk's end. Returns false at a lone surrogate.
bool EncodeChunk(const char16_t* s, std::size_t n, std::size_t& i, std::size_t chunk_end,
                 char*& out) noexcept {
  while (i < chunk_end) {
    char16_t u = s[i];
    if (u < 0x80) {
      if constexpr (std::endian::native == std::endian::little) {
        // ASCII runs go four units at a time. A word with a non-ASCII unit still stores four
        // bytes, but only the leading ASCII ones are kept: the rest is overwritten next.
        while (i + 4 <= chunk_end) {
          std::uint64_t w;
          std::memcpy(&w, s + i, 8);
          const std::uint32_t packed = PackAscii4(w);
          std::memcpy(out, &packed, 4);
          const std::uint64_t high = w & 0xFF80FF80FF80FF80ull;
          if (high != 0) {
            const std::size_t ascii = static_cast<std::size_t>(std::countr_zero(high)) / 16;
            out += ascii;
            i += ascii;
            break;
          }
          out += 4;
          i += 4;
        }
        if (i >= chunk_end) break;
        u = s[i];
      }
      if (u < 0x80) {
        *out++ = static_cast<char>(u);
        ++i;
        continue;
      }
    }
    if (u < 0x800) {
      out[0] = static_cast<char>(0xC0 | (u >> 6));
      out[1] = static_cast<char>(0x80 | (u & 0x3F));
      out += 2;
      ++i;
    } else if ((u & 0xF800) != 0xD800) {
      out[0] = static_cast<char>(0xE0 | (u >> 12));
      out[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out[2] = static_cast<char>(0x80 | (u & 0x3F));
      out += 3;
      ++i;
    } else {
      if (!IsLead(u) || i + 1 >= n || !IsTrail(s[i + 1])) return false;
      if (i + 1 >= chunk_end) return true;  // the pair's four bytes may not fit this chunk
      const char32_t c =
          0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      out[0] = static_cast<char>(0xF0 | (c >> 18));
      out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[3] = static_cast<char>(0x80 | (c & 0x3F));
      out += 4;
      i += 2;
    }
  }
  return true;
}

// Zeroes what CopyToStr wrote before it met a lone surrogate, so that no fragment of the text
// stays in the caller's buffer. The four-unit ASCII stores may have written up to three bytes
// past `out`.
void WipeWritten(char* to, const char* out, unsigned int size) noexcept {
  const std::size_t written = static_cast<std::size_t>(out - to) + 4;
  std::memset(to, 0, std::min<std::size_t>(written, size));
}

}  // namespace

void CopyToStr(const String& receiver, char* to, unsigned int size) noexcept {
  if (to == nullptr || size == 0) return;
  const char16_t* s = receiver.data();
  const std::size_t n = receiver.size();
  char* out = to;
  char* const limit = to + (size - 1);  // the last byte is kept for the terminator
  std::size_t i = 0;

  // While the room left is three bytes per unit left, nothing can overflow: encode in chunks
  // without checks. Only the last few units before a cut take the careful path below.
  for (;;) {
    const std::size_t room = static_cast<std::size_t>(limit - out) / 3;
    const std::size_t chunk = std::min(n - i, room);
    if (chunk < 8 && chunk != n - i) break;
    const std::size_t before = i;
    if (!EncodeChunk(s, n, i, i + chunk, out)) {
      WipeWritten(to, out, size);  // a lone surrogate: the text has no UTF-8 form
      return;
    }
    if (i == n) {
      *out = 0;
      return;
    }
    if (i == before) break;  // a pair at the chunk's very start: let the careful path take it
  }

  unsigned char seq[4];
  std::size_t seq_length = 0;
  while (i < n) {
    const char16_t u = s[i];
    std::size_t consumed = 1;
    if (u < 0x80) {
      seq[0] = static_cast<unsigned char>(u);
      seq_length = 1;
    } else if (u < 0x800) {
      seq[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
      seq[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      seq_length = 2;
    } else if ((u & 0xF800) != 0xD800) {
      seq[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
      seq[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
      seq[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      seq_length = 3;
    } else {
      if (!IsLead(u) || i + 1 >= n || !IsTrail(s[i + 1])) {
        WipeWritten(to, out, size);
        return;
      }
      const char32_t c =
          0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      seq[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      seq[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      seq[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      seq[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      seq_length = 4;
      consumed = 2;
    }
    const std::size_t room = static_cast<std::size_t>(limit - out);
    if (room < seq_length) {
      // Cut: keep the bytes of the sequence that still fit, as a byte-wise copy would.
      std::memcpy(out, seq, room);
      *limit = 0;
      // The cut text is only given out when the whole text has a UTF-8 form.
      if (!IsWellFormedFrom(s, i + consumed, n)) WipeWritten(to, limit, size);
      return;
    }
    std::memcpy(out, seq, seq_length);
    out += seq_length;
    i += consumed;
  }
  *out = 0;
}

bool GetCString(const String& receiver, char* buffer, std::uint64_t size,
                unsigned int ansiEnc) noexcept {
  if (buffer == nullptr || size == 0) return false;
  bool ascii = true;
  for (const char16_t u : receiver) {
    if (u >= 0x80) {
      ascii = false;
      break;
    }
  }
  bool fitted = false;
  if (ascii) {
    if (receiver.size() < size) {
      for (std::size_t i = 0; i < receiver.size(); ++i) buffer[i] = static_cast<char>(receiver[i]);
      buffer[receiver.size()] = 0;
      fitted = true;
    }
  } else {
    const std::optional<std::string> bytes = platform::EncodeCodePage(receiver, ansiEnc);
    if (bytes.has_value() && bytes->size() < size) {
      std::memcpy(buffer, bytes->data(), bytes->size());
      buffer[bytes->size()] = 0;
      fitted = true;
    }
  }
  // A failed conversion leaves no partial text for a careless caller to pick up.
  if (!fitted) buffer[0] = 0;
  buffer[size - 1] = 0;
  return fitted;
}

void ClearSecured(String& receiver) noexcept {
  // Overwrite through the string's own storage: clearing and appending could move the text to
  // a new block and hand the old one, secret intact, back to the heap.
  for (char16_t& unit : receiver) unit = static_cast<char16_t>(RandomUnit());
}

}  // namespace kelvane::NSTools
