// SPDX-License-Identifier: Apache-2.0
// kelvane/text/url_tools.h
//
// Text made ready for the network and the file system: percent-encoding for form and multipart
// bodies, a user-typed address rebuilt into a well-formed URL, spaces made unbreakable, text
// filtered down to a character set, text made safe as a file name, the members of a character
// set listed, and the numeric address checks.
//
// Results that may be absent are std::optional: nullopt where the text cannot be encoded (it
// holds an unpaired surrogate, so it has no UTF-8 form) and where memory ran out.
//
// Threads: every function keeps no state and may be called from any thread. The shared sets
// returned by reference are immutable and live until exit.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/i18n/charset.h"
#include "kelvane/platform/net/url.h"

namespace kelvane {
namespace NSTools {

// ---- strings ---------------------------------------------------------------------------------

// `self` with every character outside AllowedMultipart() replaced by '%' and two upper-case
// hexadecimal digits per UTF-8 byte: "a b*c" gives "a%20b*c". nullopt when `self` holds an
// unpaired surrogate or memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<String> EncodedForMultipart(
    std::u16string_view self) noexcept;

// The form encoding of the UTF-8 bytes of `self`: 'A'-'Z', 'a'-'z', '0'-'9', '-', '.', '_', '~'
// as themselves, a space as '+', every other byte as "%XX" (upper-case): "a b&c" gives
// "a+b%26c". nullopt when `self` holds an unpaired surrogate or memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<String> URLEncoded(std::u16string_view self) noexcept;

// `self` rebuilt as a well-formed URL: scheme "://" host [":" port] path [";" parameters]
// ["?" query] ["#" fragment], each component percent-encoded with the URL set of its kind
// (platform::CharacterSet::URLHostAllowed() and the others). User name and password are dropped.
// Escapes already in the text are kept (with upper-case digits), except that escaped letters,
// digits and "-._~" are written plainly; a '%' that starts no escape becomes "%25". So an
// address the user typed with spaces or non-ASCII characters comes out encoded, and one that was
// already encoded keeps its meaning (an escaped '/' or '&' stays escaped).
// A port is written in decimal without leading zeros; an empty port ("h:/") is left out.
// nullopt for empty text, for text without a scheme and "//" host ("server/path",
// "file:///tmp/x"), for a port that is not digits or above 65535, for an IP literal that is no
// address, for text holding an unpaired surrogate, and when the rebuilt text is no URL.
[[nodiscard]] KELVANE_EXPORT std::optional<platform::URL> URL(std::u16string_view self) noexcept;

// `self` with every space U+0020 replaced by a no-break space U+00A0; other white space is kept.
// nullopt only when memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<String> NonBreakingString(
    std::u16string_view self) noexcept;

// The units of `self` that `allowed` contains, in order. The test is unit by unit: a character
// outside the Basic Multilingual Plane is kept only when the set holds both of its surrogate
// units. The empty set keeps nothing. nullopt only when memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<String> FilteredForAllowedCharacters(
    std::u16string_view self, const platform::CharacterSet& allowed) noexcept;

// ---- mutable strings -------------------------------------------------------------------------

// In place, every character of  < > : " ' \ | / ? *  becomes '_': "a/b:c?.txt" becomes
// "a_b_c_.txt". Every other unit, U+0000 included, is kept; the length does not change.
KELVANE_EXPORT void SafePath(String& self) noexcept;

// ---- character sets --------------------------------------------------------------------------

// The unreserved characters of RFC 3986 and '/' and '?' (68 members), for a query parameter
// value a caller builds by hand.
[[nodiscard]] KELVANE_EXPORT const platform::CharacterSet& AllowedURLQueryParameter() noexcept;

// Letters, digits and "*-._" (66 members): what a multipart body carries unencoded.
[[nodiscard]] KELVANE_EXPORT const platform::CharacterSet& AllowedMultipart() noexcept;

// Every member of `self` as a one-character string, in ascending code point order. Surrogate
// code points (U+D800..U+DFFF) cannot stand alone as a string and are left out. Each plane that
// holds members costs 65,536 tests: meant for small sets. nullopt only when memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<std::vector<String>> allCharacters(
    const platform::CharacterSet& self) noexcept;

}  // namespace NSTools

namespace Network {

// Whether `self` is a numeric IPv4 address in dotted-quad form ("192.168.0.1"). False for empty
// text, for shorter forms ("192.168.0"), for octets above 255 and for text holding U+0000.
[[nodiscard]] KELVANE_EXPORT bool IsValidIP4Address(std::u16string_view self) noexcept;

// Whether `self` is a numeric IPv6 address ("::1", "fe80::1"); brackets ("[::1]") and zones
// ("fe80::1%eth0") are not part of an address. False for empty text.
[[nodiscard]] KELVANE_EXPORT bool IsValidIP6Address(std::u16string_view self) noexcept;

// IsValidIP4Address or IsValidIP6Address.
[[nodiscard]] KELVANE_EXPORT bool IsValidIPAddress(std::u16string_view self) noexcept;

}  // namespace Network
}  // namespace kelvane
