#include "kelvane/text/buffer_copy.h"

#include <stdlib.h>

#include <bit>
#include <cstring>

#include "kelvane/platform/charset.h"

namespace kelvane::NSTools {
namespace {

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
  if (kept != 0) std::memcpy(to, string->data(), kept * sizeof(unsigned short));
  to[kept] = 0;
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
  unsigned int i = 0;
  for (; i < cap; ++i) {
    to[i] = src[i];
    if (src[i] == 0) break;
  }
  // The last unit is always cleared: a cut source keeps cap - 1 units and reports cap.
  to[cap - 1] = 0;
  return i;
}

unsigned int CopyWString(const unsigned short* src, char* toStr, unsigned int size) noexcept {
  if (src == nullptr || toStr == nullptr || size == 0) return 0;
  unsigned int i = 0;
  for (; i < size; ++i) {
    if (src[i] == 0) {
      toStr[i] = 0;
      break;
    }
    toStr[i] = static_cast<char>(src[i] & 0xFF);
  }
  toStr[size - 1] = 0;
  return i;
}

void CopyWStringSecured(const unsigned short* src, unsigned short* to, unsigned int size) noexcept {
  if (src == nullptr || to == nullptr) return;
  const unsigned int cap = size / 2;
  if (cap == 0) return;
  const unsigned int n = CopyWString(src, to, size);
  for (unsigned int i = n + 1; i < cap; ++i) to[i] = RandomUnit();
}

void TrimSpaces(unsigned short* s) noexcept {
  if (s == nullptr || s[0] == 0) return;
  std::size_t length = platform::WStringLength(s);
  std::size_t lead = 0;
  while (s[lead] == 0x0020) ++lead;
  if (lead != 0) {
    std::memmove(s, s + lead, (length - lead + 1) * sizeof(unsigned short));
    length -= lead;
  }
  while (length != 0 && s[length - 1] == 0x0020) s[--length] = 0;
}

void CopyToStr(const String& receiver, char* to, unsigned int size) noexcept {
  if (to == nullptr || size == 0) return;
  const char16_t* s = receiver.data();
  const std::size_t n = receiver.size();
  char* out = to;
  char* const limit = to + (size - 1);  // the last byte is kept for the terminator
  std::size_t i = 0;
  unsigned char seq[4];
  std::size_t seq_length = 0;

  while (i < n) {
    if constexpr (std::endian::native == std::endian::little) {
      // Mostly-ASCII text goes eight units at a time.
      while (i + 8 <= n && limit - out >= 8) {
        std::uint64_t w0, w1;
        std::memcpy(&w0, s + i, 8);
        std::memcpy(&w1, s + i + 4, 8);
        if (((w0 | w1) & 0xFF80FF80FF80FF80ull) != 0) break;
        const std::uint32_t b0 = PackAscii4(w0), b1 = PackAscii4(w1);
        std::memcpy(out, &b0, 4);
        std::memcpy(out + 4, &b1, 4);
        out += 8;
        i += 8;
      }
      if (i >= n) break;
    }
    const char16_t u = s[i];
    if (u < 0x80) {
      if (out == limit) goto full;
      *out++ = static_cast<char>(u);
      ++i;
      continue;
    }
    std::size_t consumed = 1;
    if (u < 0x800) {
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
        to[0] = 0;  // a lone surrogate: the text has no UTF-8 form
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
    if (static_cast<std::size_t>(limit - out) < seq_length) {
      // Cut: keep the bytes of the sequence that still fit, as a byte-wise copy would.
      const std::size_t room = static_cast<std::size_t>(limit - out);
      std::memcpy(out, seq, room);
      out = limit;
      i += consumed;
      goto full;
    }
    std::memcpy(out, seq, seq_length);
    out += seq_length;
    i += consumed;
  }
  *out = 0;
  return;

full:
  *limit = 0;
  // The cut text is only given out when the whole text has a UTF-8 form.
  if (!IsWellFormedFrom(s, i, n)) to[0] = 0;
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
