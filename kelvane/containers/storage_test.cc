#include "kelvane/containers/storage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

namespace kelvane {
namespace {

// Arrays of one-byte items read as strings, so that "ABCDE" is five items.
TArray<char> Chars(std::string_view items) {
  TArray<char> a;
  if (!items.empty()) {
    EXPECT_TRUE(a.Add(items.data(), static_cast<unsigned int>(items.size())));
  }
  return a;
}

std::string Str(const CArrayBase& a) {
  return std::string(static_cast<const char*>(a.Data()), a.Count() * a.ItemSize());
}

TEST(CArrayBase, NewArrayHasNoItems) {
  TArray<std::uint32_t> a;
  EXPECT_EQ(a.Item(0), nullptr);
  EXPECT_EQ(a.Last(), nullptr);
  EXPECT_EQ(a.Pos(a.Data()), -1);
  ASSERT_NE(a.Data(), nullptr);
  EXPECT_EQ(std::memcmp(a.Data(), "\0\0\0\0\0\0\0\0\0\0\0\0", 12), 0);
  EXPECT_EQ(a.Size(), 8u);
  std::uint32_t out = 7;
  EXPECT_FALSE(a.Next(0, &out));
  EXPECT_EQ(out, 7u);
  for (std::uint32_t v : {1u, 2u, 3u}) ASSERT_TRUE(a.Add(v));
  EXPECT_EQ(a.Size(), 20u);
  EXPECT_EQ(*a.At(2), 3u);
  EXPECT_EQ(a.At(3), nullptr);
}

TEST(CArrayBase, ByteAddRefusesPartialItemsAndNulls) {
  TArray<std::uint32_t> a;
  const std::uint8_t bytes[8] = {1, 0, 0, 0, 2, 0, 0, 0};
  EXPECT_FALSE(a.Add(bytes, 6));
  EXPECT_FALSE(a.Add(nullptr, 4));
  EXPECT_FALSE(a.Add(bytes, 0));
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_TRUE(a.Add(bytes, 8));
  EXPECT_FALSE(a.Add(bytes, 6));
  ASSERT_EQ(a.Count(), 2u);
  EXPECT_EQ(*a.At(1), 2u);
}

TEST(CArrayBase, AppendsAndInsertsItsOwnItemsWhileTheBlockMoves) {
  TArray<std::uint64_t> a;
  for (std::uint64_t v = 0; v < 64; ++v) ASSERT_TRUE(a.Add(v));
  // Doubling through the array's own block forces reallocations with the source inside it.
  for (int round = 0; round < 6; ++round) {
    ASSERT_TRUE(a.Add(a.Data(), a.Count() * 8));
  }
  ASSERT_EQ(a.Count(), 64u * 64u);
  for (unsigned int i = 0; i < a.Count(); ++i) ASSERT_EQ(*a.At(i), i % 64) << i;

  TArray<char> c = Chars("ABC");
  ASSERT_NE(c.Insert(c.Item(2), 0u), nullptr);  // copy of C before A
  EXPECT_EQ(Str(c), "CABC");
  ASSERT_TRUE(c.Insert(c.Item(0), 4u, 3u, 1u));  // C A B appended from itself
  EXPECT_EQ(Str(c), "CABCCAB");
  // A source that begins before the block and runs into it is copied first too.
  TArray<std::uint16_t> w;
  const std::uint16_t v[2] = {10, 20};
  ASSERT_TRUE(w.Add(v, 4));
  ASSERT_TRUE(w.Insert(w.Item(0), 2u, 2u, 2u));
  EXPECT_EQ(*w.At(2), 10u);
  EXPECT_EQ(*w.At(3), 20u);
}

TEST(CArrayBase, AddAndAssignBetweenArrays) {
  TArray<char> a = Chars("ABC");
  EXPECT_TRUE(a.Add(a));
  EXPECT_TRUE(a.Assign(a));
  EXPECT_TRUE(a.Add(a, 0, 1));
  EXPECT_EQ(Str(a), "ABC");

  TArray<char> empty;
  EXPECT_FALSE(a.Add(empty));
  TArray<std::uint16_t> wide;
  ASSERT_TRUE(wide.Add(std::uint16_t{1}));
  EXPECT_FALSE(a.Add(wide));
  EXPECT_FALSE(a.Assign(wide, 0, 0));
  EXPECT_FALSE(a.Assign(wide));
  EXPECT_EQ(Str(a), "ABC");

  TArray<char> b = Chars("vwxyz");
  EXPECT_TRUE(a.Add(b, 1, 3));
  EXPECT_EQ(Str(a), "ABCwxy");
  EXPECT_FALSE(a.Add(b, 3, 1));
  EXPECT_FALSE(a.Add(b, 4, 5));
  EXPECT_EQ(Str(a), "ABCwxy");

  EXPECT_TRUE(a.Assign(b, 3, 4));
  EXPECT_EQ(Str(a), "yz");
  // A reversed span is an empty selection: the target ends empty, and the call succeeds.
  EXPECT_TRUE(a.Assign(b, 5, 2));
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_TRUE(a.Assign(b));
  EXPECT_EQ(Str(a), "vwxyz");
  EXPECT_TRUE(a.Assign(empty));
  EXPECT_EQ(a.Count(), 0u);
}

TEST(CArrayBase, ShiftOpensAndClosesGaps) {
  TArray<char> a = Chars("ABCDE");
  EXPECT_EQ(a.Shift(-2, 3), nullptr);
  EXPECT_EQ(Str(a), "ADE");

  TArray<char> b = Chars("ABC");
  char* slot = static_cast<char*>(b.Shift(2, 1));
  ASSERT_EQ(slot, b.Item(1));
  slot[0] = 'x';
  slot[1] = 'y';
  EXPECT_EQ(Str(b), "AxyBC");
  EXPECT_EQ(b.Shift(0, 1), nullptr);
  EXPECT_EQ(b.Shift(1, 6), nullptr);
  EXPECT_EQ(Str(b), "AxyBC");

  // Reaching before the first item is refused instead of dropping items off the end.
  EXPECT_EQ(b.Shift(-3, 2), nullptr);
  EXPECT_EQ(Str(b), "AxyBC");
  // A removal larger than the array, taken at the end, empties it and releases the block.
  EXPECT_EQ(b.Shift(-9, 5), nullptr);
  EXPECT_EQ(b.Count(), 0u);
  EXPECT_EQ(b.Last(), nullptr);
}

TEST(CArrayBase, AppendAndInsertEmptyZeroFill) {
  TArray<std::uint32_t> a;
  ASSERT_TRUE(a.Add(0xFFFFFFFFu));
  auto* first = static_cast<std::uint32_t*>(a.Append(2));
  ASSERT_EQ(first, a.At(1));
  EXPECT_EQ(first[0], 0u);
  EXPECT_EQ(first[1], 0u);
  EXPECT_EQ(a.Append(0), nullptr);
  EXPECT_TRUE(a.InsertEmpty(0, 1));
  EXPECT_FALSE(a.InsertEmpty(5, 1));
  EXPECT_FALSE(a.InsertEmpty(0, 0));
  ASSERT_EQ(a.Count(), 4u);
  EXPECT_EQ(*a.At(0), 0u);
  EXPECT_EQ(*a.At(1), 0xFFFFFFFFu);
}

TEST(CArrayBase, InsertRefusesBadPositions) {
  TArray<char> a = Chars("AB");
  const char c = 'C';
  EXPECT_EQ(a.Insert(&c, 3u), nullptr);
  EXPECT_EQ(a.Insert(nullptr, 0u), nullptr);
  EXPECT_FALSE(a.Insert(&c, 3u, 1u, 1u));
  EXPECT_FALSE(a.Insert(&c, 0u, 0u, 1u));
  EXPECT_EQ(Str(a), "AB");
  void* appended = a.Insert(&c, 2u);
  EXPECT_EQ(appended, a.Item(2));
  const char strided[] = "a.b.c";
  EXPECT_TRUE(a.Insert(strided, 1u, 3u, 2u));
  EXPECT_EQ(Str(a), "AabcBC");
  const char same = 'z';
  EXPECT_TRUE(a.Insert(&same, 0u, 2u, 0u));  // stride 0 repeats one item
  EXPECT_EQ(Str(a), "zzAabcBC");
}

TEST(CArrayBase, DeleteByIndexAndRange) {
  TArray<char> a = Chars("ABCDE");
  a.Delete(5);
  a.Delete(2, 1);
  a.Delete(3, 5);
  EXPECT_EQ(Str(a), "ABCDE");
  a.Delete(1, 3);
  EXPECT_EQ(Str(a), "AE");
  a.Delete(0);
  EXPECT_EQ(Str(a), "E");
  a.Delete(0, 0);
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_EQ(a.Item(0), nullptr);
  a.Delete(0);  // nothing to delete: no effect
  EXPECT_EQ(a.Count(), 0u);
}

TEST(CArrayBase, ShiftItemMovesOneItem) {
  TArray<char> a = Chars("ABCD");
  EXPECT_TRUE(a.ShiftItem(0, 2));
  EXPECT_EQ(Str(a), "BCAD");
  TArray<char> b = Chars("ABCD");
  EXPECT_TRUE(b.ShiftItem(3, -3));
  EXPECT_EQ(Str(b), "DABC");
  EXPECT_FALSE(b.ShiftItem(1, 3));
  EXPECT_FALSE(b.ShiftItem(1, -2));
  EXPECT_FALSE(b.ShiftItem(4, -1));
  EXPECT_TRUE(b.ShiftItem(9, 0));
  EXPECT_EQ(Str(b), "DABC");

  // Items larger than the small stack copy move the same way.
  struct Big {
    char tag;
    char pad[999];
  };
  TArray<Big> big;
  for (char tag : {'a', 'b', 'c'}) ASSERT_TRUE(big.Add(Big{tag, {}}));
  EXPECT_TRUE(big.ShiftItem(2, -2));
  EXPECT_EQ(big.At(0)->tag, 'c');
  EXPECT_EQ(big.At(1)->tag, 'a');
  EXPECT_EQ(big.At(2)->tag, 'b');
}

TEST(CArrayBase, PositionsAndNeighbours) {
  TArray<std::uint32_t> a;
  for (std::uint32_t v : {10u, 20u, 30u}) ASSERT_TRUE(a.Add(v));
  const auto* base = static_cast<const std::uint8_t*>(a.Data());
  EXPECT_EQ(a.Pos(base + 9), 2);
  EXPECT_EQ(a.Pos(base + 12), -1);
  EXPECT_EQ(a.Pos(base - 1), -1);
  EXPECT_EQ(a.Pos(nullptr), -1);
  EXPECT_EQ(a.Next(base + 1), a.Item(1));
  EXPECT_EQ(a.Next(base + 10), nullptr);
  EXPECT_EQ(a.Next(static_cast<const void*>(nullptr)), nullptr);
  std::uint32_t out = 0;
  EXPECT_TRUE(a.Next(1, &out));
  EXPECT_EQ(out, 20u);
  EXPECT_FALSE(a.Next(1, nullptr));
  EXPECT_TRUE(a.SourceSelf(base + 12));  // the end address counts as inside
  EXPECT_FALSE(a.SourceSelf(base + 13));
  EXPECT_FALSE(a.SourceSelf(nullptr));
}

TEST(CArrayBase, RangeReplaceAndCompare) {
  TArray<char> a = Chars("ABCDE");
  char out[5] = {};
  EXPECT_TRUE(a.Range(1, 3, out));
  EXPECT_EQ(std::string(out, 3), "BCD");
  EXPECT_FALSE(a.Range(3, 1, out));
  EXPECT_FALSE(a.Range(0, 5, out));
  EXPECT_FALSE(a.Range(0, 0, nullptr));

  const char z = 'z';
  EXPECT_TRUE(a.Replace(4, &z));
  EXPECT_TRUE(a.Replace(0, a.Item(4)));
  EXPECT_FALSE(a.Replace(5, &z));
  EXPECT_FALSE(a.Replace(0, nullptr));
  EXPECT_EQ(Str(a), "zBCDz");

  TArray<char> b = Chars("zBCDz");
  EXPECT_TRUE(a.Compare(b));
  b.Delete(4);
  EXPECT_FALSE(a.Compare(b));
  const char y = 'y';
  ASSERT_TRUE(b.Add(&y));
  EXPECT_FALSE(a.Compare(b));
  TArray<char> e1, e2;
  TArray<std::uint16_t> e3;
  EXPECT_TRUE(e1.Compare(e2));
  EXPECT_FALSE(e1.Compare(e3));
}

TEST(CArrayBase, GrowthPast4GiBIsRefused) {
  // Items of 1 GiB: four of them would need a 4 GiB block. Nothing is allocated to find out.
  CArrayBase huge(1u << 30);
  EXPECT_EQ(huge.Append(4), nullptr);
  EXPECT_FALSE(huge.InsertEmpty(0, 8));
  EXPECT_EQ(huge.Count(), 0u);
  CArrayBase none(0);
  const char c = 'c';
  EXPECT_FALSE(none.Add(&c));
  EXPECT_EQ(none.Append(3), nullptr);
  EXPECT_EQ(none.Pos(&c), -1);
}

TEST(CArrayBase, MoveHandsOverTheBlock) {
  TArray<char> a = Chars("AB");
  const void* block = a.Data();
  TArray<char> b(std::move(a));
  EXPECT_EQ(b.Data(), block);
  EXPECT_EQ(Str(b), "AB");
  EXPECT_EQ(a.Count(), 0u);  // NOLINT(bugprone-use-after-move): the moved-from state is defined
  std::string seen;
  for (char c : b) seen.push_back(c);
  EXPECT_EQ(seen, "AB");
}

struct Counted {
  static int alive;
  int value;
  explicit Counted(int v) : value(v) { ++alive; }
  Counted(const Counted& other) : value(other.value) { ++alive; }
  ~Counted() { --alive; }
};
int Counted::alive = 0;

TEST(TArrayObj, OwningArrayDeletesOnlyNonNullObjects) {
  Counted::alive = 0;
  {
    TArrayObj<Counted, true> owned;
    ASSERT_TRUE(owned.Add(new Counted(1)));
    ASSERT_TRUE(owned.Add(static_cast<Counted*>(nullptr)));
    ASSERT_TRUE(owned.Add(new Counted(2)));
    EXPECT_EQ(Counted::alive, 2);
  }
  EXPECT_EQ(Counted::alive, 0);

  Counted kept(5);
  {
    TArrayObj<Counted, false> borrowed;
    ASSERT_TRUE(borrowed.Add(&kept));
  }
  EXPECT_EQ(Counted::alive, 1);
  EXPECT_EQ(kept.value, 5);
}

}  // namespace
}  // namespace kelvane
