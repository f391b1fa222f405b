// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/notice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::Block;

// Subscribers are identities only; these give distinct addresses.
const char kA = 'A', kB = 'B', kC = 'C', kD = 'D', kE = 'E';

std::vector<const void*> Objects(const CNotice& hub, unsigned int event) {
  std::vector<const void*> objects;
  for (const ListenerRef& l : hub.Listeners(event).value_or(std::vector<ListenerRef>()))
    objects.push_back(l->object());
  return objects;
}

// Whether another thread can take the hub's lock now.
bool LockIsFree(CNotice& hub) {
  return std::async(std::launch::async,
                    [&hub] { return std::unique_lock(hub.Lock(), std::try_to_lock).owns_lock(); })
      .get();
}

Block Tag(std::string& log, char tag) {
  return Block::Of<void()>([&log, tag] { log.push_back(tag); });
}

TEST(CNotice, KeepsOrderReplacesInPlaceDetachesChangesDuringDeliveryAndAgreesOnArguments) {
  CNotice hub;
  std::string log;
  EXPECT_FALSE(hub.Listeners(7).has_value());
  // A's second block replaces its first, A keeping its place (the blocks run in list order).
  for (const auto& [who, tag] : {std::pair{&kA, '1'}, {&kB, 'b'}, {&kC, 'c'}, {&kA, '2'}})
    hub.Subscribe(7, who, Tag(log, tag));
  // Null subscriber and nil block are ignored (B keeps its block); other events are independent.
  hub.Subscribe(7, nullptr, Tag(log, 'x'));
  hub.Subscribe(7, &kB, Block());
  hub.Subscribe(8, &kA, Tag(log, '8'));
  EXPECT_EQ((std::tuple{hub.Post(7), hub.Post(8), hub.Post(9), log}), std::tuple(3, 1, 0, "2bc8"));

  ListenerRef b = hub.Listeners(7)->at(1);
  hub.Unsubscribe(7, &kB);
  EXPECT_EQ(b->object(), nullptr);  // a deliverer still holding it can tell it is gone
  // B again, an unknown event (no list appears) and a null subscriber: nothing.
  for (const auto& [event, who] : {std::pair{7u, &kB}, {99u, &kA}, {7u, nullptr}})
    hub.Unsubscribe(event, who);
  EXPECT_EQ(Objects(hub, 7), (std::vector<const void*>{&kA, &kC}));
  EXPECT_EQ(hub.Listeners(99), std::nullopt);
  for (const char* who : {&kA, &kC}) hub.Unsubscribe(7, who);
  EXPECT_EQ(hub.Listeners(7), std::vector<ListenerRef>());  // the list stays

  // During a delivery, A subscribes D (new: waits for the next delivery), unsubscribes C
  // (skipped now) and replaces B's block (at once).
  log.clear();
  hub.Subscribe(5, &kA, Block::Of<void()>([&] {
                  log.push_back('a');
                  hub.Subscribe(5, &kD, Tag(log, 'd'));
                  hub.Unsubscribe(5, &kC);
                  hub.Subscribe(5, &kB, Tag(log, 'B'));
                }));
  hub.Subscribe(5, &kB, Tag(log, 'b'));
  hub.Subscribe(5, &kC, Tag(log, 'c'));
  EXPECT_EQ((std::tuple{hub.Post(5), log}), std::tuple(2, "aB"));
  EXPECT_EQ(Objects(hub, 5), (std::vector<const void*>{&kA, &kB, &kD}));

  // Blocks of value and const reference parameters alike take what is posted (const references
  // were once refused); which blocks take part is the blocks' own matter (see Block::InvokeWith).
  int total = 0;
  std::string text;
  hub.Subscribe(1, &kA, Block::Of<void(int)>([&](int v) { total += v; }));
  hub.Subscribe(1, &kC, Block::Of<void(const int&)>([&](const int& v) { total += 10 * v; }));
  hub.Subscribe(1, &kE, Block::Of<void(int, const std::string&)>([&](int v, const std::string& s) {
                  text += s + std::to_string(v);
                }));
  EXPECT_EQ((std::tuple{hub.Post<int>(1, 2), total}), std::tuple(2, 22));
  EXPECT_EQ((std::tuple{hub.Post(1, 3, std::string("hi")), text}), std::tuple(1, "hi3"));

  // A replaced or removed block may hold captures whose destructors wait for another thread
  // that uses the hub; they must run with the registry's lock free.
  std::vector<bool> lock_free;
  auto probing = [&] {  // a block whose captures, released, note whether the lock was free
    std::shared_ptr<void> probe(nullptr, [&](void*) { lock_free.push_back(LockIsFree(hub)); });
    return Block::Of<void()>([probe] {});
  };
  hub.Subscribe(4, &kA, probing());
  hub.Subscribe(4, &kA, probing());  // the first probe goes
  hub.Unsubscribe(4, &kA);           // the second
  EXPECT_EQ(lock_free, (std::vector<bool>{true, true}));

  // So does delivery when a block throws.
  hub.Subscribe(3, &kA, Block::Of<void()>([] { throw std::runtime_error("block"); }));
  EXPECT_THROW(hub.Post(3), std::runtime_error);
  EXPECT_TRUE(LockIsFree(hub));
}

TEST(CNotice, ConcurrentSubscribeUnsubscribeAndDeliver) {
  CNotice hub;
  std::vector<char> subscribers(4 * 8);
  std::atomic<long> calls{0};
  testing::OnThreads(4, [&](int t) {
    for (int r = 0; r < 300; ++r) {
      const void* me = &subscribers[t * 8 + r % 8];
      hub.Subscribe(11, me, Block::Of<void(int)>([&](int) { ++calls; }));
      hub.Post<int>(11, r);
      if (r % 3 == 0) hub.Unsubscribe(11, me);
    }
  });
  // Each subscriber stands at most once, whatever the interleaving, and none detached.
  std::vector<const void*> objects = Objects(hub, 11);
  std::ranges::sort(objects);
  EXPECT_GT(calls.load(), 0);
  EXPECT_EQ(std::ranges::adjacent_find(objects), objects.end());
  EXPECT_EQ(std::ranges::count(objects, nullptr), 0);
}

}  // namespace
}  // namespace kelvane
