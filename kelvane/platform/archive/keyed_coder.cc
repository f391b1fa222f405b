// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/archive/keyed_coder.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "kelvane/platform/archive/internal/keyed_coder_support.h"
#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane::platform {

Codable::~Codable() = default;
KeyedArchiver::~KeyedArchiver() = default;
KeyedUnarchiver::~KeyedUnarchiver() = default;

namespace internal {

// ---- text ---------------------------------------------------------------------------------

bool ToUtf8(std::u16string_view in, std::string& out) {
  return in.find(u'\0') == std::u16string_view::npos && Utf16ToUtf8(in, out);
}

bool FromUtf8(std::string_view in, String& out) { return Utf8ToUtf16(in, out); }

// ---- libplist helpers ----------------------------------------------------------------------

std::string_view StringOf(plist_t node) {
  std::uint64_t length = 0;
  const char* text = plist_get_string_ptr(node, &length);
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

void Items(plist_t array, std::vector<plist_t>& items) {
  items.clear();
  items.reserve(plist_array_get_size(array));
  plist_array_iter iter = nullptr;
  plist_array_new_iter(array, &iter);
  if (iter == nullptr) return;
  for (;;) {
    plist_t item = nullptr;
    plist_array_next_item(array, iter, &item);
    if (item == nullptr) break;
    items.push_back(item);
  }
  std::free(iter);
}

std::vector<plist_t> Items(plist_t array) {
  std::vector<plist_t> items;
  Items(array, items);
  return items;
}

std::string EscapeKey(std::string_view key) {
  return !key.empty() && key.front() == '$' ? "$" + std::string(key) : std::string(key);
}

// ---- the class registry ---------------------------------------------------------------------

Standard StandardClass(std::string_view name) {
  if (name == "NSArray" || name == "NSMutableArray") return Standard::kArray;
  if (name == "NSDictionary" || name == "NSMutableDictionary") return Standard::kDictionary;
  if (name == "NSString" || name == "NSMutableString") return Standard::kString;
  if (name == "NSData" || name == "NSMutableData") return Standard::kData;
  if (name == "NSDate") return Standard::kDate;
  if (name == "NSNull") return Standard::kNull;
  return Standard::kNone;
}

namespace {

bool IsReservedClassName(std::string_view name) {
  return StandardClass(name) != Standard::kNone || name == kRootClass || name == "NSNumber" ||
         name == "NSSet" || name == "NSMutableSet" || name == "NSValue";
}

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::string, ClassEntry> classes;
};

Registry& Classes() {
  // Never destroyed: used by static registrations.
  static internal::NoDestructor<Registry> registry;
  return *registry;
}

}  // namespace

std::string QuoteName(std::string_view name) {
  constexpr std::size_t kMaxShown = 64;
  std::string out = "\"";
  for (std::size_t i = 0; i < name.size() && i < kMaxShown; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    }
  }
  out += name.size() > kMaxShown ? "\"..." : "\"";
  return out;
}

std::optional<ClassEntry> FindClass(std::string_view name) {
  Registry& registry = Classes();
  std::lock_guard lock(registry.mutex);
  auto it = registry.classes.find(std::string(name));
  if (it == registry.classes.end()) return std::nullopt;
  return it->second;
}

}  // namespace internal

bool RegisterCodableClass(std::string_view name, std::vector<std::string> superclasses,
                          DecodeFunction decode) noexcept {
  if (name.empty() || decode == nullptr || internal::IsReservedClassName(name) ||
      name.find('\0') != std::string_view::npos) {
    return false;
  }
  try {
    internal::ClassEntry entry;
    entry.classes.emplace_back(name);
    for (std::string& s : superclasses) {
      if (s.empty() || s.find('\0') != std::string::npos) return false;
      entry.classes.push_back(std::move(s));
    }
    if (entry.classes.back() != internal::kRootClass)
      entry.classes.emplace_back(internal::kRootClass);
    entry.decode = decode;
    internal::Registry& registry = internal::Classes();
    std::lock_guard lock(registry.mutex);
    auto [it, inserted] = registry.classes.try_emplace(std::string(name), entry);
    if (!inserted) {
      if (it->second.decode != decode) return false;
      it->second = std::move(entry);
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace kelvane::platform
