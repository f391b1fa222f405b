#include "kelvane/platform/i18n/strings_table.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace kelvane::platform {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<StringsTable> Parse(std::string_view text) { return ParseStringsTable(Bytes(text)); }

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST(StringsTable, TextFormReadsEscapesCommentsAndBareWords) {
  const std::optional<StringsTable> table = Parse(
      "\xEF\xBB\xBF/* header */\n"
      "\"tab\" = \"a\\tb\\nc\\r\";   // trailing comment\n"
      "\"quotes\" = \"\\\"q\\\" \\'s\\' \\\\\";\n"
      "'single' = 'it\"s';\n"
      "\"hex\" = \"\\U00e9\\u20AC\";\n"
      "\"pair\" = \"\\UD83D\\UDE00\";\n"  // two escapes join into one character
      "\"octal\" = \"\\101\\0\";\n"
      "\"other\" = \"\\q\";\n"
      "bare.key_1 = value/2:x-y$;\n"
      "\"alone\";\n"
      "\"utf8\" = \"Zürich €\";\n"
      "\"dup\" = \"first\"; \"dup\" = \"second\";\n"
      "\"multi\" = \"line one\nline two\";");
  ASSERT_TRUE(table.has_value());
  const std::pair<std::u16string_view, std::u16string_view> expected[] = {
      {u"tab", u"a\tb\nc\r"},
      {u"quotes", u"\"q\" 's' \\"},
      {u"single", u"it\"s"},
      {u"hex", u"\u00e9\u20ac"},
      {u"pair", u"\U0001F600"},
      {u"octal", std::u16string_view(u"A\0", 2)},
      {u"other", u"q"},
      {u"bare.key_1", u"value/2:x-y$"},
      {u"alone", u"alone"},
      {u"utf8", u"Zürich €"},
      {u"dup", u"second"},
      {u"multi", u"line one\nline two"},
  };
  EXPECT_EQ(table->size(), std::size(expected));
  for (const auto& [key, value] : expected) {
    auto it = table->find(key);
    ASSERT_NE(it, table->end()) << std::string(key.begin(), key.end());
    EXPECT_EQ(it->second, value) << std::string(key.begin(), key.end());
  }
  // Empty files and files of comments only are empty tables; braces may wrap the entries.
  EXPECT_EQ(Parse("")->size(), 0u);
  EXPECT_EQ(Parse("  // nothing\n/* at all */ ")->size(), 0u);
  EXPECT_EQ(Parse("{ \"a\" = \"b\"; }")->at(u"a"), u"b");
}

TEST(StringsTable, Utf16InEitherByteOrder) {
  const std::u16string_view source = u"/* c */ \"k\u00e9y\" = \"\u0436\\n\U0001F600\";";
  for (bool big_endian : {false, true}) {
    const std::optional<StringsTable> table = Parse(Utf16(source, big_endian));
    ASSERT_TRUE(table.has_value()) << big_endian;
    EXPECT_EQ(table->at(u"k\u00e9y"), u"\u0436\n\U0001F600");
  }
  // The shipped German table is UTF-16 with a byte-order mark.
  const auto german = ReadStringsTable(std::string(KELVANE_TESTDATA_DIR) +
                                       "/bundles/Demo.bundle/de.lproj/Localizable.strings");
  ASSERT_TRUE(german.has_value());
  EXPECT_EQ(german->at(u"quote.title"), u"\u201eKurse\u201c");
  EXPECT_EQ(german->at(u"order.confirm"),
            u"Auftrag erteilen?\nDas l\u00e4sst sich nicht r\u00fcckg\u00e4ngig machen.");
}

TEST(StringsTable, PropertyListDictionariesInXmlAndBinary) {
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "greeting", plist_new_string("Grüß dich"));
  plist_dict_set_item(root, "count", plist_new_uint(3));  // not text: passed over
  plist_dict_set_item(root, "nested", plist_new_dict());
  char* xml = nullptr;
  char* bin = nullptr;
  std::uint32_t xml_length = 0, bin_length = 0;
  plist_to_xml(root, &xml, &xml_length);
  plist_to_bin(root, &bin, &bin_length);
  const std::string xml_bytes(xml, xml_length), bin_bytes(bin, bin_length);
  std::free(xml);
  std::free(bin);
  plist_free(root);

  for (const std::string& bytes : {xml_bytes, bin_bytes, "\xEF\xBB\xBF" + xml_bytes}) {
    const std::optional<StringsTable> table = Parse(bytes);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->size(), 1u);
    EXPECT_EQ(table->at(u"greeting"), u"Grüß dich");
  }
  // XML in UTF-16 is read too.
  String xml16(xml_bytes.begin(), xml_bytes.end());  // ASCII apart from the greeting
  const std::size_t at = xml16.find(u"Gr");
  xml16.replace(at, xml16.find(u'<', at) - at, u"Gr\u00fc\u00df dich");
  EXPECT_EQ(Parse(Utf16(xml16, false))->at(u"greeting"), u"Grüß dich");
}

TEST(StringsTable, MalformedTablesFailWithoutReadingPastTheEnd) {
  const std::string cases[] = {
      "\"a\" = \"unterminated;",
      "\"a\" = \"b\\",             // a backslash as the last byte
      "\"a\" = \"\\U12\";",        // too few hex digits
      "\"a\" = \"\\U12G4\";",      // not a hex digit
      "\"a\" = \"\\UD800\";",      // unpaired surrogate
      "\"a\" = \"\\UDC00\\UD800\";",
      "\"a\" = \"\\200\";",        // octal past ASCII
      "\"a\" = \"b\"",             // no ';'
      "\"a\" \"b\";",              // no '='
      "\"a\" = ;",
      "= \"b\";",
      "/* open comment",
      "\"a\" = \"b\"; /*",
      "{ \"a\" = \"b\";",          // no closing brace
      "{ \"a\" = \"b\"; } x",
      "\"a\" = \"\xC3\";",         // cut UTF-8
      "\"a\" = \"\xED\xA0\x80\";", // UTF-8 of a surrogate
      std::string("\xFF\xFE\x22\x00\x61", 5),  // odd UTF-16 length
      std::string("\xFF\xFE\x00\xD8", 4),      // unpaired surrogate in UTF-16
      "bplist00\x01\x02",
      "<?xml version=\"1.0\"?><plist><array><string>a</string></array></plist>",
      "<plist><dict><key>a</key><string>b",
  };
  for (const std::string& bytes : cases) {
    // Parsed from an exact-size copy, so AddressSanitizer catches any read past the end.
    const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    EXPECT_FALSE(ParseStringsTable({copy.get(), bytes.size()}).has_value()) << bytes;
  }
  EXPECT_FALSE(ReadStringsTable("/nonexistent/Localizable.strings").has_value());
  EXPECT_FALSE(ReadStringsTable(KELVANE_TESTDATA_DIR).has_value());  // a folder
}

}  // namespace
}  // namespace kelvane::platform
