// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/strings_table.h"

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/internal/keyed_hash.h"
#include "kelvane/platform/core/internal/property_list_room.h"
#include "kelvane/platform/core/property_list_check.h"
#include "kelvane/platform/i18n/internal/strings_table_xml.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane::platform {
namespace {

using ascii::HexValue;
using internal::WellFormed;

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

  // The line the reader stopped on, from 1.
  std::size_t Line() const {
    std::size_t line = 1;
    for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == u'\n';
    return line;
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  bool Peek(char16_t c) const { return pos_ < text_.size() && text_[pos_] == c; }

  static bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
           c == 0x2028 || c == 0x2029;
  }

  static bool IsBare(char16_t c) {
    return ascii::IsAlnum(c) || c == u'_' || c == u'$' || c == u'+' || c == u'/' || c == u':' ||
           c == u'.' || c == u'-';
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

// ---- property lists in binary ---------------------------------------------------------------

struct PlistFree {
  void operator()(void* node) const noexcept { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct CFree {
  void operator()(void* p) const noexcept { std::free(p); }
};

Result<StringsTable> FromBinary(std::span<const std::uint8_t> bytes) {
  // libplist recurses and copies shared references: it only sees lists that passed the check.
  Result<PropertyListShape> shape = CheckBinaryPropertyList(bytes);
  if (!shape) return shape.error();
  // Nor does it check its allocations: without room for its tree it would stop the process, or
  // hand back a list that reads as damaged.
  if (!internal::RoomForPropertyList(shape->expanded_bytes)) throw std::bad_alloc();
  plist_t raw_root = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::uint32_t>(bytes.size()), &raw_root);
  const PlistPtr owner(raw_root);
  if (raw_root == nullptr) return Error{ErrorKind::kMalformed, "a damaged property list"};
  if (plist_get_node_type(raw_root) != PLIST_DICT) {
    return Error{ErrorKind::kMalformed, "the root is not a dictionary"};
  }
  const Error bad_text{ErrorKind::kMalformed, "a key or value that is not UTF-8"};
  StringsTable table;
  plist_dict_iter raw_iter = nullptr;
  plist_dict_new_iter(raw_root, &raw_iter);
  if (raw_iter == nullptr) throw std::bad_alloc();
  const std::unique_ptr<void, CFree> iter(raw_iter);
  // The iterator hands out a copy of each key, and no key once the copy fails as at the end: the
  // count tells the two apart, so that a table is never handed out without its last entries.
  const std::uint32_t entries = plist_dict_get_size(raw_root);
  for (std::uint32_t at = 0;; ++at) {
    char* raw_key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(raw_root, iter.get(), &raw_key, &value);
    const std::unique_ptr<char, CFree> key(raw_key);
    if (key == nullptr) {
      if (at < entries) throw std::bad_alloc();
      break;
    }
    if (value == nullptr || plist_get_node_type(value) != PLIST_STRING) continue;
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(value, &length);
    const std::string_view key8(key.get());
    const std::string_view value8 =
        text == nullptr ? std::string_view() : std::string_view(text, length);
    // The decoder needs no more units than bytes, and says false for memory as for bad text:
    // made sure of here, its false is the text's.
    String key16;
    String value16;
    key16.reserve(key8.size());
    value16.reserve(value8.size());
    if (!Utf8ToUtf16(key8, key16) || !Utf8ToUtf16(value8, value16)) return bad_text;
    table.insert_or_assign(std::move(key16), std::move(value16));
  }
  return table;
}

// ---- the forms together -----------------------------------------------------------------------

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

Result<StringsTable> FromText(std::u16string_view text) {
  if (LooksLikeXml(text)) return internal::ReadXmlStringsTable(text);
  StringsTable table;
  TextReader reader(text);
  if (!reader.Read(table)) {
    return Error{ErrorKind::kMalformed,
                 "a string table that cannot be read at line " + std::to_string(reader.Line())};
  }
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

Error TooLarge(std::uint64_t limit) {
  return Error{ErrorKind::kTooLarge, "over the limit of " + DescribeBytes(limit)};
}

}  // namespace

std::size_t StringHash::operator()(std::u16string_view text) const noexcept {
  return internal::KeyedTextHash{}(text);
}

Result<StringsTable> LoadStringsTable(std::span<const std::uint8_t> bytes) noexcept {
  try {
    if (bytes.size() > kMaxStringsTableBytes) return TooLarge(kMaxStringsTableBytes);
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (raw.starts_with("bplist00")) return FromBinary(bytes);
    const Error bad_text{ErrorKind::kMalformed, "text that is neither UTF-8 nor UTF-16"};
    String text;
    if (raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF")) {
      if (!DecodeUtf16(bytes.subspan(2), raw[0] == '\xFE', text)) return bad_text;
      return FromText(text);
    }
    const std::string_view utf8 = raw.starts_with("\xEF\xBB\xBF") ? raw.substr(3) : raw;
    text.reserve(utf8.size());  // so that the decoder's false is the text's, not memory's
    if (!Utf8ToUtf16(utf8, text)) return bad_text;
    return FromText(text);
  } catch (...) {
    return Error{ErrorKind::kTooLarge, "memory ran out"};
  }
}

Result<StringsTable> LoadStringsTableFile(const std::filesystem::path& path) noexcept {
  try {
    Result<Data> bytes = ReadRegularFile(path.string(), kMaxStringsTableBytes);
    if (!bytes) return bytes.error();
    return LoadStringsTable(*bytes);
  } catch (...) {
    return Error{ErrorKind::kTooLarge, "memory ran out"};
  }
}

std::optional<StringsTable> ParseStringsTable(std::span<const std::uint8_t> bytes) noexcept {
  return LoadStringsTable(bytes).ToOptional();
}

std::optional<StringsTable> ReadStringsTable(const std::filesystem::path& path) noexcept {
  return LoadStringsTableFile(path).ToOptional();
}

}  // namespace kelvane::platform
