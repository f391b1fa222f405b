// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/net/url.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <new>
#include <string>

#include "kelvane/platform/core/ascii.h"

namespace kelvane::platform {
namespace {

constexpr std::size_t kNone = std::u16string_view::npos;

using ascii::IsAlpha;
using ascii::IsDigit;
using ascii::IsHexDigit;

bool IsSchemeChar(char16_t c) {
  return IsAlpha(c) || IsDigit(c) || c == u'+' || c == u'-' || c == u'.';
}

// Position of the first of `stops` in `text` at or after `from`, or text.size().
std::size_t FindFirst(std::u16string_view text, std::u16string_view stops, std::size_t from) {
  const std::size_t at = text.find_first_of(stops, from);
  return at == kNone ? text.size() : at;
}

// The character classes a well-formed component may hold besides %XX escapes.
bool IsUnreserved(char16_t c) {
  return IsAlpha(c) || IsDigit(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
}
bool IsSubDelim(char16_t c) {
  switch (c) {
    case u'!':
    case u'$':
    case u'&':
    case u'\'':
    case u'(':
    case u')':
    case u'*':
    case u'+':
    case u',':
    case u';':
    case u'=':
      return true;
    default:
      return false;
  }
}
bool IsUserInfoChar(char16_t c) { return IsUnreserved(c) || IsSubDelim(c) || c == u':'; }
bool IsRegNameChar(char16_t c) { return IsUnreserved(c) || IsSubDelim(c); }
bool IsPathChar(char16_t c) {
  return IsUnreserved(c) || IsSubDelim(c) || c == u':' || c == u'@' || c == u'/';
}
bool IsQueryChar(char16_t c) { return IsPathChar(c) || c == u'?'; }

// Whether every unit is allowed by `allowed` or starts a well-formed %XX escape.
bool IsWellFormed(std::u16string_view text, bool (*allowed)(char16_t)) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%') {
      if (i + 2 >= text.size() || !IsHexDigit(text[i + 1]) || !IsHexDigit(text[i + 2])) {
        return false;
      }
      i += 2;
    } else if (!allowed(text[i])) {
      return false;
    }
  }
  return true;
}

bool IsWellFormedIfPresent(const std::optional<String>& text, bool (*allowed)(char16_t)) {
  return !text.has_value() || IsWellFormed(std::u16string_view(*text), allowed);
}

// "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" ), the form kept for future address kinds.
bool IsIPvFuture(std::u16string_view text) {
  if (text.size() < 4 || (text[0] != u'v' && text[0] != u'V')) return false;
  std::size_t i = 1;
  while (i < text.size() && IsHexDigit(text[i])) ++i;
  if (i == 1 || i >= text.size() - 1 || text[i] != u'.') return false;
  for (++i; i < text.size(); ++i) {
    if (!IsUserInfoChar(text[i])) return false;
  }
  return true;
}

bool IsValidHost(std::u16string_view host) {
  if (!host.empty() && host.front() == u'[') {
    if (host.size() < 2 || host.back() != u']') return false;
    const std::u16string_view literal = host.substr(1, host.size() - 2);
    return IsIPAddressText(literal, AddressFamily::kIPv6) || IsIPvFuture(literal);
  }
  return IsWellFormed(host, IsRegNameChar);
}

void AppendEscapedByte(String& out, unsigned char byte) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u'%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

}  // namespace

std::optional<URLParts> SplitURL(std::u16string_view text) noexcept {
  try {
    URLParts parts;
    // scheme ":"
    const std::size_t colon = text.find(u':');
    if (colon == kNone || colon == 0 || !IsAlpha(text[0])) return std::nullopt;
    for (std::size_t i = 1; i < colon; ++i) {
      if (!IsSchemeChar(text[i])) return std::nullopt;
    }
    parts.scheme.assign(text.substr(0, colon));
    std::size_t at = colon + 1;

    // "//" authority
    if (text.substr(at, 2) == u"//") {
      at += 2;
      const std::size_t end = FindFirst(text, u"/?#", at);
      std::u16string_view authority = text.substr(at, end - at);
      at = end;
      const std::size_t user_end = authority.rfind(u'@');
      if (user_end != kNone) {
        const std::u16string_view user_info = authority.substr(0, user_end);
        const std::size_t split = user_info.find(u':');
        parts.user.emplace(user_info.substr(0, split));
        if (split != kNone) parts.password.emplace(user_info.substr(split + 1));
        authority.remove_prefix(user_end + 1);
      }
      std::size_t host_end;
      if (!authority.empty() && authority.front() == u'[') {
        const std::size_t close = authority.find(u']');
        if (close == kNone) return std::nullopt;
        host_end = close + 1;
        if (host_end < authority.size() && authority[host_end] != u':') return std::nullopt;
      } else {
        host_end = authority.find(u':');
        if (host_end == kNone) host_end = authority.size();
      }
      parts.host.emplace(authority.substr(0, host_end));
      if (host_end < authority.size()) {
        const std::u16string_view port = authority.substr(host_end + 1);
        for (char16_t c : port) {
          if (!IsDigit(c)) return std::nullopt;
        }
        parts.port.emplace(port);
      }
    }

    // path [";" parameter string] ["?" query] ["#" fragment]
    const std::size_t path_end = FindFirst(text, u"?#", at);
    std::u16string_view path = text.substr(at, path_end - at);
    const std::size_t last_segment = path.rfind(u'/');
    const std::size_t semicolon = path.find(u';', last_segment == kNone ? 0 : last_segment + 1);
    if (semicolon != kNone) {
      parts.parameter_string.emplace(path.substr(semicolon + 1));
      path = path.substr(0, semicolon);
    }
    parts.path.assign(path);
    at = path_end;
    if (at < text.size() && text[at] == u'?') {
      const std::size_t query_end = FindFirst(text, u"#", at + 1);
      parts.query.emplace(text.substr(at + 1, query_end - at - 1));
      at = query_end;
    }
    if (at < text.size()) parts.fragment.emplace(text.substr(at + 1));  // text[at] is '#'
    return parts;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<URL> URL::Parse(std::u16string_view text) noexcept {
  for (char16_t c : text) {
    if (c <= 0x20 || c >= 0x7F) return std::nullopt;  // no spaces, controls or non-ASCII
  }
  std::optional<URLParts> parts = SplitURL(text);
  if (!parts) return std::nullopt;
  if (!IsWellFormedIfPresent(parts->user, IsUserInfoChar) ||
      !IsWellFormedIfPresent(parts->password, IsUserInfoChar))
    return std::nullopt;
  if (parts->host && !IsValidHost(*parts->host)) return std::nullopt;
  // With an authority the path is empty or absolute; without one it cannot begin with "//",
  // which SplitURL already read as an authority.
  if (parts->host && !parts->path.empty() && parts->path.front() != u'/') return std::nullopt;
  if (!IsWellFormed(parts->path, IsPathChar) ||
      !IsWellFormedIfPresent(parts->parameter_string, IsPathChar) ||
      !IsWellFormedIfPresent(parts->query, IsQueryChar) ||
      !IsWellFormedIfPresent(parts->fragment, IsQueryChar)) {
    return std::nullopt;
  }
  try {
    URL url;
    if (parts->port && !parts->port->empty()) {
      std::uint32_t value = 0;
      for (char16_t c : *parts->port) {
        value = value * 10 + static_cast<std::uint32_t>(c - u'0');
        if (value > 65535) return std::nullopt;
      }
      url.port_ = static_cast<std::uint16_t>(value);
    }
    url.text_.assign(text);
    url.parts_ = std::move(*parts);
    if (const std::optional<String>& host = url.parts_.host) {
      const bool literal = host->size() >= 2 && host->front() == u'[';
      url.host_.emplace(literal ? host->substr(1, host->size() - 2) : *host);
    }
    return url;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> AddingPercentEncoding(std::u16string_view text,
                                            const CharacterSet& allowed) noexcept {
  try {
    String out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
      char32_t c = text[i];
      std::size_t units = 1;
      if (c >= 0xD800 && c <= 0xDFFF) {
        if (c > 0xDBFF || i + 1 >= n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
          return std::nullopt;  // an unpaired surrogate has no UTF-8 form
        }
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        units = 2;
      }
      if (allowed.ContainsCodePoint(c)) {
        out.append(text.substr(i, units));
      } else if (c < 0x80) {
        AppendEscapedByte(out, static_cast<unsigned char>(c));
      } else if (c < 0x800) {
        AppendEscapedByte(out, static_cast<unsigned char>(0xC0 | (c >> 6)));
        AppendEscapedByte(out, static_cast<unsigned char>(0x80 | (c & 0x3F)));
      } else if (c < 0x10000) {
        AppendEscapedByte(out, static_cast<unsigned char>(0xE0 | (c >> 12)));
        AppendEscapedByte(out, static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
        AppendEscapedByte(out, static_cast<unsigned char>(0x80 | (c & 0x3F)));
      } else {
        AppendEscapedByte(out, static_cast<unsigned char>(0xF0 | (c >> 18)));
        AppendEscapedByte(out, static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)));
        AppendEscapedByte(out, static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
        AppendEscapedByte(out, static_cast<unsigned char>(0x80 | (c & 0x3F)));
      }
      i += units - 1;
    }
    return out;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool IsIPAddressText(std::u16string_view text, AddressFamily family) noexcept {
  // Both forms are short ASCII; anything longer or wider is no address, and checking that here
  // keeps a U+0000 from ending the text early in the C library's eyes.
  char ascii[INET6_ADDRSTRLEN + 1];
  if (text.empty() || text.size() >= sizeof ascii) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 0 || text[i] >= 0x80) return false;
    ascii[i] = static_cast<char>(text[i]);
  }
  ascii[text.size()] = '\0';
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(family == AddressFamily::kIPv4 ? AF_INET : AF_INET6, ascii, address) == 1;
}

}  // namespace kelvane::platform
