// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/i18n/strings_table.h
//
// The reader of string tables (`<Table>.strings`), byte for byte the files the phone app ships
// in its `<language>.lproj` folders. Three forms are read:
//
//   text            `"key" = "value";` entries, in UTF-8 (an optional byte-order mark) or in
//                   UTF-16 of either byte order with a byte-order mark. `/* */` and `//`
//                   comments; quotes " or '; the escapes \n \t \r \" \' \\ \a \b \f \v, \Uxxxx
//                   and \uxxxx (four hex digits, one UTF-16 unit each, so a pair of escapes
//                   makes one character outside the Basic Multilingual Plane), and octal \ooo
//                   below \200; any other escaped character stands for itself. Keys and values
//                   made only of letters, digits and _$+/:.- need no quotes; `"key";` maps the
//                   key to itself; the entries may be wrapped in one pair of braces.
//   XML plist       a dictionary whose string values are the entries, read by a reader of this
//                   module: an optional XML declaration, comments and a document type without
//                   declarations of its own; the elements of a property list, optionally inside
//                   <plist>; the five named entities, character references and CDATA sections.
//   binary plist    the same in the binary form ("bplist00"), checked by CheckBinaryPropertyList
//                   (kelvane/platform/core/property_list_check.h) before libplist reads it.
//
// Values of other kinds in a property-list dictionary (numbers, nested dictionaries) are not
// text and are passed over. A later entry with the same key replaces the earlier one.
//
// Bounds, as tables come from outside: files above kMaxStringsTableBytes are refused unread;
// property lists nesting deeper than kMaxPropertyListDepth, or binary lists whose shared
// references would expand past PropertyListBudget of their size, are refused; nothing recurses
// on the input, and time and memory stay in proportion to it. Keys are hashed with StringHash,
// keyed per process, so no set of keys makes a table slow.
//
// Threads: the functions keep no state and may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// Hashes a String and a std::u16string_view alike, so a table is searched with a view. The hash
// is SipHash-2-4 under a random key drawn once per process: tables keyed by text from outside
// cannot be flooded with keys made to collide, and no order of iteration is stable across runs.
struct KELVANE_EXPORT StringHash {
  // Marks the hash as taking views as well as Strings, for lookups without a copy.
  using is_transparent = void;
  // The hash of `text`.
  std::size_t operator()(std::u16string_view text) const noexcept;
};

// The entries of a strings table: text under its key.
using StringsTable = std::unordered_map<String, String, StringHash, std::equal_to<>>;

// Files above this size are refused rather than read: no real table comes near it.
inline constexpr std::size_t kMaxStringsTableBytes = std::size_t{64} << 20;

// The entries of a table held in `bytes`. The empty file is the empty table. nullopt for a
// malformed table (an unterminated string or comment, a missing '=' or ';', a bad escape, an
// unpaired surrogate, text that is not UTF-8, UTF-16 of odd length, a property list whose root
// is not a dictionary or that breaks the bounds above), for more than kMaxStringsTableBytes and
// when memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<StringsTable> ParseStringsTable(
    std::span<const std::uint8_t> bytes) noexcept;

// The same for the regular file at `path`; nullopt also when it cannot be read or is not a
// regular file (a folder, a named pipe, a device: refused without blocking).
[[nodiscard]] KELVANE_EXPORT std::optional<StringsTable> ReadStringsTable(
    const std::filesystem::path& path) noexcept;

// ParseStringsTable and ReadStringsTable with the reason of a refusal: kMalformed (with the line
// for the text form), kTooLarge (over a bound above, or memory ran out), and for a file the
// reasons of ReadRegularFile (kelvane/platform/core/file_handle.h).
[[nodiscard]] KELVANE_EXPORT Result<StringsTable> LoadStringsTable(
    std::span<const std::uint8_t> bytes) noexcept;
// ReadStringsTable with the reason of a refusal, as LoadStringsTable() gives it.
[[nodiscard]] KELVANE_EXPORT Result<StringsTable> LoadStringsTableFile(
    const std::filesystem::path& path) noexcept;

}  // namespace kelvane::platform
