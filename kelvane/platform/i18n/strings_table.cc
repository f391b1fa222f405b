#include "kelvane/platform/i18n/strings_table.h"

#include <plist/plist.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

#include "kelvane/platform/i18n/unicode.h"

namespace kelvane::platform {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Whether every surrogate in `text` is one half of a pair.
bool WellFormed(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i])) {
      if (i + 1 == text.size() || !IsLowSurrogate(text[i + 1])) return false;
      ++i;
    } else if (IsLowSurrogate(text[i])) {
      return false;
    }
  }
  return true;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// ---- the text form --------------------------------------------------------------------------

class TextReader {
 public:
  explicit TextReader(std::u16string_view text) : text_(text) {}

  bool Read(StringsTable& table) {
    if (!SkipBlank()) return false;
    const bool braces = Peek(u'{');
    if (braces) ++pos_;
    for (;;) {
      if (!SkipBlank()) return false;
      if (AtEnd()) return !braces;
      if (braces && Peek(u'}')) {
        ++pos_;
        return SkipBlank() && AtEnd();
      }
      String key;
      if (!ReadString(key) || !SkipBlank()) return false;
      if (Peek(u';')) {  // a key alone stands for itself
        ++pos_;
        String value = key;
        table.insert_or_assign(std::move(key), std::move(value));
        continue;
      }
      if (!Peek(u'=')) return false;
      ++pos_;
      String value;
      if (!SkipBlank() || !ReadString(value) || !SkipBlank() || !Peek(u';')) return false;
      ++pos_;
      table.insert_or_assign(std::move(key), std::move(value));
    }
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  bool Peek(char16_t c) const { return pos_ < text_.size() && text_[pos_] == c; }

  static bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
           c == 0x2028 || c == 0x2029;
  }

  static bool IsBare(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$' || c == u'+' || c == u'/' || c == u':' || c == u'.' || c == u'-';
  }

  // Skips white space and comments; false for a comment that never ends.
  bool SkipBlank() {
    while (pos_ < text_.size()) {
      const char16_t c = text_[pos_];
      if (IsBlank(c)) {
        ++pos_;
      } else if (c == u'/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == u'*') {
        const std::size_t end = text_.find(u"*/", pos_ + 2);
        if (end == std::u16string_view::npos) return false;
        pos_ = end + 2;
      } else if (c == u'/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == u'/') {
        while (pos_ < text_.size() && text_[pos_] != u'\n' && text_[pos_] != u'\r' &&
               text_[pos_] != 0x2028 && text_[pos_] != 0x2029) {
          ++pos_;
        }
      } else {
        break;
      }
    }
    return true;
  }

  bool ReadString(String& out) {
    if (AtEnd()) return false;
    const char16_t first = text_[pos_];
    if (first == u'"' || first == u'\'') return ReadQuoted(first, out);
    const std::size_t start = pos_;
    while (pos_ < text_.size() && IsBare(text_[pos_])) ++pos_;
    out.assign(text_.substr(start, pos_ - start));
    return pos_ > start;
  }

  bool ReadQuoted(char16_t quote, String& out) {
    ++pos_;
    for (;;) {
      // Copy the plain run up to the next quote or backslash in one go.
      std::size_t stop = pos_;
      while (stop < text_.size() && text_[stop] != quote && text_[stop] != u'\\') ++stop;
      out.append(text_.substr(pos_, stop - pos_));
      pos_ = stop;
      if (AtEnd()) return false;  // unterminated
      if (text_[pos_] == quote) {
        ++pos_;
        return WellFormed(out);
      }
      ++pos_;  // the backslash
      if (AtEnd() || !ReadEscape(out)) return false;
    }
  }

  // One escape after its backslash.
  bool ReadEscape(String& out) {
    const char16_t c = text_[pos_++];
    // \a \b \f \n \r \t \v
    if (const std::size_t at = std::u16string_view(u"abfnrtv").find(c);
        at != std::u16string_view::npos) {
      out.push_back(u"\a\b\f\n\r\t\v"[at]);
      return true;
    }
    if (c == u'U' || c == u'u') {
      if (text_.size() - pos_ < 4) return false;
      unsigned unit = 0;
      for (int i = 0; i < 4; ++i) {
        const int digit = HexValue(text_[pos_ + i]);
        if (digit < 0) return false;
        unit = unit * 16 + static_cast<unsigned>(digit);
      }
      pos_ += 4;
      out.push_back(static_cast<char16_t>(unit));
      return true;
    }
    if (c >= u'0' && c <= u'7') {
      unsigned value = c - u'0';
      for (int i = 0; i < 2 && pos_ < text_.size() && text_[pos_] >= u'0' && text_[pos_] <= u'7';
           ++i) {
        value = value * 8 + (text_[pos_++] - u'0');
      }
      // Octal bytes from \200 up are characters of an old 8-bit character set, not Unicode:
      // refused rather than guessed.
      if (value >= 0x80) return false;
      out.push_back(static_cast<char16_t>(value));
      return true;
    }
    out.push_back(c);  // \" \' \\ and any other character stand for themselves
    return true;
  }

  std::u16string_view text_;
  std::size_t pos_ = 0;
};

// ---- property lists -------------------------------------------------------------------------

struct PlistFree {
  void operator()(void* node) const noexcept { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct CFree {
  void operator()(void* p) const noexcept { std::free(p); }
};

std::optional<StringsTable> TableFromPlist(plist_t root) {
  if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
  StringsTable table;
  plist_dict_iter raw_iter = nullptr;
  plist_dict_new_iter(root, &raw_iter);
  if (raw_iter == nullptr) return std::nullopt;
  const std::unique_ptr<void, CFree> iter(raw_iter);
  for (;;) {
    char* raw_key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(root, iter.get(), &raw_key, &value);
    const std::unique_ptr<char, CFree> key(raw_key);
    if (key == nullptr) break;
    if (value == nullptr || plist_get_node_type(value) != PLIST_STRING) continue;
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(value, &length);
    String key16;
    String value16;
    if (!Utf8ToUtf16(key.get(), key16) ||
        !Utf8ToUtf16(text == nullptr ? std::string_view() : std::string_view(text, length),
                     value16)) {
      return std::nullopt;
    }
    table.insert_or_assign(std::move(key16), std::move(value16));
  }
  return table;
}

std::optional<StringsTable> FromXml(std::string_view xml) {
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
  const PlistPtr owner(root);
  return TableFromPlist(root);
}

bool LooksLikeXml(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() &&
         (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r')) {
    ++i;
  }
  const std::u16string_view rest = text.substr(i);
  return rest.starts_with(u"<?xml") || rest.starts_with(u"<!DOCTYPE") ||
         rest.starts_with(u"<plist");
}

std::optional<StringsTable> FromText(std::u16string_view text) {
  if (LooksLikeXml(text)) {
    std::string utf8;
    if (!Utf16ToUtf8(text, utf8)) return std::nullopt;
    return FromXml(utf8);
  }
  StringsTable table;
  if (!TextReader(text).Read(table)) return std::nullopt;
  return table;
}

// UTF-16 units of `bytes` in the given order; false for an odd length or an unpaired surrogate.
bool DecodeUtf16(std::span<const std::uint8_t> bytes, bool big_endian, String& out) {
  if (bytes.size() % 2 != 0) return false;
  out.resize(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const unsigned a = bytes[2 * i];
    const unsigned b = bytes[2 * i + 1];
    out[i] = static_cast<char16_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
  }
  return WellFormed(out);
}

}  // namespace

std::optional<StringsTable> ParseStringsTable(std::span<const std::uint8_t> bytes) noexcept {
  try {
    if (bytes.size() > kMaxStringsTableBytes) return std::nullopt;
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (raw.starts_with("bplist00")) {
      plist_t root = nullptr;
      plist_from_bin(raw.data(), static_cast<std::uint32_t>(raw.size()), &root);
      const PlistPtr owner(root);
      return TableFromPlist(root);
    }
    String text;
    if (raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF")) {
      if (!DecodeUtf16(bytes.subspan(2), raw[0] == '\xFE', text)) return std::nullopt;
      return FromText(text);
    }
    if (!Utf8ToUtf16(raw.starts_with("\xEF\xBB\xBF") ? raw.substr(3) : raw, text)) {
      return std::nullopt;
    }
    return FromText(text);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<StringsTable> ReadStringsTable(const std::filesystem::path& path) noexcept {
  try {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kMaxStringsTableBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // A file that shrank while it was read is refused rather than read in part.
    if (in.gcount() != static_cast<std::streamsize>(bytes.size())) return std::nullopt;
    return ParseStringsTable(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace kelvane::platform
