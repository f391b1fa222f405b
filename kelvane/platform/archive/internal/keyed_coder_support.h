// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/archive/internal/keyed_coder_support.h
//
// What the keyed archive writer and reader share: the fixed names of the layout, text
// conversion, small libplist helpers and the class registry. Not installed.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/platform/archive/keyed_coder.h"

namespace kelvane::platform::internal {

inline constexpr char kArchiverName[] = "NSKeyedArchiver";
inline constexpr std::uint64_t kArchiveVersion = 100000;
inline constexpr char kNull[] = "$null";
inline constexpr char kRootClass[] = "NSObject";

// UTF-8 of well-formed UTF-16 without zero units; false otherwise (the file stores strings
// zero-terminated, so a zero unit would cut the text short without a word).
bool ToUtf8(std::u16string_view in, std::string& out);

// UTF-16 of strict UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool FromUtf8(std::string_view in, String& out);

struct PlistFree {
  void operator()(void* node) const noexcept { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

inline bool IsType(plist_t node, plist_type type) {
  return node != nullptr && plist_get_node_type(node) == type;
}

// The item under `key`; null when `dict` is not a dictionary or has no such key.
inline plist_t DictItem(plist_t dict, const char* key) {
  return IsType(dict, PLIST_DICT) ? plist_dict_get_item(dict, key) : nullptr;
}

std::string_view StringOf(plist_t node);

// The items of an array node, read once: indexing a libplist array walks its list.
std::vector<plist_t> Items(plist_t array);
// The same into `items`, whose storage is reused.
void Items(plist_t array, std::vector<plist_t>& items);

// Keys the coder writes itself begin with '$'; a caller's key that does is written with one
// more '$' in front, so the two never meet.
std::string EscapeKey(std::string_view key);

struct ClassEntry {
  std::vector<std::string> classes;  // the class itself, then its ancestors
  DecodeFunction decode = nullptr;
};

// The standard classes the coder reads and writes itself.
enum class Standard { kNone, kArray, kDictionary, kString, kData, kDate, kNull };
Standard StandardClass(std::string_view name);

std::optional<ClassEntry> FindClass(std::string_view name);

// A class name for a reason's message: in double quotes, bytes outside printable ASCII as \xNN
// and cut after 64 bytes, as names come from files and the message is one line.
std::string QuoteName(std::string_view name);

}  // namespace kelvane::platform::internal
