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

TEST(StringsTable, TextFormReadsEscapesCommentsAndBareWords) {
  // Each source defines "k" (among others); the value it must read.
  const std::pair<std::string_view, std::u16string_view> cases[] = {
      {"\xEF\xBB\xBF/* c */ \"k\" = \"a\\tb\\nc\\r\"; // c", u"a\tb\nc\r"},
      {"\"k\" = \"\\\"q\\\" \\'s\\' \\\\\";", u"\"q\" 's' \\"},
      {"'k' = 'it\"s';", u"it\"s"},
      {"\"k\" = \"\\U00e9\\u20AC\\UD83D\\UDE00\";", u"\u00e9\u20ac\U0001F600"},
      {"\"k\" = \"\\101\\q\";", u"Aq"},
      {"k = value/2:x-y$;", u"value/2:x-y$"},
      {"\"x\" = \"y\"; \"k\";", u"k"},
      {"\"k\" = \"Z\u00fcrich\nline\";", u"Z\u00fcrich\nline"},
      {"\"k\" = \"first\"; \"k\" = \"second\";", u"second"},
      {"{ \"k\" = \"b\"; }", u"b"},
  };
  for (const auto& [source, want] : cases) {
    const std::optional<StringsTable> table = Parse(source);
    ASSERT_TRUE(table.has_value()) << source;
    EXPECT_EQ(table->at(u"k"), want) << source;
  }
  EXPECT_EQ(Parse("\"octal\" = \"\\0\";")->at(u"octal"), std::u16string_view(u"\0", 1));
  EXPECT_EQ(Parse("  // nothing\n/* at all */ ")->size(), 0u);
  EXPECT_EQ(Parse("")->size(), 0u);
}

TEST(StringsTable, Utf16InEitherByteOrder) {
  const std::optional<StringsTable> big =
      Parse(std::string("\xFE\xFF\0k\0=\0\"\x04\x36\0\"\0;", 14));
  ASSERT_TRUE(big.has_value());
  EXPECT_EQ(big->at(u"k"), u"\u0436");
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
}

TEST(StringsTable, MalformedTablesFailWithoutReadingPastTheEnd) {
  const std::string cases[] = {
      "\"a\" = \"unterminated;",
      "\"a\" = \"b\\",         // a backslash as the last byte
      "\"a\" = \"\\U12\";",    // too few hex digits
      "\"a\" = \"\\U12G4\";",  // not a hex digit
      "\"a\" = \"\\UD800\";",  // unpaired surrogate
      "\"a\" = \"\\200\";",    // octal past ASCII
      "\"a\" = \"b\"",         // no ';'
      "\"a\" \"b\";",          // no '='
      "/* open comment",
      "{ \"a\" = \"b\";",                      // no closing brace
      "\"a\" = \"\xC3\";",                     // cut UTF-8
      "\"a\" = \"\xED\xA0\x80\";",             // UTF-8 of a surrogate
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
