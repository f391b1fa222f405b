// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/object_array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kelvane {
namespace {

struct Quote {
  int time;
  std::string tag;
};

std::vector<std::string> contexts_seen;

// Orders quotes by time; with "search" the first argument is a bare int key.
std::intptr_t ByTime(const void* first, const void* element, const char* context) {
  contexts_seen.emplace_back(context);
  const int a = std::strcmp(context, "search") == 0 ? *static_cast<const int*>(first)
                                                    : static_cast<const Quote*>(first)->time;
  const int b = static_cast<const Quote*>(element)->time;
  return a < b ? -1 : (a > b ? 1 : 0);
}

std::intptr_t Broken(const void*, const void*, const char*) { return 2; }

std::shared_ptr<Quote> Q(int time, std::string tag = "") {
  return std::make_shared<Quote>(Quote{time, std::move(tag)});
}

std::vector<int> Times(const platform::ObjectArray<Quote>& array) {
  std::vector<int> out;
  for (const auto& q : array) out.push_back(q->time);
  return out;
}

TEST(ObjectArray, InsertKeepsOrderReplacesEqualsAndPassesTheCompareContext) {
  platform::ObjectArray<Quote> array;
  contexts_seen.clear();
  NSTools::Insert(array, Q(5), ByTime, false);
  EXPECT_TRUE(contexts_seen.empty());  // an empty array takes the object at 0 without asking
  for (int t : {3, 9, 1, 7, 4, 8, 0, 6, 2}) NSTools::Insert(array, Q(t), ByTime, false);
  EXPECT_EQ(Times(array), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  ASSERT_FALSE(contexts_seen.empty());
  for (const auto& c : contexts_seen) EXPECT_EQ(c, "compare");

  NSTools::Insert(array, std::shared_ptr<Quote>(), ByTime, false);  // nil object
  NSTools::Insert(array, Q(11), nullptr, false);                    // no comparator
  EXPECT_EQ(array.size(), 10u);

  // An equal object replaces the element met, as the same object, or goes before it.
  const auto replacement = Q(2, "new"), before = Q(2, "before");
  NSTools::Insert(array, replacement, ByTime, true);
  ASSERT_EQ(std::tuple(array.size(), array[2]), std::tuple(10ul, replacement));  // not a copy
  NSTools::Insert(array, before, ByTime, false);
  EXPECT_EQ(std::tuple(array.size(), array[2], array[3]), std::tuple(11ul, before, replacement));

  // A run of equal elements: the new one lands before the element the search met (the middle).
  platform::ObjectArray<Quote> run{Q(7, "0"), Q(7, "1"), Q(7, "2"), Q(7, "3"), Q(7, "4")};
  NSTools::Insert(run, Q(7, "x"), ByTime, false);
  EXPECT_EQ(std::tuple(run[2]->tag, run[3]->tag), std::tuple("x", "2"));

  // A comparator answering outside -1..1 changes nothing.
  for (bool replace : {false, true}) NSTools::Insert(run, Q(3), Broken, replace);
  EXPECT_EQ(Times(run), (std::vector<int>(6, 7)));
}

TEST(ObjectArray, SearchKeyFindsPresentKeysAndLeavesTheIndexForAbsentOnes) {
  platform::ObjectArray<Quote> array;
  for (int t = 0; t < 100; t += 2) array.push_back(Q(t));
  contexts_seen.clear();
  // Every key from below the first to above the last: the even ones are there.
  for (int t = -1; t <= 100; ++t) {
    std::uint32_t index = 1000;
    const auto found = NSTools::SearchKey(array, &t, ByTime, &index);
    const bool present = t >= 0 && t < 100 && t % 2 == 0;
    const auto expected = present ? array[static_cast<std::size_t>(t / 2)] : nullptr;
    EXPECT_EQ(std::tuple(found, index), std::tuple(expected, present ? t / 2u : 1000u)) << t;
  }
  for (const auto& c : contexts_seen) EXPECT_EQ(c, "search");
  const int key = 4;
  std::uint32_t index = 77;
  EXPECT_EQ(NSTools::SearchKey(array, &key, Broken, &index), nullptr);
  EXPECT_EQ(index, 77u);
  EXPECT_NE(NSTools::SearchKey(array, &key, ByTime, nullptr), nullptr);  // index optional
  EXPECT_EQ(NSTools::SearchKey(array, nullptr, ByTime, nullptr), nullptr);
  EXPECT_EQ(NSTools::SearchKey(platform::ObjectArray<Quote>{}, &key, ByTime, nullptr), nullptr);
  // The index itself is exactly -1 when nothing is found, in an empty array too.
  const platform::ObjectArray<Quote> none;
  const int absent = 5;
  for (const platform::ObjectArray<Quote>* in : {&std::as_const(array), &none}) {
    EXPECT_EQ(detail::FindOrdered(in->size(), &absent, in, detail::ObjectAt<Quote>, ByTime), -1);
  }
}

}  // namespace
}  // namespace kelvane
