// SPDX-License-Identifier: Apache-2.0
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "kelvane/containers/storage.h"
#include "kelvane/testing/arrays.h"

namespace kelvane {
namespace {

using Values = std::vector<std::uint32_t>;

using testing::Ints;

Values Of(const TArray<std::uint32_t>& a) { return {a.begin(), a.end()}; }

struct Entry {
  std::uint32_t key, payload;
};

Values Payloads(const TArray<Entry>& a) {
  Values out;
  for (const Entry& e : a) out.push_back(e.payload);
  return out;
}

int Index(const CArrayBase& a, const void* item) { return item == nullptr ? -1 : a.Pos(item); }

// Magnitudes, not just signs: fine for qsort and the searches, not for the ordered insert.
int Sloppy(const void* a, const void* b) {
  return static_cast<int>(*static_cast<const std::uint32_t*>(a)) -
         static_cast<int>(*static_cast<const std::uint32_t*>(b));
}

TEST(SortedArray, OrderedInsertPlacesAndReplaces) {
  const std::uint32_t five = 5, one = 1;
  // An empty array takes the item without asking the comparator, even one answering outside
  // -1..1; that answer stops only the ordered insert of a non-empty array.
  TArray<std::uint32_t> a;
  const void* stored = a.Insert(&five, Sloppy, false);
  EXPECT_EQ(stored, a.Item(0));
  EXPECT_EQ(std::tuple(a.Insert(nullptr, ComparatorUInt32, false), a.Insert(&one, nullptr, false),
                       a.Insert(&one, Sloppy, false)),
            std::tuple(nullptr, nullptr, nullptr));
  EXPECT_EQ(Of(a), (Values{5}));

  // Items that carry more than the compared key show where an equal key goes: with replace,
  // over the equal item; without, before the equal item the search met, which in a run of
  // five is the middle one.
  TArray<Entry> c;
  for (Entry e : {Entry{1, 0}, Entry{3, 0}, Entry{7, 0}}) ASSERT_TRUE(c.Add(e));
  const Entry update{3, 99}, added{3, 5};
  EXPECT_EQ(c.Insert(&update, ComparatorUInt32, true), c.Item(1));
  const void* inserted = c.Insert(&added, ComparatorUInt32, false);  // the block may move
  EXPECT_EQ(inserted, c.Item(1));
  EXPECT_EQ(Payloads(c), (Values{0, 5, 99, 0}));
  TArray<Entry> run;
  for (std::uint32_t p = 0; p < 5; ++p) ASSERT_TRUE(run.Add(Entry{3, p}));
  ASSERT_NE(run.Insert(&update, ComparatorUInt32, false), nullptr);
  EXPECT_EQ(Payloads(run), (Values{0, 1, 99, 2, 3, 4}));

  std::mt19937 rng(42);
  TArray<std::uint32_t> r;
  Values expected;
  for (int i = 0; i < 2000; ++i) {
    expected.push_back(rng() % 500);  // plenty of duplicates
    ASSERT_NE(r.Insert(&expected.back(), ComparatorUInt32, false), nullptr);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Of(r), expected);
}

TEST(SortedArray, SearchesOverEqualRunsAndAbsentKeys) {
  // Runs of equal keys, absent keys, and keys below and above every item (0 and 302): -1 for
  // none. Any sign will do for the searches, unlike the ordered insert.
  std::mt19937 rng(7);
  Values v(777);
  for (auto& x : v) x = 1 + rng() % 300;
  std::sort(v.begin(), v.end());
  const TArray<std::uint32_t> b = Ints(v);
  for (std::uint32_t key = 0; key < 303; ++key) {
    const auto lower = std::lower_bound(v.begin(), v.end(), key) - v.begin();
    const auto upper = std::upper_bound(v.begin(), v.end(), key) - v.begin();
    const long ge = lower == static_cast<long>(v.size()) ? -1 : lower;
    ASSERT_EQ(Index(b, b.SearchGrOrEq(ComparatorUInt32, &key)), ge) << key;
    ASSERT_EQ(Index(b, b.SearchGrOrEq(Sloppy, &key)), ge) << key;
    ASSERT_EQ(Index(b, b.SearchLeOrEq(ComparatorUInt32, &key)), upper - 1) << key;
    const int found = Index(b, b.Search(ComparatorUInt32, &key));  // any of an equal run
    const auto in_run = ::testing::AllOf(::testing::Ge(lower), ::testing::Lt(upper));
    ASSERT_THAT(found, lower == upper ? ::testing::Matcher<long>(-1) : in_run) << key;
  }
  const std::uint32_t k3 = 3;
  EXPECT_EQ(b.Search(ComparatorUInt32, nullptr), nullptr);
  EXPECT_EQ(b.SearchGrOrEq(nullptr, &k3), nullptr);
  EXPECT_EQ(TArray<std::uint32_t>().SearchLeOrEq(ComparatorUInt32, &k3), nullptr);
}

TEST(SortedArray, SortRemoveAndDiff) {
  TArray<std::uint32_t> a = Ints({9, 3, 1, 3});
  a.Sort(Sloppy);
  EXPECT_EQ(Of(a), (Values{1, 3, 3, 9}));
  const std::uint32_t k3 = 3, k5 = 5;
  EXPECT_EQ(std::tuple(a.Remove(&k5, ComparatorUInt32), a.Remove(&k3, ComparatorUInt32)),
            std::tuple(false, true));
  EXPECT_EQ(Of(a), (Values{1, 3, 9}));

  TArray<unsigned int> added, removed;
  CArrayBase::Diff(Ints({1, 2, 4}), Ints({2, 3, 4, 5}), added, removed, ComparatorUInt32);
  EXPECT_EQ(Of(removed), (Values{0}));
  EXPECT_EQ(Of(added), (Values{1, 3}));
  // Equal items pair off one to one from the front.
  CArrayBase::Diff(Ints({3, 3, 3}), Ints({3}), added, removed, Sloppy);
  EXPECT_EQ(std::tuple(Of(removed), Of(added)), std::tuple(Values{1, 2}, Values{}));
}

TEST(Comparators, FixedValues) {
  // Each comparator on two values of its type.
  const auto order = [](auto compare, auto a, decltype(a) b) { return compare(&a, &b); };
  EXPECT_EQ(order(ComparatorDouble, std::numeric_limits<double>::quiet_NaN(), 1.0), 0);
  EXPECT_EQ(order(ComparatorDouble, 1.0, 2.0), -1);
  EXPECT_EQ(order(ComparatorSInt16, std::int16_t{-1}, std::int16_t{1}), -1);
  EXPECT_EQ(order(ComparatorUInt32, 0xFFFFFFFFu, 1u), 1);
  EXPECT_EQ(order(ComparatorSInt32, std::numeric_limits<std::int32_t>::min(), 0), -1);
  EXPECT_EQ(order(ComparatorSInt64, -(std::int64_t{1} << 40), std::int64_t{1} << 40), -1);
  EXPECT_EQ(order(ComparatorUInt64, ~std::uint64_t{0}, std::uint64_t{0}), 1);

  // WChar compares strings held in the items themselves.
  using Name = std::array<unsigned short, 8>;
  TArray<Name> names;
  for (const char16_t* s : {u"delta", u"alpha", u"charlie", u"bravo", u"al"}) {
    Name n{};
    std::memcpy(n.data(), s, std::char_traits<char16_t>::length(s) * 2);
    ASSERT_NE(names.Insert(&n, ComparatorWChar, false), nullptr);
  }
  EXPECT_EQ(ComparatorWChar(names.Item(0), names.Item(1)), -1);  // "al" before "alpha"
  EXPECT_EQ(Index(names, names.Search(ComparatorWChar, u"bravo")), 2);
}

struct Cached {
  static inline int alive = 0;
  std::uint32_t key, value;
  Cached(std::uint32_t k, std::uint32_t v) : key(k), value(v) { ++alive; }
  Cached(const Cached& other) : key(other.key), value(other.value) { ++alive; }
  ~Cached() { --alive; }
};

int CompareCached(const void* a, const void* b) {
  return ComparatorUInt32(*static_cast<Cached* const*>(a), *static_cast<Cached* const*>(b));
}

TEST(TArrayObj, OwningInsertCopiesReplacesAndDeletesOnlyNonNullObjects) {
  Cached::alive = 0;
  Cached kept(0, 0);
  {
    TArrayObj<Cached, true> cache;
    for (std::uint32_t k : {5u, 1u, 3u})
      ASSERT_NE(cache.Insert({k, 0}, CompareCached, false), nullptr);
    Cached* stored = cache.Insert({3, 42}, CompareCached, true);
    EXPECT_EQ(std::tuple(*cache.At(1), stored->value, cache.Count()), std::tuple(stored, 42u, 3u));
    EXPECT_EQ(Cached::alive, 4);  // the replaced object was deleted
    // With duplicates present, replacing still deletes exactly one object and stores one.
    ASSERT_NE(cache.Insert({3, 7}, CompareCached, false), nullptr);
    ASSERT_NE(cache.Insert({3, 8}, CompareCached, true), nullptr);
    EXPECT_EQ(cache.Insert({9, 0}, nullptr, false), nullptr);
    EXPECT_EQ(std::tuple(cache.Count(), Cached::alive), std::tuple(4u, 5));
    ASSERT_TRUE(cache.Add(static_cast<Cached*>(nullptr)));
    TArrayObj<Cached, false> borrowed;
    ASSERT_TRUE(borrowed.Add(&kept));
    TArrayObj<Cached, true> moved(std::move(cache));  // the block, and the objects, move over
  }
  EXPECT_EQ(Cached::alive, 1);
}

}  // namespace
}  // namespace kelvane
