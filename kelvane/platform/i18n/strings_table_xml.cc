// SPDX-License-Identifier: Apache-2.0
// The XML form of string tables: a reader of our own, in one pass and without recursion, so
// that no file can drive it deep or make it quadratic (libplist's reader recurses when freeing
// and compares every new dictionary key with all the earlier ones).
#include "kelvane/platform/i18n/internal/strings_table_xml.h"

#include <string>
#include <utility>
#include <vector>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/core/property_list_check.h"

namespace kelvane::platform::internal {
namespace {

// The elements of a property list.
enum class Element : std::uint8_t {
  kPlist,
  kDict,
  kArray,
  kKey,
  kString,
  kInteger,
  kReal,
  kTrue,
  kFalse,
  kDate,
  kData
};

bool ElementNamed(std::u16string_view name, Element& out) {
  static constexpr std::pair<std::u16string_view, Element> kNames[] = {
      {u"plist", Element::kPlist}, {u"dict", Element::kDict},     {u"array", Element::kArray},
      {u"key", Element::kKey},     {u"string", Element::kString}, {u"integer", Element::kInteger},
      {u"real", Element::kReal},   {u"true", Element::kTrue},     {u"false", Element::kFalse},
      {u"date", Element::kDate},   {u"data", Element::kData}};
  for (const auto& [text, element] : kNames) {
    if (name == text) {
      out = element;
      return true;
    }
  }
  return false;
}

// Reads the dictionary of an XML property list in one pass, keeping its string entries. Nested
// containers are passed over with a count of open elements rather than by recursion, and at most
// kMaxPropertyListDepth of them may be open at once. What it cannot follow (an unknown element,
// declarations inside the document type, text between elements) is refused.
class XmlReader {
 public:
  explicit XmlReader(std::u16string_view text) : text_(text) {}

  Result<StringsTable> Read() {
    StringsTable table;
    if (!SkipMisc(true)) return Refused();
    Tag tag;
    if (!ReadTag(tag) || tag.end) return Refused("no root element");
    const bool wrapped = tag.element == Element::kPlist;
    if (wrapped) {
      if (tag.empty || !SkipMisc(false) || !ReadTag(tag) || tag.end) {
        return Refused("an empty plist element");
      }
    }
    if (tag.element != Element::kDict) return Refused("the root is not a dictionary");
    if (!tag.empty && !ReadDictionary(table)) return Refused();
    if (wrapped &&
        (!SkipMisc(false) || !ReadTag(tag) || !tag.end || tag.element != Element::kPlist)) {
      return Refused("no closing plist tag");
    }
    if (!SkipMisc(false) || pos_ != text_.size()) return Refused("content after the root");
    return table;
  }

 private:
  struct Tag {
    Element element = Element::kPlist;
    bool end = false;    // </name>
    bool empty = false;  // <name/>
  };

  Error Refused(const char* why = nullptr) const {
    if (why != nullptr && why_ == nullptr) why_ = why;
    std::size_t line = 1;
    for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == u'\n';
    return Error{ErrorKind::kMalformed, "a property list that cannot be read at line " +
                                            std::to_string(line) + ": " +
                                            (why_ != nullptr ? why_ : "malformed")};
  }

  bool Fail(const char* why) {
    if (why_ == nullptr) why_ = why;
    return false;
  }

  bool Starts(std::u16string_view s) const { return text_.substr(pos_).starts_with(s); }

  static bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
  static bool IsNameChar(char16_t c) {
    return ascii::IsAlnum(c) || c == u'_' || c == u':' || c == u'.' || c == u'-';
  }

  void SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
  }

  // Skips to just after `end`; false when it never comes.
  bool SkipPast(std::u16string_view end, const char* why) {
    const std::size_t at = text_.find(end, pos_);
    if (at == std::u16string_view::npos) return Fail(why);
    pos_ = at + end.size();
    return true;
  }

  // Skips white space, comments and processing instructions, and in the prolog one document
  // type without an internal subset (the entities it could declare are not known here).
  bool SkipMisc(bool prolog) {
    for (;;) {
      SkipSpace();
      if (Starts(u"<!--")) {
        if (!SkipPast(u"-->", "a comment that never ends")) return false;
      } else if (Starts(u"<?")) {
        if (!SkipPast(u"?>", "a processing instruction that never ends")) return false;
      } else if (prolog && Starts(u"<!DOCTYPE")) {
        prolog = false;
        for (pos_ += 9;; ++pos_) {
          if (pos_ >= text_.size()) return Fail("a document type that never ends");
          const char16_t c = text_[pos_];
          if (c == u'>') break;
          if (c == u'[') return Fail("a document type with declarations of its own");
          if (c == u'"' || c == u'\'') {
            const std::size_t close = text_.find(c, pos_ + 1);
            if (close == std::u16string_view::npos) return Fail("an unterminated literal");
            pos_ = close;
          }
        }
        ++pos_;
      } else {
        return true;
      }
    }
  }

  // Reads a start, end or empty-element tag of a property-list element at the position.
  bool ReadTag(Tag& tag) {
    if (pos_ >= text_.size() || text_[pos_] != u'<') return Fail("text where an element belongs");
    ++pos_;
    tag = Tag{};
    if (pos_ < text_.size() && text_[pos_] == u'/') {
      tag.end = true;
      ++pos_;
    }
    const std::size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    if (!ElementNamed(text_.substr(start, pos_ - start), tag.element)) {
      return Fail("an unknown element");
    }
    for (;;) {  // attributes, which carry nothing here
      const std::size_t before = pos_;
      SkipSpace();
      if (pos_ >= text_.size()) return Fail("a tag that never ends");
      const char16_t c = text_[pos_];
      if (c == u'>') {
        ++pos_;
        return true;
      }
      if (c == u'/' && !tag.end && pos_ + 1 < text_.size() && text_[pos_ + 1] == u'>') {
        pos_ += 2;
        tag.empty = true;
        return true;
      }
      if (tag.end || pos_ == before || !IsNameChar(c)) return Fail("a malformed tag");
      while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != u'=') return Fail("a malformed attribute");
      ++pos_;
      SkipSpace();
      if (pos_ >= text_.size() || (text_[pos_] != u'"' && text_[pos_] != u'\'')) {
        return Fail("a malformed attribute");
      }
      const std::size_t close = text_.find(text_[pos_], pos_ + 1);
      if (close == std::u16string_view::npos ||
          text_.substr(pos_, close - pos_).find(u'<') != std::u16string_view::npos) {
        return Fail("a malformed attribute");
      }
      pos_ = close + 1;
    }
  }

  // One entity after its '&'.
  bool ReadEntity(String& out) {
    const std::size_t semicolon = text_.find(u';', pos_);
    if (semicolon == std::u16string_view::npos || semicolon - pos_ > 10) {
      return Fail("an unknown entity");
    }
    const std::u16string_view name = text_.substr(pos_, semicolon - pos_);
    pos_ = semicolon + 1;
    static constexpr std::pair<std::u16string_view, char16_t> kNamed[] = {
        {u"lt", u'<'}, {u"gt", u'>'}, {u"amp", u'&'}, {u"apos", u'\''}, {u"quot", u'"'}};
    for (const auto& [text, c] : kNamed) {
      if (name == text) {
        out.push_back(c);
        return true;
      }
    }
    if (name.size() < 2 || name[0] != u'#') return Fail("an unknown entity");
    const bool hex = name[1] == u'x';
    const std::u16string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return Fail("an unknown entity");
    char32_t code = 0;
    for (char16_t c : digits) {
      const int digit = hex ? ascii::HexValue(c) : (ascii::IsDigit(c) ? c - u'0' : -1);
      if (digit < 0) return Fail("an unknown entity");
      code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
      if (code > 0x10FFFF) return Fail("a character reference past Unicode");
    }
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) {
      return Fail("a character reference that is no character");
    }
    if (code < 0x10000) {
      out.push_back(static_cast<char16_t>(code));
    } else {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    }
    return true;
  }

  // The text of an element up to its end tag, with entities and CDATA sections read.
  bool ReadText(Element element, String* out) {
    String ignored;
    String& text = out != nullptr ? *out : ignored;
    for (;;) {
      std::size_t stop = pos_;
      while (stop < text_.size() && text_[stop] != u'<' && text_[stop] != u'&') ++stop;
      if (out != nullptr) text.append(text_.substr(pos_, stop - pos_));
      pos_ = stop;
      if (pos_ >= text_.size()) return Fail("an element that never ends");
      if (text_[pos_] == u'&') {
        ++pos_;
        if (!ReadEntity(text)) return false;
        if (out == nullptr) text.clear();
      } else if (Starts(u"<![CDATA[")) {
        pos_ += 9;
        const std::size_t end = text_.find(u"]]>", pos_);
        if (end == std::u16string_view::npos) return Fail("a CDATA section that never ends");
        if (out != nullptr) text.append(text_.substr(pos_, end - pos_));
        pos_ = end + 3;
      } else if (Starts(u"<!--")) {
        if (!SkipPast(u"-->", "a comment that never ends")) return false;
      } else {
        Tag tag;
        if (!ReadTag(tag)) return false;
        if (!tag.end || tag.element != element) return Fail("an element inside text");
        return out == nullptr || WellFormed(text) || Fail("an unpaired surrogate");
      }
    }
  }

  // Passes over the value whose start tag was just read, nested containers included.
  bool SkipValue(const Tag& first) {
    if (first.empty) return true;
    if (first.element != Element::kDict && first.element != Element::kArray) {
      return ReadText(first.element, nullptr);
    }
    std::vector<Element> open{first.element};
    while (!open.empty()) {
      if (!SkipMisc(false)) return false;
      Tag tag;
      if (!ReadTag(tag)) return false;
      if (tag.end) {
        if (tag.element != open.back()) return Fail("a mismatched end tag");
        open.pop_back();
      } else if (tag.element == Element::kDict || tag.element == Element::kArray) {
        if (tag.empty) continue;
        // The root dictionary is one level already.
        if (open.size() + 1 >= static_cast<std::size_t>(kMaxPropertyListDepth)) {
          return Fail("nesting deeper than the limit");
        }
        open.push_back(tag.element);
      } else if (tag.element == Element::kPlist) {
        return Fail("a plist element inside the list");
      } else if (!tag.empty && !ReadText(tag.element, nullptr)) {
        return false;
      }
    }
    return true;
  }

  // The entries of the root dictionary, whose start tag was just read.
  bool ReadDictionary(StringsTable& table) {
    for (;;) {
      if (!SkipMisc(false)) return false;
      Tag tag;
      if (!ReadTag(tag)) return false;
      if (tag.end) return tag.element == Element::kDict || Fail("a mismatched end tag");
      if (tag.element != Element::kKey) return Fail("a value without a key");
      String key;
      if (!tag.empty && !ReadText(Element::kKey, &key)) return false;
      if (!SkipMisc(false) || !ReadTag(tag)) return false;
      if (tag.end || tag.element == Element::kKey || tag.element == Element::kPlist) {
        return Fail("a key without a value");
      }
      if (tag.element == Element::kString) {
        String value;
        if (!tag.empty && !ReadText(Element::kString, &value)) return false;
        table.insert_or_assign(std::move(key), std::move(value));
      } else if (!SkipValue(tag)) {
        return false;
      }
    }
  }

  std::u16string_view text_;
  std::size_t pos_ = 0;
  mutable const char* why_ = nullptr;
};

}  // namespace

Result<StringsTable> ReadXmlStringsTable(std::u16string_view text) {
  return XmlReader(text).Read();
}

}  // namespace kelvane::platform::internal
