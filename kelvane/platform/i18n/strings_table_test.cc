// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/strings_table.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/platform/i18n/internal/strings_table_xml.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/property_lists.h"

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
      {"\"k\" = \"\\1017\\0123\\12x\";", u"A7\n3\nx"},  // three digits at most
      {"k = value/2:x-y$;", u"value/2:x-y$"},
      {"\"x\" = \"y\"; \"k\";", u"k"},
      {"\"k\" = \"Z\u00fcrich\nline\";", u"Z\u00fcrich\nline"},
      {"\"k\" = \"first\"; \"k\" = \"second\";", u"second"},
      {"{ \"k\" = \"b\"; }", u"b"},
      {std::string_view("\xFE\xFF\0k\0=\0\"\x04\x36\0\"\0;", 14), u"\u0436"},  // UTF-16 BE
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

TEST(StringsTable, PropertyListsReadEntitiesAndSectionsAndPassOverOtherValues) {
  const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<!-- a comment -->
<plist version="1.0">
<dict>
  <key>amp</key><string>a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos; &#233;&#x1F600;</string>
  <key>cdata</key><string><![CDATA[<not a tag> & raw]]></string>
  <key>empty</key><string/>
  <key>spaces</key><string>  kept
</string>
  <key>nested</key><dict><key>x</key><array><string>y</string><integer>1</integer><true/></array></dict>
  <key>number</key><real>1.5</real>
  <key/><string>empty key</string>
</dict>
</plist>
)";
  const StringsTable want{{u"amp", u"a & b <c> \"d\" 'e' \u00e9\U0001F600"},
                          {u"cdata", u"<not a tag> & raw"},
                          {u"empty", u""},
                          {u"spaces", u"  kept\n"},
                          {u"", u"empty key"}};
  EXPECT_EQ(Parse(xml), want);
  // The same in UTF-16, and a dictionary without the plist element around it.
  std::string utf16 = "\xFF\xFE";
  for (char c : xml) utf16 += std::string{c, '\0'};
  EXPECT_EQ(Parse(utf16), want);
  EXPECT_EQ(Parse("<?xml version=\"1.0\"?><dict><key>k</key><string>v</string></dict>"),
            (StringsTable{{u"k", u"v"}}));
  // The binary form.
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "greeting", plist_new_string("Grüß dich"));
  plist_dict_set_item(root, "count", plist_new_uint(3));  // not text: passed over
  plist_dict_set_item(root, "nested", plist_new_dict());
  EXPECT_EQ(ParseStringsTable(testing::WrittenByLibplist(root)),
            (StringsTable{{u"greeting", u"Grüß dich"}}));
}

TEST(StringsTable, MalformedTablesFailWithoutReadingPastTheEnd) {
  const std::string cases[] = {
      "\"a\" = \"unterminated;",
      "\"a\" = \"b\\",         // a backslash as the last byte
      "\"a\" = \"\\U12\";",    // too few hex digits
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
      "<plist><dict><key>a</key><strin>b</strin></dict></plist>",    // unknown element
      "<!DOCTYPE plist [<!ENTITY x \"y\">]><plist><dict/></plist>",  // declarations
      "<plist><dict><key>a</key><string>&bogus;</string></dict></plist>",
      "<plist><dict><key>a</key><string>&#xD800;</string></dict></plist>",
      "<plist><dict><key>a</key><string>a<b/></string></dict></plist>",
      "<plist><dict><key>a</key></dict></plist>",  // a key without a value
      "<plist><dict><key>a</key><array></dict></array></plist>",
      "<plist><dict><key>a</key><string>b</string></dict>",  // no closing plist tag
      "<plist><dict/></plist>trailing",
  };
  for (const std::string& bytes : cases) {
    // Parsed from an exact-size copy, so AddressSanitizer catches any read past the end.
    const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    EXPECT_FALSE(ParseStringsTable({copy.get(), bytes.size()}).has_value()) << bytes;
  }
  EXPECT_FALSE(ReadStringsTable("/nonexistent/Localizable.strings").has_value());
  EXPECT_FALSE(ReadStringsTable(KELVANE_TESTDATA_DIR).has_value());  // a folder
  // Surrogates pair within the text: the unit after its end is not read.
  const std::u16string units =
      u"a\xD800\xDC00"
      u"b\xDC00";
  EXPECT_TRUE(internal::WellFormed(std::u16string_view(units).substr(0, 4)));
  EXPECT_FALSE(internal::WellFormed(units));
}

// ---- hostile tables, loaded in a child under limits ------------------------------------------

constexpr testing::ChildLimits kLimits{.memory_bytes = std::uint64_t{512} << 20, .seconds = 10};

// A binary chain 100,000 deep, XML nested 1,000,000 deep and a ladder of shared references 24
// levels deep: 0 when each was refused, 1 to 3 for the first that loaded.
[[maybe_unused]] const bool kDeepAndExpanding = testing::ChildProcess("strings-deep", [] {
  if (ParseStringsTable(testing::DeepBinaryChain(100000))) return 1;
  if (ParseStringsTable(Bytes(testing::DeepXml(1000000)))) return 2;
  return ParseStringsTable(testing::SharedReferenceLadder(24)) ? 3 : 0;
});

TEST(StringsTable, DeepAndExpandingPropertyListsAreRefusedWithinLimits) {
  // 128 and more: killed, by a crash or at a limit.
  EXPECT_EQ(testing::RunLimitedChild("strings-deep", kLimits).status, 0);
}

// Keys that the hash tables used before keying (std::hash of the text, MurmurHash2 over its
// bytes) send to one bucket whatever the seed: `bits` chunks of 16 bytes, each in one of two
// forms that leave the hash's state the same after the chunk. Every unit is a character the
// quoted text form carries as it is.
std::vector<String> CollidingKeys(int bits) {
  constexpr std::uint64_t kMul = 0xc6a4a7935bd1e995;
  std::uint64_t inverse = kMul;  // Newton's iteration for the inverse modulo 2^64
  for (int i = 0; i < 6; ++i) inverse *= 2 - kMul * inverse;
  const auto shift_mix = [](std::uint64_t v) { return v ^ (v >> 47); };  // its own inverse
  const auto mix = [&](std::uint64_t k) { return shift_mix(k * kMul) * kMul; };
  const auto unmix = [&](std::uint64_t m) { return shift_mix(m * inverse) * inverse; };
  const auto plain = [](std::uint64_t word) {
    for (int i = 0; i < 4; ++i) {
      const auto unit = static_cast<char16_t>(word >> (16 * i));
      if (unit < 0x20 || unit == u'"' || unit == u'\\' || (unit >= 0xD800 && unit <= 0xDFFF)) {
        return false;
      }
    }
    return true;
  };
  // A block whose mixed value differs from its twin's in the top bit only.
  std::mt19937_64 random(2024);
  const auto pair = [&] {
    for (;;) {
      const std::uint64_t a = random();
      const std::uint64_t b = unmix(mix(a) ^ (std::uint64_t{1} << 63));
      if (plain(a) && plain(b)) return std::pair{a, b};
    }
  };
  std::vector<
      std::pair<std::pair<std::uint64_t, std::uint64_t>, std::pair<std::uint64_t, std::uint64_t>>>
      chunks;
  for (int i = 0; i < bits; ++i) chunks.push_back({pair(), pair()});
  std::vector<String> keys;
  for (std::uint32_t n = 0; n < (1u << bits); ++n) {
    String key;
    for (int i = 0; i < bits; ++i) {
      const bool twin = (n >> i & 1) != 0;
      for (std::uint64_t word : {twin ? chunks[i].first.second : chunks[i].first.first,
                                 twin ? chunks[i].second.second : chunks[i].second.first}) {
        for (int u = 0; u < 4; ++u) key.push_back(static_cast<char16_t>(word >> (16 * u)));
      }
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

// The text form in UTF-16 (little endian), every key mapped to "v".
std::string TableOf(const std::vector<String>& keys) {
  String text;
  for (const String& key : keys) text += u"\"" + key + u"\" = \"v\";\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

[[maybe_unused]] const bool kColliding = testing::ChildProcess("strings-colliding-keys", [] {
  const std::vector<String> keys = CollidingKeys(15);
  const std::optional<StringsTable> table = ParseStringsTable(Bytes(TableOf(keys)));
  return table && table->size() == keys.size() ? 0 : 1;
});

TEST(StringsTable, KeysMadeToCollideLoadInProportionalTime) {
  const std::vector<String> keys = CollidingKeys(15);
  std::set<std::size_t> unkeyed, keyed;
  for (const String& key : keys) {
    unkeyed.insert(std::hash<std::u16string_view>{}(key));
    keyed.insert(StringHash{}(key));
  }
  ASSERT_EQ(unkeyed.size(), 1u);  // the keys are what an attacker would send
  EXPECT_EQ(keyed.size(), keys.size());
  // 0: all 32,768 entries loaded; 128 and more: stopped at the limit.
  EXPECT_EQ(testing::RunLimitedChild("strings-colliding-keys", kLimits).status, 0);
}

}  // namespace
}  // namespace kelvane::platform
