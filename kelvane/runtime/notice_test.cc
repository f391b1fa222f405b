#include "kelvane/runtime/notice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::Block;

// Subscribers are identities only; these give distinct addresses.
const char kA = 'A', kB = 'B', kC = 'C', kD = 'D', kE = 'E';

std::vector<const void*> Objects(const CNotice& hub, unsigned int event) {
  std::vector<const void*> objects;
  for (const ListenerRef& l : hub.Listeners(event).value_or(std::vector<ListenerRef>())) {
    objects.push_back(l->object());
  }
  return objects;
}

// Whether another thread can take the hub's lock now.
bool LockIsFree(CNotice& hub) {
  bool got = false;
  std::thread([&] {
    got = hub.Lock().try_lock();
    if (got) hub.Lock().unlock();
  }).join();
  return got;
}

Block Tag(std::string& log, char tag) {
  return Block::Of<void()>([&log, tag] { log.push_back(tag); });
}

TEST(CNotice, KeepsFirstSubscriptionOrderReplacesInPlaceAndDetaches) {
  CNotice hub;
  std::string log;
  EXPECT_FALSE(hub.Listeners(7).has_value());
  hub.Subscribe(7, &kA, Tag(log, '1'));
  hub.Subscribe(7, &kB, Tag(log, 'b'));
  hub.Subscribe(7, &kC, Tag(log, 'c'));
  hub.Subscribe(7, &kA, Tag(log, '2'));  // replaces A's block, A keeps its place
  EXPECT_EQ(Objects(hub, 7), (std::vector<const void*>{&kA, &kB, &kC}));
  EXPECT_TRUE(hub.Post(7) == 3u && log == "2bc") << log;

  // Null subscriber and nil block are ignored; other events are independent.
  hub.Subscribe(7, nullptr, Tag(log, 'x'));
  hub.Subscribe(7, &kB, Block());
  hub.Subscribe(8, &kA, Tag(log, '8'));
  EXPECT_TRUE(Objects(hub, 7).size() == 3u && Objects(hub, 8) == std::vector<const void*>{&kA});
  log.clear();
  EXPECT_TRUE(hub.Post(7) == 3u && log == "2bc") << log;  // B kept its block
  EXPECT_EQ(hub.Post(9), 0u);

  ListenerRef b = hub.Listeners(7)->at(1);
  hub.Unsubscribe(7, &kB);
  EXPECT_EQ(b->object(), nullptr);  // a deliverer still holding it can tell it is gone
  EXPECT_EQ(Objects(hub, 7), (std::vector<const void*>{&kA, &kC}));
  hub.Unsubscribe(7, &kB);   // again: nothing
  hub.Unsubscribe(99, &kA);  // unknown event: nothing, and no list appears
  hub.Unsubscribe(7, nullptr);
  EXPECT_TRUE(!hub.Listeners(99).has_value() && Objects(hub, 7).size() == 2u);
  hub.Unsubscribe(7, &kA);
  hub.Unsubscribe(7, &kC);
  EXPECT_TRUE(hub.Listeners(7).has_value() && hub.Listeners(7)->empty());  // the list stays
}

TEST(CNotice, DeliveryAgreesOnArgumentsByTypeByValueOrConstReference) {
  CNotice hub;
  int total = 0;
  std::string text;
  hub.Subscribe(1, &kA, Block::Of<void(int)>([&](int v) { total += v; }));
  hub.Subscribe(1, &kB,
                Block::Of<void(const std::string&)>([&](const std::string& s) { text += s; }));
  hub.Subscribe(1, &kC, Block::Of<void(const int&)>([&](const int& v) { total += 10 * v; }));
  hub.Subscribe(1, &kD, Block::Of<void(std::string&)>([&](std::string& s) { s = "changed"; }));
  hub.Subscribe(1, &kE, Block::Of<void(int, const std::string&)>([&](int v, const std::string& s) {
                  text += s + std::to_string(v);
                }));
  EXPECT_EQ(hub.Post<int>(1, 2), 2u);  // by value and by const reference alike
  EXPECT_EQ(total, 22);
  const std::string hi = "hi";
  EXPECT_EQ(hub.Post(1, hi), 1u);  // not the block that would change the poster's text
  EXPECT_EQ(hub.Post(1, 3, hi), 1u);
  EXPECT_EQ(text, "hihi3");
  EXPECT_TRUE(hub.Post<double>(1, 1.0) == 0u && total == 22);  // nobody agreed to a double
}

// A replaced or removed block may hold captures whose destructors wait for another thread that
// uses the hub; they must run with the registry's lock free.
TEST(CNotice, ReleasesOldBlocksAndThrowingDeliveriesOutsideTheLock) {
  CNotice hub;
  std::vector<bool> lock_free;
  struct Probe {
    CNotice& hub;
    std::vector<bool>& lock_free;
    ~Probe() { lock_free.push_back(LockIsFree(hub)); }
  };
  auto probing = [&] {
    return Block::Of<void()>([probe = std::make_shared<Probe>(hub, lock_free)] {});
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

TEST(CNotice, BlocksMaySubscribeAndUnsubscribeDuringDelivery) {
  CNotice hub;
  std::string log;
  // A subscribes D (new, waits for the next delivery) and unsubscribes C (skipped now).
  hub.Subscribe(5, &kA, Block::Of<void()>([&] {
                  log.push_back('a');
                  hub.Subscribe(5, &kD, Tag(log, 'd'));
                  hub.Unsubscribe(5, &kC);
                  hub.Subscribe(5, &kB, Tag(log, 'B'));  // replaced: takes effect at once
                }));
  hub.Subscribe(5, &kB, Tag(log, 'b'));
  hub.Subscribe(5, &kC, Tag(log, 'c'));
  EXPECT_TRUE(hub.Post(5) == 2u && log == "aB") << log;
  EXPECT_EQ(Objects(hub, 5), (std::vector<const void*>{&kA, &kB, &kD}));
}

TEST(CNotice, ConcurrentSubscribeUnsubscribeAndDeliver) {
  CNotice hub;
  constexpr int kThreads = 4;
  std::vector<char> subscribers(kThreads * 8);
  std::atomic<long> calls{0};
  testing::OnThreads(kThreads, [&](int t) {
    for (int r = 0; r < 300; ++r) {
      const void* me = &subscribers[t * 8 + r % 8];
      hub.Subscribe(11, me, Block::Of<void(int)>([&](int) { ++calls; }));
      hub.Post<int>(11, r);
      if (r % 3 == 0) hub.Unsubscribe(11, me);
    }
  });
  EXPECT_GT(calls.load(), 0);
  // Each subscriber stands at most once, whatever the interleaving.
  std::vector<const void*> objects = Objects(hub, 11);
  std::sort(objects.begin(), objects.end());
  EXPECT_EQ(std::adjacent_find(objects.begin(), objects.end()), objects.end());
  for (const void* o : objects) EXPECT_NE(o, nullptr);
}

}  // namespace
}  // namespace kelvane
