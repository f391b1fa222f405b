#include "kelvane/runtime/net_reachability.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/main_queue.h"

namespace kelvane {
namespace {

TEST(NetworkStatusForFlags, FollowsTheFlagRulesAndTheCallBackStoresThem) {
  const std::pair<unsigned int, int> cases[] = {
      {0x0, 0},  {0x2, 1},  {0x40002, 2}, {0x6, 0},     {0x2E, 1},       {0x3E, 0},
      {0x1A, 1}, {0x16, 0}, {0xA, 1},     {0x40006, 2}, {0xFFFFFFFD, 0}, {0x40000, 0},
  };
  CNetReachability monitor;
  for (const auto& [flags, status] : cases) {
    EXPECT_EQ(NetworkStatusForFlags(flags), status) << std::hex << "flags 0x" << flags;
    ReachabilityCallBack(nullptr, flags, &monitor);
    EXPECT_EQ(monitor.status(), status);
  }
  ReachabilityCallBack(nullptr, 0x2, nullptr);  // no monitor: nothing
}

TEST(CNetReachability, NetworkIsSlowByStatusAndRadioTechnology) {
  auto technology = [](std::optional<String> name) {
    platform::SetRadioTechnologyProvider([name] { return name; });
  };
  CNetReachability monitor;
  std::optional<String> name = u"stale";
  EXPECT_TRUE(monitor.networkIsSlow(&name));  // status 0
  EXPECT_FALSE(name.has_value());
  monitor.setStatus(1);
  technology(String(platform::kRadioAccessTechnologyGPRS));  // not asked on a local network
  EXPECT_FALSE(monitor.networkIsSlow(&name));
  EXPECT_EQ(name, u"WiFi");

  monitor.setStatus(2);
  const std::tuple<std::u16string_view, bool, std::u16string_view> rows[] = {
      {platform::kRadioAccessTechnologyGPRS, true, u"GPRS"},
      {platform::kRadioAccessTechnologyCDMA1x, true, u"CDMA1x"},
      {platform::kRadioAccessTechnologyLTE, false, u"LTE"},
      {u"NRNSA", false, u"NRNSA"},  // not in the table: named as reported, not slow
  };
  for (const auto& [reported, slow, expected] : rows) {
    technology(String(reported));
    EXPECT_EQ(monitor.networkIsSlow(&name), slow);
    EXPECT_EQ(name, String(expected));
    EXPECT_EQ(monitor.networkIsSlow(), slow);  // the same answer without a name
  }
  technology(std::nullopt);  // no technology known: not slow, no name
  EXPECT_FALSE(monitor.networkIsSlow(&name));
  EXPECT_FALSE(name.has_value());
  // The status read again after asking for the technology decides.
  platform::SetRadioTechnologyProvider([&monitor] {
    monitor.setStatus(1);
    return std::optional<String>(platform::kRadioAccessTechnologyGPRS);
  });
  EXPECT_FALSE(monitor.networkIsSlow(&name));
  EXPECT_FALSE(name.has_value());
  platform::SetRadioTechnologyProvider(nullptr);
}

// ---- in a network namespace of its own --------------------------------------------------------
//
// The child is this test binary run again with KELVANE_NETNS_CHILD set: it does its work from a
// static initialiser, before main, as a fresh single-threaded process that can leave the parent's
// network namespace. It reports through its exit status.

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
  auto monitor = CNetReachability::init();
  if (monitor == nullptr || monitor->status() != 0) return 2;
  // Carrier on a fresh veth pair comes a moment after "up"; the route waits for nothing.
  if (!Ip("route add default via 192.0.2.2 dev kv0")) return 3;
  if (!testing::RunMainUntil([&] { return monitor->status() == 1; })) return 4;
  if (!Ip("route del default")) return 5;
  if (!testing::RunMainUntil([&] { return monitor->status() == 0; })) return 6;
  return 0;
}

[[maybe_unused]] const bool kNamespaceChild = testing::ChildProcess("netns", NamespaceChild);

TEST(CNetReachability, FollowsTheDefaultRouteInANetworkNamespace) {
  const int status = testing::RunChildProcess("netns");
  if (status == 77 || status == 78) {
    GTEST_SKIP() << "no network namespace or veth pair allowed here (needs CAP_SYS_ADMIN)";
  }
  EXPECT_EQ(status, 0) << "failed step (1 link setup, 2 monitor, 3/5 ip route, 4 never 1, "
                          "6 never 0, 127 exec, 128+ signal)";
}

}  // namespace
}  // namespace kelvane
