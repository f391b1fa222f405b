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
//   XML plist       a dictionary whose string values are the entries (through libplist).
//   binary plist    the same in the binary form ("bplist00").
//
// Values of other kinds in a property-list dictionary (numbers, nested dictionaries) are not
// text and are passed over. A later entry with the same key replaces the earlier one.
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
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// Hashes a String and a std::u16string_view alike, so a table is searched with a view.
struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view text) const noexcept {
    return std::hash<std::u16string_view>{}(text);
  }
};

using StringsTable = std::unordered_map<String, String, StringHash, std::equal_to<>>;

// Files above this size are refused rather than read: no real table comes near it.
inline constexpr std::size_t kMaxStringsTableBytes = std::size_t{64} << 20;

// The entries of a table held in `bytes`. The empty file is the empty table. nullopt for a
// malformed table (an unterminated string or comment, a missing '=' or ';', a bad escape, an
// unpaired surrogate, text that is not UTF-8, UTF-16 of odd length, a property list whose root
// is not a dictionary), for more than kMaxStringsTableBytes and when memory ran out.
[[nodiscard]] KELVANE_EXPORT std::optional<StringsTable> ParseStringsTable(
    std::span<const std::uint8_t> bytes) noexcept;

// The same for the file at `path`; nullopt also when it cannot be read.
[[nodiscard]] KELVANE_EXPORT std::optional<StringsTable> ReadStringsTable(
    const std::filesystem::path& path) noexcept;

}  // namespace kelvane::platform
