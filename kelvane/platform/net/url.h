// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/net/url.h
//
// URLs: splitting a URL text into its components, the URL value that a well-formed text makes,
// percent-encoding with a character set, and the numeric address checks.
//
//   SplitURL      cuts a text that looks like an absolute URL into scheme, user information,
//                 host, port, path, parameter string, query and fragment, exactly as written:
//                 nothing is decoded, and characters that a URL may not carry are left in place
//                 for the caller to encode.
//   URL           an absolute URL whose text is well formed by RFC 3986 (ASCII only, every '%'
//                 starts an escape). It prints itself and answers its components.
//   AddingPercentEncoding
//                 every character outside a set replaced by the %XX escapes of its UTF-8 bytes.
//   IsIPAddressText
//                 whether text is a numeric IPv4 or IPv6 address as the C library reads one.
//
// The parameter string is the text after the first ';' of the last path segment
// ("/a;x/b;type=i" has the path "/a;x/b" and the parameter string "type=i"); older URL schemes
// put transfer options there, and they are kept apart from the path so that rebuilding a URL
// does not treat them as part of the file name.
//
// Threads: values and pure functions; no shared state.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/charset.h"

namespace kelvane::platform {

// The components of a URL text as written. Absent components are nullopt; an empty one ("?"
// followed by nothing gives an empty query) is the empty string.
struct URLParts {
  String scheme;                           // never empty
  std::optional<String> user;              // before the ':' of the user information
  std::optional<String> password;          // after that ':'
  std::optional<String> host;              // an IP literal keeps its brackets: "[::1]"
  std::optional<String> port;              // the digits after the host's ':', possibly empty
  String path;                             // possibly empty
  std::optional<String> parameter_string;  // after the first ';' of the last path segment
  std::optional<String> query;             // after the first '?'
  std::optional<String> fragment;          // after the first '#'
};

// The components of `text` read as scheme ":" ["//" authority] path ["?" query] ["#" fragment].
// The user information ends at the last '@' of the authority, so a password holding '@' does not
// leak into the host. nullopt when the text has no valid scheme, when a port holds anything but
// digits, when a '[' of the host is not closed just before the port, or when memory ran out.
// Characters outside the URL alphabet (spaces, non-ASCII) are accepted and kept as written.
[[nodiscard]] KELVANE_EXPORT std::optional<URLParts> SplitURL(std::u16string_view text) noexcept;

// An absolute URL with a well-formed text.
class KELVANE_EXPORT URL {
 public:
  // The URL of `text`. nullopt unless the text is an absolute URL by RFC 3986 with only ASCII
  // characters, each component holding only the characters its grammar allows and well-formed
  // %XX escapes, an IP literal holding an IPv6 address or an IPvFuture, and a port of at most
  // 65535.
  [[nodiscard]] static std::optional<URL> Parse(std::u16string_view text) noexcept;

  // The text the URL was parsed from.
  [[nodiscard]] const String& absoluteString() const noexcept { return text_; }

  // Components as written (percent escapes kept); see URLParts.

  // The scheme, never empty.
  [[nodiscard]] const String& scheme() const noexcept { return parts_.scheme; }
  // The user information before its ':'.
  [[nodiscard]] const std::optional<String>& user() const noexcept { return parts_.user; }
  // The user information after its ':'.
  [[nodiscard]] const std::optional<String>& password() const noexcept { return parts_.password; }
  // The host without the brackets of an IP literal: "::1" for "http://[::1]/".
  [[nodiscard]] const std::optional<String>& host() const noexcept { return host_; }
  // nullopt when the URL has no port or an empty one ("http://h:/").
  [[nodiscard]] std::optional<std::uint16_t> port() const noexcept { return port_; }
  // The path, possibly empty.
  [[nodiscard]] const String& path() const noexcept { return parts_.path; }
  // The text after the first ';' of the last path segment.
  [[nodiscard]] const std::optional<String>& parameterString() const noexcept {
    return parts_.parameter_string;
  }
  // The text after the first '?'.
  [[nodiscard]] const std::optional<String>& query() const noexcept { return parts_.query; }
  // The text after the first '#'.
  [[nodiscard]] const std::optional<String>& fragment() const noexcept { return parts_.fragment; }

  // Equal when the texts are equal, unit for unit.
  friend bool operator==(const URL& a, const URL& b) noexcept { return a.text_ == b.text_; }

 private:
  URL() = default;

  String text_;
  URLParts parts_;
  std::optional<String> host_;  // made by Parse, so that reading it cannot fail
  std::optional<std::uint16_t> port_;
};

// `text` with every character outside `allowed` replaced by '%' and two upper-case hexadecimal
// digits for each byte of its UTF-8 form. nullopt when the text holds an unpaired surrogate
// (it has no UTF-8 form) or memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<String> AddingPercentEncoding(
    std::u16string_view text, const CharacterSet& allowed) noexcept;

// The families of numeric addresses.
enum class AddressFamily {
  kIPv4,  // dotted quad
  kIPv6,  // the RFC 4291 forms
};

// Whether `text` is a numeric address of the family as inet_pton reads it: dotted quad for IPv4
// ("192.168.0.1", no shorter forms), the RFC 4291 forms for IPv6 (no brackets, no zone).
// False for empty text, text holding U+0000 or an unpaired surrogate.
[[nodiscard]] KELVANE_EXPORT bool IsIPAddressText(std::u16string_view text,
                                                  AddressFamily family) noexcept;

}  // namespace kelvane::platform
