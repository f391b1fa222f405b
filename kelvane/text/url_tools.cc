// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/url_tools.h"

#include <cstdint>
#include <new>

#include "kelvane/platform/core/ascii.h"

namespace kelvane {
namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

// What the form encoding does with each ASCII byte: 0 copies it, 1 writes '+', 2 escapes it.
// Bytes from 0x80 up (parts of multi-byte characters) are always escaped.
struct FormClasses {
  std::uint8_t of[128];
  constexpr FormClasses() : of() {
    for (int b = 0; b < 128; ++b) {
      const bool plain =
          platform::ascii::IsAlnum(b) || b == '-' || b == '.' || b == '_' || b == '~';
      of[b] = plain ? 0 : b == ' ' ? 1 : 2;
    }
  }
};
constexpr FormClasses kForm;

inline char16_t* PutEscape(char16_t* out, unsigned byte) {
  out[0] = u'%';
  out[1] = kHexDigits[byte >> 4];
  out[2] = kHexDigits[byte & 0x0F];
  return out + 3;
}

bool IsLeadSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsTrailSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

bool IsUnreservedByte(int b) {
  return platform::ascii::IsAlnum(b) || b == '-' || b == '.' || b == '_' || b == '~';
}

// Appends `component` encoded for a URL: characters outside `allowed` as the escapes of their
// UTF-8 bytes, escapes already present kept in their normal form (see NSTools::URL). False when
// the component holds an unpaired surrogate.
bool AppendComponent(String& out, std::u16string_view component,
                     const platform::CharacterSet& allowed) {
  std::size_t i = 0;
  while (i < component.size()) {
    const std::size_t next = component.find(u'%', i);
    const std::size_t end = next == std::u16string_view::npos ? component.size() : next;
    if (end > i) {
      std::optional<String> encoded =
          platform::AddingPercentEncoding(component.substr(i, end - i), allowed);
      if (!encoded) return false;
      out += *encoded;
    }
    if (end == component.size()) break;
    const int high =
        end + 2 < component.size() ? platform::ascii::HexValue(component[end + 1]) : -1;
    const int low = end + 2 < component.size() ? platform::ascii::HexValue(component[end + 2]) : -1;
    if (high < 0 || low < 0) {
      out += u"%25";  // a bare '%' stands for itself
      i = end + 1;
      continue;
    }
    const int byte = high * 16 + low;
    if (IsUnreservedByte(byte)) {
      out += static_cast<char16_t>(byte);
    } else {
      char16_t escape[3];
      PutEscape(escape, static_cast<unsigned>(byte));
      out.append(escape, 3);
    }
    i = end + 3;
  }
  return true;
}

}  // namespace

namespace NSTools {

std::optional<String> EncodedForMultipart(std::u16string_view self) noexcept {
  return platform::AddingPercentEncoding(self, AllowedMultipart());
}

std::optional<String> URLEncoded(std::u16string_view self) noexcept {
  // Two passes: the first measures the output and rejects unpaired surrogates, so the second
  // writes into storage of the final size with no bounds checks and no growth.
  const std::size_t n = self.size();
  const char16_t* const in = self.data();
  std::size_t length = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t u = in[i];
    if (u < 0x80) {
      length += kForm.of[u] == 2 ? 3 : 1;
    } else if (u < 0x800) {
      length += 6;
    } else if (IsLeadSurrogate(u)) {
      if (i + 1 >= n || !IsTrailSurrogate(in[i + 1])) return std::nullopt;
      length += 12;
      ++i;
    } else if (IsTrailSurrogate(u)) {
      return std::nullopt;
    } else {
      length += 9;
    }
  }
  try {
    String result(length, u'\0');
    char16_t* out = result.data();
    for (std::size_t i = 0; i < n; ++i) {
      const char16_t u = in[i];
      if (u < 0x80) {
        const std::uint8_t kind = kForm.of[u];
        if (kind == 0) {
          *out++ = u;
        } else if (kind == 1) {
          *out++ = u'+';
        } else {
          out = PutEscape(out, u);
        }
      } else if (u < 0x800) {
        out = PutEscape(out, 0xC0 | (u >> 6));
        out = PutEscape(out, 0x80 | (u & 0x3F));
      } else if (IsLeadSurrogate(u)) {
        const char32_t c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                           (static_cast<char32_t>(in[++i]) - 0xDC00);
        out = PutEscape(out, 0xF0 | (c >> 18));
        out = PutEscape(out, 0x80 | ((c >> 12) & 0x3F));
        out = PutEscape(out, 0x80 | ((c >> 6) & 0x3F));
        out = PutEscape(out, 0x80 | (c & 0x3F));
      } else {
        out = PutEscape(out, 0xE0 | (u >> 12));
        out = PutEscape(out, 0x80 | ((u >> 6) & 0x3F));
        out = PutEscape(out, 0x80 | (u & 0x3F));
      }
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<platform::URL> URL(std::u16string_view self) noexcept {
  if (self.empty()) return std::nullopt;
  const std::optional<platform::URLParts> parts = platform::SplitURL(self);
  if (!parts || parts->scheme.empty() || !parts->host || parts->host->empty()) {
    return std::nullopt;
  }
  try {
    using platform::CharacterSet;
    String text = parts->scheme;
    text += u"://";
    if (!AppendComponent(text, *parts->host, CharacterSet::URLHostAllowed())) return std::nullopt;
    if (parts->port && !parts->port->empty()) {
      std::uint32_t port = 0;
      for (char16_t digit : *parts->port) {
        port = port * 10 + static_cast<std::uint32_t>(digit - u'0');
        if (port > 65535) return std::nullopt;
      }
      text += u':';
      for (char c : std::to_string(port)) text += static_cast<char16_t>(c);
    }
    if (!AppendComponent(text, parts->path, CharacterSet::URLPathAllowed())) return std::nullopt;
    if (parts->parameter_string) {
      text += u';';
      if (!AppendComponent(text, *parts->parameter_string, CharacterSet::URLQueryAllowed())) {
        return std::nullopt;
      }
    }
    if (parts->query) {
      text += u'?';
      if (!AppendComponent(text, *parts->query, CharacterSet::URLQueryAllowed())) {
        return std::nullopt;
      }
    }
    if (parts->fragment) {
      text += u'#';
      if (!AppendComponent(text, *parts->fragment, CharacterSet::URLFragmentAllowed())) {
        return std::nullopt;
      }
    }
    return platform::URL::Parse(text);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> NonBreakingString(std::u16string_view self) noexcept {
  try {
    String result(self);
    for (char16_t& u : result) {
      if (u == u' ') u = u'\u00A0';
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> FilteredForAllowedCharacters(std::u16string_view self,
                                                   const platform::CharacterSet& allowed) noexcept {
  try {
    String result;
    for (char16_t u : self) {
      if (allowed.Contains(u)) result += u;
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

void SafePath(String& self) noexcept {
  // Rewritten in place: the text keeps every unit, a U+0000 in a name included, and no
  // temporary copy is needed.
  for (char16_t& u : self) {
    switch (u) {
      case u'<':
      case u'>':
      case u':':
      case u'"':
      case u'\'':
      case u'\\':
      case u'|':
      case u'/':
      case u'?':
      case u'*':
        u = u'_';
        break;
      default:
        break;
    }
  }
}

const platform::CharacterSet& AllowedURLQueryParameter() noexcept {
  static const platform::CharacterSet* const set =
      new platform::CharacterSet(platform::CharacterSet::FromCharacters(
          u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/?"));
  return *set;
}

const platform::CharacterSet& AllowedMultipart() noexcept {
  static const platform::CharacterSet* const set =
      new platform::CharacterSet(platform::CharacterSet::FromCharacters(
          u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789*-._"));
  return *set;
}

std::optional<std::vector<String>> allCharacters(const platform::CharacterSet& self) noexcept {
  try {
    std::vector<String> members;
    for (unsigned plane = 0; plane <= 16; ++plane) {
      if (!self.HasMemberInPlane(plane)) continue;
      const char32_t first = static_cast<char32_t>(plane) << 16;
      for (char32_t c = first; c <= first + 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (!self.ContainsCodePoint(c)) continue;
        if (c < 0x10000) {
          members.emplace_back(1, static_cast<char16_t>(c));
        } else {
          const char16_t pair[2] = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
                                    static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
          members.emplace_back(pair, 2);
        }
      }
    }
    return members;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace NSTools

namespace Network {

bool IsValidIP4Address(std::u16string_view self) noexcept {
  return platform::IsIPAddressText(self, platform::AddressFamily::kIPv4);
}

bool IsValidIP6Address(std::u16string_view self) noexcept {
  return platform::IsIPAddressText(self, platform::AddressFamily::kIPv6);
}

bool IsValidIPAddress(std::u16string_view self) noexcept {
  return IsValidIP4Address(self) || IsValidIP6Address(self);
}

}  // namespace Network
}  // namespace kelvane
