// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/storage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <tuple>

namespace kelvane {
namespace {

// Arrays of one-byte items read as strings, so that "ABCDE" is five items.
TArray<char> Chars(std::string_view items) {
  TArray<char> a;
  for (char c : items) EXPECT_TRUE(a.Add(c));
  return a;
}

std::string Str(const CArrayBase& a) {
  return std::string(static_cast<const char*>(a.Data()), a.Count() * a.ItemSize());
}

// One operation on an array of chars: what it answers and what the array holds afterwards
// (unchanged when refused).
struct Step {
  const char* before;
  bool (*op)(TArray<char>& a);
  bool result;
  std::string_view after;
};

const TArray<char>& Other() {
  static const TArray<char> other = Chars("vwxyz");
  return other;
}

// clang-format off
const Step kSteps[] = {
    {"ABC", [](TArray<char>& a) { return a.Add("ABCDEF", 6u); }, true, "ABCABCDEF"},
    {"ABC", [](TArray<char>& a) { return a.Add(nullptr, 4u); }, false, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Add("A", 0u); }, false, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Add(a); }, true, "ABC"},  // itself: a no-op
    {"ABC", [](TArray<char>& a) { return a.Assign(a); }, true, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Add(a, 0, 1); }, true, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Add(TArray<char>()); }, false, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Add(Other(), 1, 3); }, true, "ABCwxy"},
    {"ABC", [](TArray<char>& a) { return a.Add(Other(), 3, 1); }, false, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Add(Other(), 4, 5); }, false, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Assign(Other(), 3, 4); }, true, "yz"},
    // A reversed span is an empty selection: the target ends empty, and the call succeeds.
    {"ABC", [](TArray<char>& a) { return a.Assign(Other(), 5, 2); }, true, ""},
    {"ABC", [](TArray<char>& a) { return a.Assign(Other()); }, true, "vwxyz"},
    {"ABC", [](TArray<char>& a) { return a.Assign(TArray<char>()); }, true, ""},
    {"ABCDE", [](TArray<char>& a) { return a.Shift(-2, 3) == nullptr; }, true, "ADE"},
    {"ABC", [](TArray<char>& a) { return a.Shift(0, 1) == nullptr; }, true, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Shift(1, 4) == nullptr; }, true, "ABC"},
    // Reaching before the first item is refused instead of dropping items off the end; a
    // removal larger than the array, taken at the end, empties it.
    {"ABC", [](TArray<char>& a) { return a.Shift(-3, 2) == nullptr; }, true, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.Shift(-9, 3) == nullptr; }, true, ""},
    {"ABC", [](TArray<char>& a) { void* c = a.Insert(a.Item(2), 0u); return c == a.Item(0); },
     true, "CABC"},
    {"ABC", [](TArray<char>& a) { return a.Insert(a.Item(0), 3u, 3u, 1u); }, true, "ABCABC"},
    {"AB", [](TArray<char>& a) { return a.Insert("C", 3u) != nullptr; }, false, "AB"},
    {"AB", [](TArray<char>& a) { return a.Insert(nullptr, 0u) != nullptr; }, false, "AB"},
    {"AB", [](TArray<char>& a) { return a.Insert("a.b.c", 1u, 3u, 2u); }, true, "AabcB"},
    {"AB", [](TArray<char>& a) { return a.Insert("z", 0u, 2u, 0u); }, true, "zzAB"},  // stride 0
    {"AB", [](TArray<char>& a) { return a.Insert("z", 3u, 1u, 1u); }, false, "AB"},
    {"AB", [](TArray<char>& a) { return a.Insert("z", 0u, 0u, 1u); }, false, "AB"},
    {"ABC", [](TArray<char>& a) { return a.InsertEmpty(1, 2); }, true, {"A\0\0BC", 5}},
    {"ABC", [](TArray<char>& a) { return a.InsertEmpty(4, 1); }, false, "ABC"},
    {"ABC", [](TArray<char>& a) { return a.InsertEmpty(0, 0); }, false, "ABC"},
    {"ABCDE", [](TArray<char>& a) { a.Delete(5); return true; }, true, "ABCDE"},
    {"ABCDE", [](TArray<char>& a) { a.Delete(2, 1); return true; }, true, "ABCDE"},
    {"ABCDE", [](TArray<char>& a) { a.Delete(3, 5); return true; }, true, "ABCDE"},
    {"ABCDE", [](TArray<char>& a) { a.Delete(1, 3); return true; }, true, "AE"},
    {"A", [](TArray<char>& a) { a.Delete(0); return a.Item(0) == nullptr; }, true, ""},
    {"ABCD", [](TArray<char>& a) { return a.ShiftItem(0, 2); }, true, "BCAD"},
    {"ABCD", [](TArray<char>& a) { return a.ShiftItem(3, -3); }, true, "DABC"},
    {"ABCD", [](TArray<char>& a) { return a.ShiftItem(1, 3); }, false, "ABCD"},
    {"ABCD", [](TArray<char>& a) { return a.ShiftItem(1, -2); }, false, "ABCD"},
    {"ABCD", [](TArray<char>& a) { return a.ShiftItem(4, -1); }, false, "ABCD"},
    {"ABCD", [](TArray<char>& a) { return a.ShiftItem(9, 0); }, true, "ABCD"},
    {"ABCDE", [](TArray<char>& a) { return a.Replace(0, a.Item(4)); }, true, "EBCDE"},
    {"ABCDE", [](TArray<char>& a) { return a.Replace(5, "z"); }, false, "ABCDE"},
    {"ABCDE", [](TArray<char>& a) { return a.Replace(0, nullptr); }, false, "ABCDE"},
};
// clang-format on

TEST(CArrayBase, OperationsOnChars) {
  for (const Step& step : kSteps) {
    TArray<char> a = Chars(step.before);
    EXPECT_EQ(step.op(a), step.result) << "step " << &step - kSteps;
    EXPECT_EQ(Str(a), step.after) << "step " << &step - kSteps;
  }
}

TEST(CArrayBase, AppendsItsOwnItemsWhileTheBlockMoves) {
  TArray<std::uint64_t> a;
  for (std::uint64_t v = 0; v < 64; ++v) ASSERT_TRUE(a.Add(v));
  // Doubling through the array's own block forces reallocations with the source inside it.
  for (int round = 0; round < 6; ++round) ASSERT_TRUE(a.Add(a.Data(), a.Count() * 8));
  ASSERT_EQ(a.Count(), 64u * 64u);
  for (unsigned int i = 0; i < a.Count(); ++i) ASSERT_EQ(*a.At(i), i % 64) << i;
  auto* zeros = static_cast<std::uint64_t*>(a.Append(2));
  ASSERT_EQ(zeros, a.At(4096));
  EXPECT_EQ(std::tuple(zeros[0], zeros[1]), std::tuple(0ul, 0ul));
  EXPECT_EQ(a.Append(0), nullptr);
}

TEST(CArrayBase, EmptyArrayPositionsRangesAndComparison) {
  TArray<std::uint32_t> a;
  EXPECT_EQ(std::tuple(a.Item(0), a.Last(), a.Pos(a.Data())), std::tuple(nullptr, nullptr, -1));
  ASSERT_NE(a.Data(), nullptr);  // an empty array still has a zeroed block
  EXPECT_EQ(std::memcmp(a.Data(), "\0\0\0\0\0\0\0\0\0\0\0\0", 12), 0);
  for (std::uint32_t v : {10u, 20u, 30u}) ASSERT_TRUE(a.Add(v));
  EXPECT_EQ(std::tuple(a.Size(), a.At(3), a.Last()), std::tuple(20u, nullptr, a.At(2)));
  const auto* base = static_cast<const std::uint8_t*>(a.Data());
  EXPECT_EQ(a.Pos(base + 9), 2);  // inside the third item
  EXPECT_EQ(std::tuple(a.Pos(base), a.Pos(base + 12), a.Pos(base - 1)), std::tuple(0, -1, -1));
  EXPECT_EQ(std::tuple(a.Next(base + 1), a.Next(base + 10)), std::tuple(a.Item(1), nullptr));
  std::uint32_t out = 0;
  EXPECT_EQ((std::tuple{a.Next(1, &out), out}), std::tuple(true, 20u));
  // The end counts as inside.
  EXPECT_EQ(std::tuple(a.SourceSelf(base + 12), a.SourceSelf(base + 13)), std::tuple(true, false));

  const TArray<char> c = Chars("ABCDE");
  char range[5] = {};
  EXPECT_EQ((std::tuple{c.Range(1, 3, range), std::string(range, 3)}), std::tuple(true, "BCD"));
  EXPECT_EQ(std::tuple(c.Range(3, 1, range), c.Range(0, 5, range)), std::tuple(false, false));
  EXPECT_EQ(
      std::tuple(c.Compare(Chars("ABCDE")), c.Compare(Chars("ABCDF")), c.Compare(Chars("ABCD"))),
      std::tuple(true, false, false));
  EXPECT_EQ(std::tuple(TArray<char>().Compare(TArray<char>()),
                       TArray<char>().Compare(TArray<std::uint16_t>())),
            std::tuple(true, false));
}

TEST(CArrayBase, RefusesGrowthPast4GiBAndItemsOfDifferentSizes) {
  // Items of 1 GiB: four of them would need a 4 GiB block. Nothing is allocated to find out.
  CArrayBase huge(1u << 30);
  EXPECT_EQ((std::tuple{huge.Append(4), huge.InsertEmpty(0, 8), huge.Count()}),
            std::tuple(nullptr, false, 0u));
  EXPECT_FALSE(CArrayBase(0).Add("c"));  // items of no size
  TArray<char> a = Chars("ABC");
  TArray<std::uint16_t> wide;
  ASSERT_TRUE(wide.Add(std::uint16_t{1}));
  EXPECT_EQ((std::tuple{a.Add(wide), a.Assign(wide), Str(a)}), std::tuple(false, false, "ABC"));
}

}  // namespace
}  // namespace kelvane
