// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/property_list_check.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/property_lists.h"

namespace kelvane::platform {
namespace {

using testing::BinaryPlist;

using testing::WrittenByLibplist;

// Checked from an exact-size copy, so AddressSanitizer catches any read past the end.
Result<PropertyListShape> Check(const Data& bytes, const PropertyListLimits& limits = {}) {
  const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  return CheckBinaryPropertyList({copy.get(), bytes.size()}, limits);
}

TEST(PropertyListCheck, WhatLibplistWritesPassesWithItsExpandedShape) {
  plist_t root = plist_new_dict();
  plist_t items = plist_new_array();
  for (int i = 0; i < 3; ++i) plist_array_append_item(items, plist_new_string("shared"));
  plist_array_append_item(items, plist_new_real(2.5));
  plist_array_append_item(items, plist_new_data("\x01\x02", 2));
  plist_array_append_item(items, plist_new_uid(7));
  plist_array_append_item(items, plist_new_date(1, 0));
  plist_dict_set_item(root, "items", items);
  plist_dict_set_item(root, "flag", plist_new_bool(1));
  plist_dict_set_item(root, "text", plist_new_string("Gr\xC3\xBC\xC3\x9F"));  // UTF-16 in the file
  const Result<PropertyListShape> shape = Check(WrittenByLibplist(root));
  ASSERT_TRUE(shape.ok()) << shape.error().message;
  // The dictionary, three keys, three values, and the array's seven items; "shared" is written
  // once and counted three times.
  EXPECT_EQ(shape->objects, 14u);
  EXPECT_EQ(shape->depth, 2);
  EXPECT_GE(shape->expanded_bytes, 14u * 128);

  // A lone scalar is a list too.
  EXPECT_EQ(Check(WrittenByLibplist(plist_new_uint(5)))->depth, 0);
}

// The hostile shapes are checked in a child under limits, so that a broken bound stops the child.
constexpr testing::ChildLimits kLimits{.memory_bytes = std::uint64_t{512} << 20, .seconds = 10};

// 0 when refused as too large.
int RefusedAsTooLarge(const Data& bytes, int passed, int other) {
  const Result<PropertyListShape> shape = Check(bytes);
  if (shape.ok()) return passed;
  return shape.error().kind == ErrorKind::kTooLarge ? 0 : other;
}

[[maybe_unused]] const bool kHostile = testing::ChildProcess("plist-check-hostile", [] {
  if (int status = RefusedAsTooLarge(testing::DeepBinaryChain(100000), 1, 3)) return status;
  return RefusedAsTooLarge(testing::SharedReferenceLadder(24), 2, 4);
});

TEST(PropertyListCheck, DepthAndExpansionAreBoundedExactly) {
  // Chains of arrays: up to the limit they pass, one past it they do not.
  for (int depth : {1, 8}) {
    SCOPED_TRACE(depth);
    const Data chain = testing::DeepBinaryChain(depth);
    EXPECT_EQ(Check(chain, {.max_depth = depth})->depth, depth);
    const Result<PropertyListShape> deeper = Check(chain, {.max_depth = depth - 1});
    ASSERT_FALSE(deeper.ok());
    EXPECT_EQ(deeper.error().kind, ErrorKind::kTooLarge);
  }
  // The default limits: 256 levels, and 64 times the input plus 16 MiB.
  EXPECT_TRUE(Check(testing::DeepBinaryChain(256)).ok());
  EXPECT_FALSE(Check(testing::DeepBinaryChain(257)).ok());
  EXPECT_EQ(PropertyListBudget(1000), 64000u + (16u << 20));

  // A shared container met again deeper down counts at its own height there: the root holds a
  // short chain first, then a longer way into the same chain.
  BinaryPlist detour;
  detour.Array({1, 3});                         // 0: the root
  detour.Array({2});                            // 1: the chain
  detour.Ascii("end");                          // 2
  detour.Array({4});                            // 3: a way into the chain, two levels longer
  detour.Array({1});                            // 4
  EXPECT_EQ(Check(detour.Build(0))->depth, 4);  // the root, 3, 4 and 1
  EXPECT_FALSE(Check(detour.Build(0), {.max_depth = 3}).ok());

  // Ten levels of shared references expand to 2^10 strings in 2^10 - 1 arrays, counted as such;
  // twenty-four levels would pass 4 GiB and are refused.
  const Result<PropertyListShape> ladder = Check(testing::SharedReferenceLadder(10));
  ASSERT_TRUE(ladder.ok());
  EXPECT_EQ(ladder->objects, 2047u);
  // 128 bytes a node, as measured on libplist 2.2.0, and each string's 65 bytes.
  EXPECT_EQ(ladder->expanded_bytes, 2047u * 128 + 1024 * 65);
  EXPECT_FALSE(
      Check(testing::SharedReferenceLadder(10), {.max_expanded_bytes = ladder->expanded_bytes - 1})
          .ok());
  // 1: the chain 100,000 deep passed; 2: the ladder 24 deep passed; 3 and 4: refused for
  // another reason; 128 and more: killed, by a crash or at a limit.
  EXPECT_EQ(testing::RunLimitedChild("plist-check-hostile", kLimits).status, 0);
}

TEST(PropertyListCheck, MalformedListsAreRefusedWithoutReadingPastTheEnd) {
  // The kind of the refusal; none when the list passed.
  const auto refusal = [](const Data& bytes) -> std::optional<ErrorKind> {
    const Result<PropertyListShape> shape = Check(bytes);
    return shape.ok() ? std::nullopt : std::optional(shape.error().kind);
  };
  BinaryPlist cycle;
  cycle.Array({1});
  cycle.Array({0});
  EXPECT_EQ(refusal(cycle.Build(0)), ErrorKind::kMalformed);
  BinaryPlist past;
  past.Array({5});
  EXPECT_EQ(refusal(past.Build(0)), ErrorKind::kMalformed);
  BinaryPlist number_key;
  number_key.Dict({1}, {1});
  number_key.Integer(3);
  EXPECT_EQ(refusal(number_key.Build(0)), ErrorKind::kMalformed);
  EXPECT_EQ(refusal(Data{'b', 'p', 'l', 'i', 's', 't'}), ErrorKind::kMalformed);
  BinaryPlist empty_utf16;  // libplist cannot read it, so it must not pass
  empty_utf16.Ascii("");
  Data bytes = empty_utf16.Build(0);
  ASSERT_TRUE(Check(bytes).ok());
  bytes[8] = 0x60;
  EXPECT_EQ(refusal(bytes), ErrorKind::kMalformed);
  // libplist stops the process (an assertion) on a key holding a zero character.
  BinaryPlist zero_key;
  zero_key.Dict({1}, {1});
  zero_key.Ascii(std::string("k\0y", 3));
  EXPECT_EQ(refusal(zero_key.Build(0)), ErrorKind::kMalformed);
  BinaryPlist zero_unit;
  zero_unit.Ascii(std::string("\0\0", 2));
  Data utf16 = zero_unit.Build(0);
  utf16[8] = 0x61;  // one UTF-16 unit, zero
  EXPECT_EQ(refusal(utf16), ErrorKind::kMalformed);
  // The root is one of the objects: the number of objects itself names none.
  BinaryPlist one;
  one.Integer(1);
  EXPECT_EQ(refusal(one.Build(1)), ErrorKind::kMalformed);
  // Also where the byte after the offsets, the trailer's first, would name a good object.
  Data named = one.Build(1);
  named[named.size() - 32] = 8;
  EXPECT_EQ(refusal(named), ErrorKind::kMalformed);
  // A lone text past the budget is too large, as it would be inside a container.
  BinaryPlist lone;
  lone.Ascii(std::string(100, 'x'));
  const Result<PropertyListShape> over = Check(lone.Build(0), {.max_expanded_bytes = 50});
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.error().kind, ErrorKind::kTooLarge);
  // Integers are 1 to 16 bytes: one of 32 is refused, even with the bytes for it there.
  BinaryPlist wide;
  wide.Array({1, 2});
  wide.Integer(3);
  wide.Ascii(std::string(40, 'x'));
  Data wide_bytes = wide.Build(0);
  ASSERT_TRUE(Check(wide_bytes).ok());
  wide_bytes[11] = 0x15;  // the integer's marker: 2^5 bytes
  EXPECT_EQ(refusal(wide_bytes), ErrorKind::kMalformed);

  // Every cut of a valid list and every single flipped byte: refused or passed, never a read
  // outside the bytes; what passes, libplist reads.
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "a", plist_new_string("text"));
  plist_t array = plist_new_array();
  plist_array_append_item(array, plist_new_uint(70000));
  plist_array_append_item(array, plist_new_data("xyz", 3));
  plist_dict_set_item(root, "b", array);
  const Data whole = WrittenByLibplist(root);
  ASSERT_TRUE(Check(whole).ok());
  for (std::size_t n = 0; n < whole.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(refusal(Data(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n))),
              ErrorKind::kMalformed);
    for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      Data flipped = whole;
      flipped[n] ^= flip;
      if (!Check(flipped).ok()) continue;
      plist_t parsed = nullptr;
      plist_from_bin(reinterpret_cast<const char*>(flipped.data()),
                     static_cast<std::uint32_t>(flipped.size()), &parsed);
      plist_free(parsed);
    }
  }
}

}  // namespace
}  // namespace kelvane::platform
