#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kelvane/containers/storage.h"

namespace kelvane {
namespace {

TArray<std::uint32_t> Ints(std::initializer_list<std::uint32_t> values) {
  TArray<std::uint32_t> a;
  for (std::uint32_t v : values) EXPECT_TRUE(a.Add(v));
  return a;
}

std::vector<std::uint32_t> Values(const TArray<std::uint32_t>& a) { return {a.begin(), a.end()}; }

int Index(const CArrayBase& a, const void* item) { return item == nullptr ? -1 : a.Pos(item); }

std::vector<unsigned int> Indexes(const TArray<unsigned int>& a) { return {a.begin(), a.end()}; }

TEST(SortedArray, OrderedInsertPlacesAndReplaces) {
  TArray<std::uint32_t> a;
  const std::uint32_t five = 5, three = 3;
  void* first = a.Insert(&five, ComparatorUInt32, false);
  EXPECT_EQ(first, a.Item(0));
  EXPECT_EQ(Values(a), (std::vector<std::uint32_t>{5}));
  a.Clear();
  for (std::uint32_t v : {1u, 3u, 7u}) ASSERT_TRUE(a.Add(v));
  void* stored = a.Insert(&five, ComparatorUInt32, false);
  EXPECT_EQ(Values(a), (std::vector<std::uint32_t>{1, 3, 5, 7}));
  EXPECT_EQ(stored, a.Item(2));

  TArray<std::uint32_t> b = Ints({1, 3, 7});
  EXPECT_NE(b.Insert(&three, ComparatorUInt32, false), nullptr);
  EXPECT_EQ(Values(b), (std::vector<std::uint32_t>{1, 3, 3, 7}));

  // With replace, the equal item is overwritten: visible with a key that carries more than the
  // compared field.
  struct Entry {
    std::uint32_t key;
    std::uint32_t payload;
  };
  TArray<Entry> c;
  for (Entry e : {Entry{1, 0}, Entry{3, 0}, Entry{7, 0}}) ASSERT_TRUE(c.Add(e));
  const Entry update{3, 99};
  EXPECT_EQ(c.Insert(&update, ComparatorUInt32, true), c.Item(1));
  EXPECT_EQ(c.Count(), 3u);
  EXPECT_EQ(c.At(1)->payload, 99u);

  EXPECT_EQ(a.Insert(nullptr, ComparatorUInt32, false), nullptr);
  EXPECT_EQ(a.Insert(&five, nullptr, false), nullptr);
}

TEST(SortedArray, OrderedInsertKeepsRandomInputSorted) {
  std::mt19937 rng(42);
  TArray<std::uint32_t> a;
  std::vector<std::uint32_t> expected;
  for (int i = 0; i < 2000; ++i) {
    const std::uint32_t v = rng() % 500;  // plenty of duplicates
    ASSERT_NE(a.Insert(&v, ComparatorUInt32, false), nullptr);
    expected.push_back(v);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Values(a), expected);
}

int Sloppy(const void* a, const void* b) {
  // Magnitudes, not just signs: fine for qsort and the searches, not for the ordered insert.
  return static_cast<int>(*static_cast<const std::uint32_t*>(a)) -
         static_cast<int>(*static_cast<const std::uint32_t*>(b));
}

TEST(SortedArray, SloppyComparatorStopsOnlyTheOrderedInsert) {
  TArray<std::uint32_t> a = Ints({9, 1, 5});
  const std::uint32_t four = 4, one = 1;
  EXPECT_EQ(a.Insert(&four, Sloppy, false), nullptr);
  EXPECT_EQ(Values(a), (std::vector<std::uint32_t>{9, 1, 5}));
  TArray<std::uint32_t> empty;
  EXPECT_NE(empty.Insert(&four, Sloppy, false), nullptr);  // no comparison is made

  a.Sort(Sloppy);
  EXPECT_EQ(Values(a), (std::vector<std::uint32_t>{1, 5, 9}));
  EXPECT_EQ(a.Search(Sloppy, &one), a.Item(0));
  EXPECT_EQ(a.SearchGrOrEq(Sloppy, &four), a.Item(1));
  EXPECT_EQ(a.SearchLeOrEq(Sloppy, &four), a.Item(0));
}

TEST(SortedArray, BoundingSearches) {
  const TArray<std::uint32_t> a = Ints({1, 3, 3, 3, 7});
  const std::uint32_t k3 = 3, k4 = 4;
  // {key, index of SearchGrOrEq, index of SearchLeOrEq}; -1 for none.
  const std::array<int, 3> cases[] = {{3, 1, 3}, {4, 4, 3}, {8, -1, 4}, {0, 0, -1}};
  for (const auto& [key, ge, le] : cases) {
    const auto k = static_cast<std::uint32_t>(key);
    EXPECT_EQ(Index(a, a.SearchGrOrEq(ComparatorUInt32, &k)), ge) << key;
    EXPECT_EQ(Index(a, a.SearchLeOrEq(ComparatorUInt32, &k)), le) << key;
  }
  const int found = Index(a, a.Search(ComparatorUInt32, &k3));
  EXPECT_TRUE(found >= 1 && found <= 3) << found;
  EXPECT_EQ(a.Search(ComparatorUInt32, &k4), nullptr);
  EXPECT_EQ(a.Search(ComparatorUInt32, nullptr), nullptr);
  EXPECT_EQ(a.SearchGrOrEq(nullptr, &k3), nullptr);
  const TArray<std::uint32_t> empty;
  EXPECT_EQ(empty.SearchGrOrEq(ComparatorUInt32, &k3), nullptr);
  EXPECT_EQ(empty.SearchLeOrEq(ComparatorUInt32, &k3), nullptr);
}

TEST(SortedArray, BoundingSearchesAgreeWithTheStandardLibrary) {
  std::mt19937 rng(7);
  std::vector<std::uint32_t> v(777);
  for (auto& x : v) x = rng() % 300;
  std::sort(v.begin(), v.end());
  TArray<std::uint32_t> a;
  ASSERT_TRUE(a.Add(v.data(), static_cast<unsigned int>(v.size() * 4)));
  for (std::uint32_t key = 0; key < 302; ++key) {
    const auto lower = std::lower_bound(v.begin(), v.end(), key) - v.begin();
    const auto upper = std::upper_bound(v.begin(), v.end(), key) - v.begin();
    EXPECT_EQ(Index(a, a.SearchGrOrEq(ComparatorUInt32, &key)),
              lower == static_cast<long>(v.size()) ? -1 : lower);
    EXPECT_EQ(Index(a, a.SearchLeOrEq(ComparatorUInt32, &key)), upper - 1);
  }
}

TEST(SortedArray, RemoveTakesOneEqualItem) {
  TArray<std::uint32_t> a = Ints({1, 3, 3, 7});
  const std::uint32_t k3 = 3, k5 = 5;
  EXPECT_FALSE(a.Remove(&k5, ComparatorUInt32));
  EXPECT_EQ(a.Count(), 4u);
  EXPECT_TRUE(a.Remove(&k3, ComparatorUInt32));
  EXPECT_EQ(Values(a), (std::vector<std::uint32_t>{1, 3, 7}));
  EXPECT_FALSE(a.Remove(nullptr, ComparatorUInt32));
  TArray<std::uint32_t> empty;
  EXPECT_FALSE(empty.Remove(&k3, ComparatorUInt32));
}

TEST(SortedArray, DiffReportsUnpairedIndexes) {
  TArray<unsigned int> added, removed;
  CArrayBase::Diff(Ints({1, 2, 4}), Ints({2, 3, 4, 5}), added, removed, ComparatorUInt32);
  EXPECT_EQ(Indexes(removed), (std::vector<unsigned int>{0}));
  EXPECT_EQ(Indexes(added), (std::vector<unsigned int>{1, 3}));

  CArrayBase::Diff(Ints({}), Ints({7, 8}), added, removed, ComparatorUInt32);
  EXPECT_EQ(removed.Count(), 0u);
  EXPECT_EQ(Indexes(added), (std::vector<unsigned int>{0, 1}));

  // Equal items pair off one to one from the front.
  CArrayBase::Diff(Ints({3, 3, 3}), Ints({3}), added, removed, Sloppy);
  EXPECT_EQ(added.Count(), 0u);
  EXPECT_EQ(Indexes(removed), (std::vector<unsigned int>{1, 2}));
}

TEST(Comparators, FixedValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), one = 1.0, two = 2.0;
  EXPECT_EQ(ComparatorDouble(&nan, &one), 0);
  EXPECT_EQ(ComparatorDouble(&one, &nan), 0);
  EXPECT_EQ(ComparatorDouble(&one, &two), -1);
  EXPECT_EQ(ComparatorDouble(&two, &one), 1);
  const std::int16_t m1 = -1, p1 = 1;
  EXPECT_EQ(ComparatorSInt16(&m1, &p1), -1);
  const std::uint32_t umax = 0xFFFFFFFFu, u1 = 1;
  EXPECT_EQ(ComparatorUInt32(&umax, &u1), 1);
  const std::int32_t smin = std::numeric_limits<std::int32_t>::min(), s0 = 0;
  EXPECT_EQ(ComparatorSInt32(&smin, &s0), -1);
  const std::int64_t big = std::int64_t{1} << 40, neg = -(std::int64_t{1} << 40);
  EXPECT_EQ(ComparatorSInt64(&neg, &big), -1);
  const std::uint64_t ubig = ~std::uint64_t{0}, u0 = 0;
  EXPECT_EQ(ComparatorUInt64(&ubig, &u0), 1);
  EXPECT_EQ(ComparatorUInt64(&u0, &u0), 0);
}

TEST(Comparators, WCharComparesStringsHeldInItems) {
  struct Name {
    unsigned short text[8];
  };
  auto make = [](const char16_t* s) {
    Name n{};
    std::memcpy(n.text, s, std::char_traits<char16_t>::length(s) * 2);
    return n;
  };
  TArray<Name> names;
  for (const char16_t* s : {u"delta", u"alpha", u"charlie", u"bravo", u"al"}) {
    const Name n = make(s);
    ASSERT_NE(names.Insert(&n, ComparatorWChar, false), nullptr);
  }
  const Name key = make(u"bravo");
  EXPECT_EQ(Index(names, names.Search(ComparatorWChar, &key)), 2);
  EXPECT_EQ(ComparatorWChar(names.Item(0), names.Item(1)), -1);  // "al" before "alpha"
}

struct Cached {
  static int alive;
  std::uint32_t key;
  int value;
  Cached(std::uint32_t k, int v) : key(k), value(v) { ++alive; }
  Cached(const Cached& other) : key(other.key), value(other.value) { ++alive; }
  ~Cached() { --alive; }
};
int Cached::alive = 0;

int CompareCached(const void* a, const void* b) {
  const Cached* x = *static_cast<Cached* const*>(a);
  const Cached* y = *static_cast<Cached* const*>(b);
  return x->key < y->key ? -1 : (x->key > y->key ? 1 : 0);
}

TEST(TArrayObj, OwningInsertCopiesReplacesAndDeletes) {
  Cached::alive = 0;
  {
    TArrayObj<Cached, true> cache;
    for (std::uint32_t k : {5u, 1u, 3u}) {
      ASSERT_NE(cache.Insert(Cached(k, 0), CompareCached, false), nullptr);
    }
    EXPECT_EQ(Cached::alive, 3);
    Cached* stored = cache.Insert(Cached(3, 42), CompareCached, true);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(cache.Count(), 3u);
    EXPECT_EQ(Cached::alive, 3);  // the replaced object was deleted
    EXPECT_EQ(*cache.At(1), stored);
    EXPECT_EQ((*cache.At(1))->value, 42);
    EXPECT_EQ((*cache.At(0))->key, 1u);
    EXPECT_EQ((*cache.At(2))->key, 5u);

    // Without replace an equal object is added beside the first.
    ASSERT_NE(cache.Insert(Cached(3, 7), CompareCached, false), nullptr);
    EXPECT_EQ(cache.Count(), 4u);
    EXPECT_EQ(Cached::alive, 4);
    // With duplicates present, replacing still deletes exactly one object and stores one.
    ASSERT_NE(cache.Insert(Cached(3, 8), CompareCached, true), nullptr);
    EXPECT_EQ(cache.Count(), 4u);
    EXPECT_EQ(Cached::alive, 4);
    EXPECT_EQ(cache.Insert(Cached(9, 0), nullptr, false), nullptr);
    EXPECT_EQ(Cached::alive, 4);
  }
  EXPECT_EQ(Cached::alive, 0);
}

}  // namespace
}  // namespace kelvane
