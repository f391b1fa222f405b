// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/net/path_monitor.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/main_queue.h"

namespace kelvane::platform {
namespace {

TEST(PathMonitor, StartsOnceAndStopsIdempotently) {
  auto monitor = PathMonitor::Create();
  auto callback = [](const PathMonitor&, uint32_t) {};
  ASSERT_TRUE(monitor->Start(MainQueue(), callback));
  EXPECT_FALSE(monitor->Start(MainQueue(), callback));  // already started
  monitor->Stop();
  monitor->Stop();
  EXPECT_TRUE(monitor->Start(MainQueue(), callback));  // a stopped monitor starts again
  // Destroyed while started: it stops itself, and its handler holds nothing that outlives it.
  std::weak_ptr<int> watch;
  {
    auto token = std::make_shared<int>(0);
    watch = token;
    auto other = PathMonitor::Create();
    ASSERT_TRUE(other->Start(MainQueue(), [token](const PathMonitor&, uint32_t) {}));
  }
  EXPECT_TRUE(testing::RunMainUntil([&] { return watch.expired(); }));
}

TEST(RadioTechnology, ComesFromTheInstalledProvider) {
  EXPECT_FALSE(CurrentRadioTechnology().has_value());  // none by default
  SetRadioTechnologyProvider([] { return std::optional<String>(kRadioAccessTechnologyLTE); });
  EXPECT_EQ(CurrentRadioTechnology(), String(kRadioAccessTechnologyLTE));
  SetRadioTechnologyProvider([]() -> std::optional<String> { throw std::runtime_error("modem"); });
  EXPECT_FALSE(CurrentRadioTechnology().has_value());  // a failing provider reads as none
  // Replaced from one thread while read from another.
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) (void)CurrentRadioTechnology();
  });
  for (int i = 0; i < 500; ++i) {
    SetRadioTechnologyProvider([i] { return std::optional<String>(i % 2 ? u"a" : u"b"); });
  }
  stop = true;
  reader.join();
  SetRadioTechnologyProvider(nullptr);
  EXPECT_FALSE(CurrentRadioTechnology().has_value());
}

// ---- in a network namespace of its own --------------------------------------------------------
//
// The child is this test binary run again: it does its work from a static initialiser, before
// main, as a fresh single-threaded process that can leave the parent's network namespace. It
// reports through its exit status.

bool Ip(const std::string& arguments) {
  return std::system(("ip " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// Exit status: 0 passed, 77 no namespace allowed, 78 no veth pair allowed, else the failed step.
int NamespaceChild() {
  if (::unshare(CLONE_NEWNET) != 0) return 77;
  if (!Ip("link add kv0 type veth peer name kv1")) return 78;
  if (!Ip("addr add 192.0.2.1/24 dev kv0") || !Ip("link set kv0 up") || !Ip("link set kv1 up")) {
    return 1;
  }
  auto monitor = PathMonitor::Create();
  std::uint32_t reported = 0xFFFF;
  if (monitor == nullptr || ReadPathFlags() != 0u ||
      !monitor->Start(MainQueue(), [&](const PathMonitor&, uint32_t flags) { reported = flags; })) {
    return 2;
  }
  // Carrier on a fresh veth pair comes a moment after "up"; the route waits for nothing.
  if (!Ip("route add default via 192.0.2.2 dev kv0")) return 3;
  if (!testing::RunMainUntil([&] { return reported == kPathReachable; })) return 4;
  if (!Ip("route del default")) return 5;
  if (!testing::RunMainUntil([&] { return reported == 0; })) return 6;
  return 0;
}

[[maybe_unused]] const bool kNamespaceChild = testing::ChildProcess("netns", NamespaceChild);

TEST(PathMonitor, FollowsTheDefaultRouteInANetworkNamespace) {
  const int status = testing::RunChildProcess("netns");
  if (status == 77 || status == 78) {
    GTEST_SKIP() << "no network namespace or veth pair allowed here (needs CAP_SYS_ADMIN)";
  }
  EXPECT_EQ(status, 0) << "failed step (1 link setup, 2 monitor, 3/5 ip route, 4 never "
                          "reachable, 6 never unreachable, 127 exec, 128+ signal)";
}

}  // namespace
}  // namespace kelvane::platform
