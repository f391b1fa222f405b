#include "kelvane/platform/keyed_coder.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "kelvane/platform/internal/keyed_coder_support.h"

namespace kelvane::platform {

Codable::~Codable() = default;
KeyedArchiver::~KeyedArchiver() = default;
KeyedUnarchiver::~KeyedUnarchiver() = default;

namespace internal {

// ---- text ---------------------------------------------------------------------------------

bool ToUtf8(std::u16string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    std::uint32_t c = in[i];
    if (c == 0) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

bool FromUtf8(std::string_view in, String& out) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    std::uint32_t c;
    std::size_t n;
    if (b < 0x80) {
      c = b, n = 0;
    } else if (b >= 0xC2 && b <= 0xDF) {
      c = b & 0x1F, n = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      c = b & 0x0F, n = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      c = b & 0x07, n = 3;
    } else {
      return false;
    }
    if (in.size() - i <= n) return false;  // the sequence is cut short
    for (std::size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(in[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if ((n == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (n == 3 && (c < 0x10000 || c > 0x10FFFF))) {
      return false;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n + 1;
  }
  return true;
}

// ---- libplist helpers ----------------------------------------------------------------------

std::string_view StringOf(plist_t node) {
  std::uint64_t length = 0;
  const char* text = plist_get_string_ptr(node, &length);
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

std::vector<plist_t> Items(plist_t array) {
  std::vector<plist_t> items;
  items.reserve(plist_array_get_size(array));
  plist_array_iter iter = nullptr;
  plist_array_new_iter(array, &iter);
  if (iter == nullptr) return items;
  for (;;) {
    plist_t item = nullptr;
    plist_array_next_item(array, iter, &item);
    if (item == nullptr) break;
    items.push_back(item);
  }
  std::free(iter);
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
  if (name == "NSNull") return Standard::kNull;
  return Standard::kNone;
}

namespace {

bool IsReservedClassName(std::string_view name) {
  return StandardClass(name) != Standard::kNone || name == kRootClass || name == "NSNumber" ||
         name == "NSSet" || name == "NSMutableSet" || name == "NSDate" || name == "NSValue";
}

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::string, ClassEntry> classes;
};

Registry& Classes() {
  static Registry* registry = new Registry;  // never destroyed: used by static registrations
  return *registry;
}

}  // namespace

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
