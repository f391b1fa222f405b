// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/archive/internal/binary_plist_writer.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "kelvane/platform/archive/internal/keyed_coder_support.h"

namespace kelvane::platform::internal {
namespace {

// The tree as the engine prints it in XML: the oracle both trees are compared by.
std::string Xml(plist_t node) {
  char* xml = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node, &xml, &length);
  std::string text(xml == nullptr ? "" : xml, length);
  std::free(xml);
  return text;
}

// What the engine's own reader makes of our bytes, printed the same way.
std::string ReadBack(const Data& bytes) {
  plist_t read = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::uint32_t>(bytes.size()), &read);
  const PlistPtr owned(read);
  return read == nullptr ? "(unreadable)" : Xml(read);
}

TEST(BinaryPropertyListWriter, TheEngineReadsBackEveryKindCountAndWidth) {
  const PlistPtr root(plist_new_dict());
  plist_t numbers = plist_new_array();
  for (std::uint64_t n : {0ull, 255ull, 256ull, 65535ull, 65536ull, 4294967295ull, 4294967296ull,
                          ~0ull, 1ull << 63}) {
    plist_array_append_item(numbers, plist_new_uint(n));
  }
  plist_dict_set_item(root.get(), "numbers", numbers);
  plist_t uids = plist_new_array();
  for (std::uint64_t n : {0ull, 255ull, 256ull, 70000ull, 4294967295ull}) {
    plist_array_append_item(uids, plist_new_uid(n));
  }
  plist_dict_set_item(root.get(), "uids", uids);
  plist_dict_set_item(root.get(), "real", plist_new_real(-2.5e-300));
  plist_dict_set_item(root.get(), "yes", plist_new_bool(1));
  plist_dict_set_item(root.get(), "no", plist_new_bool(0));
  plist_dict_set_item(root.get(), "empty data", plist_new_data("", 0));
  plist_dict_set_item(root.get(), "data", plist_new_data("0123456789abcdefXYZ", 19));
  plist_dict_set_item(root.get(), "ascii of fifteen or more", plist_new_string("fifteen letters+"));
  plist_dict_set_item(root.get(),
                      "k\xC3\xBC"
                      "hl \xF0\x9F\x98\x80",
                      plist_new_string("\xE6\x97\xA5 x"));
  plist_dict_set_item(root.get(), "empty", plist_new_array());
  plist_dict_set_item(root.get(), "empty dict", plist_new_dict());
  plist_dict_set_item(root.get(), "same text twice", plist_new_string("fifteen letters+"));
  // Past 255 and 65535 objects the references and offsets widen.
  plist_t many = plist_new_array();
  for (std::uint64_t n = 0; n < 70000; ++n) plist_array_append_item(many, plist_new_uint(n * 7));
  plist_dict_set_item(root.get(), "many", many);

  const std::optional<Data> bytes = WriteBinaryPropertyList(root.get());
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(ReadBack(*bytes), Xml(root.get()));
}

TEST(BinaryPropertyListWriter, RefusesWhatItDoesNotCarry) {
  for (plist_t node : {plist_new_uid(4294967296ull), plist_new_date(0, 0)}) {
    const PlistPtr array(plist_new_array());
    plist_array_append_item(array.get(), node);
    EXPECT_EQ(WriteBinaryPropertyList(array.get()), std::nullopt) << Xml(array.get());
  }
  for (const char* text : {"\xC0\xAF", "\xED\xA0\x80", "\xFF"}) {
    SCOPED_TRACE(text);
    const PlistPtr as_value(plist_new_array());
    plist_array_append_item(as_value.get(), plist_new_string(text));
    EXPECT_EQ(WriteBinaryPropertyList(as_value.get()), std::nullopt);
    const PlistPtr as_key(plist_new_dict());
    plist_dict_set_item(as_key.get(), text, plist_new_bool(1));
    EXPECT_EQ(WriteBinaryPropertyList(as_key.get()), std::nullopt);
  }
}

}  // namespace
}  // namespace kelvane::platform::internal
