// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelvane::platform {
namespace {

// Making a block is no place for an exception to leave the library: out of memory it is nil.
static_assert(std::is_nothrow_constructible_v<Block, std::function<void(int)>>);
static_assert(noexcept(Block::Of<void()>([] {})));

TEST(Block, InvokesOnlyWithItsOwnSignature) {
  int sum = 0;
  Block add = Block::Of<void(int, int)>([&sum](int a, int b) { sum += a + b; });
  ASSERT_TRUE(add);
  EXPECT_TRUE((add.Invoke<int, int>(2, 3)));
  // Another arity, another type, a wider integer: refused, nothing called.
  EXPECT_FALSE(add.Invoke<int>(1));
  EXPECT_FALSE((add.Invoke<long, int>(1, 1)));
  EXPECT_EQ(sum, 5);
  EXPECT_EQ(add.Target<void(int)>(), nullptr);
  EXPECT_FALSE(Block());
  EXPECT_FALSE(Block(std::function<void()>()));  // an empty function makes a nil block
  EXPECT_TRUE(Block(add).SameAs(add));
  EXPECT_FALSE(add.SameAs(Block::Of<void(int, int)>([](int, int) {})));
}

TEST(Block, InvokeWithReadsArgumentsForValueAndConstReferenceParameters) {
  std::string seen;
  const std::string text = "t";
  Block mixed = Block::Of<void(const std::string&, int)>(
      [&](const std::string& s, int n) { seen += s + std::to_string(n); });
  EXPECT_TRUE(mixed.InvokeWith(text, 1));
  EXPECT_FALSE(mixed.InvokeWith(text, 1L));  // no conversions
  EXPECT_FALSE(mixed.InvokeWith(1, text));
  // Parameters that could change or take the caller's argument, and results: refused.
  Block changes = Block::Of<void(std::string&)>([&](std::string& s) { s += "!"; });
  Block takes = Block::Of<void(std::string &&)>([&](std::string&& s) { seen = std::move(s); });
  Block answers = Block::Of<int(const std::string&)>([](const std::string&) { return 1; });
  for (const Block& refused : {changes, takes, answers, Block()}) {
    EXPECT_FALSE(refused.InvokeWith(text));
  }
  EXPECT_EQ(text, "t");
  EXPECT_EQ(seen, "t1");
}

TEST(Object, SlotsSurviveConcurrentWritersAndReaders) {
  static const char kKey = 'c';
  Object object;
  std::atomic<int> misreads{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (t % 2 == 0) {
          (void)object.SetAssociated(&kKey, std::make_shared<const int>(t * 10000 + i));
        } else {
          std::any v = object.Associated(&kKey);
          if (v.has_value() && std::any_cast<std::shared_ptr<const int>>(&v) == nullptr) {
            ++misreads;
          }
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(misreads.load(), 0);
  EXPECT_TRUE(object.Associated(&kKey).has_value());
}

}  // namespace
}  // namespace kelvane::platform
