#include "kelvane/runtime/net_reachability.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "kelvane/platform/dispatch.h"
#include "kelvane/testing/main_queue.h"

namespace kelvane {
namespace {

using namespace std::chrono_literals;

TEST(NetworkStatusForFlags, FollowsTheFlagRules) {
  struct Case {
    unsigned int flags;
    int status;
  };
  const Case cases[] = {
      {0x0, 0},  {0x2, 1}, {0x40002, 2}, {0x6, 0},     {0x2E, 1},       {0x3E, 0},    {0x1A, 1},
      {0x16, 0}, {0xA, 1}, {0x22, 1},    {0x40006, 2}, {0xFFFFFFFD, 0}, {0x40000, 0}, {0x7C, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NetworkStatusForFlags(c.flags), c.status) << std::hex << "flags 0x" << c.flags;
  }
}

class NetworkIsSlowTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetRadioTechnologyProvider(nullptr); }
  void SetTechnology(std::optional<String> technology) {
    platform::SetRadioTechnologyProvider([technology] { return technology; });
  }
  CNetReachability monitor_;
};

TEST_F(NetworkIsSlowTest, ByStatus) {
  std::optional<String> name = u"stale";
  monitor_.setStatus(0);
  EXPECT_TRUE(monitor_.networkIsSlow(&name));
  EXPECT_FALSE(name.has_value());
  EXPECT_TRUE(monitor_.networkIsSlow());

  monitor_.setStatus(1);
  SetTechnology(String(platform::kRadioAccessTechnologyGPRS));  // not asked on a local network
  EXPECT_FALSE(monitor_.networkIsSlow(&name));
  EXPECT_EQ(name, u"WiFi");

  monitor_.setStatus(2);
  platform::SetRadioTechnologyProvider(nullptr);  // no technology known: not slow, no name
  EXPECT_FALSE(monitor_.networkIsSlow(&name));
  EXPECT_FALSE(name.has_value());

  // The status read again after asking for the technology decides.
  platform::SetRadioTechnologyProvider([this] {
    monitor_.setStatus(1);
    return std::optional<String>(platform::kRadioAccessTechnologyGPRS);
  });
  EXPECT_FALSE(monitor_.networkIsSlow(&name));
  EXPECT_FALSE(name.has_value());
}

TEST_F(NetworkIsSlowTest, RadioTechnologyTable) {
  struct Row {
    const char16_t* technology;
    bool slow;
    const char16_t* name;
  };
  const Row rows[] = {
      {platform::kRadioAccessTechnologyGPRS, true, u"GPRS"},
      {platform::kRadioAccessTechnologyEdge, true, u"EDGE"},
      {platform::kRadioAccessTechnologyWCDMA, false, u"WCDMA"},
      {platform::kRadioAccessTechnologyHSDPA, false, u"HSDPA"},
      {platform::kRadioAccessTechnologyHSUPA, false, u"HSUPA"},
      {platform::kRadioAccessTechnologyCDMA1x, true, u"CDMA1x"},
      {platform::kRadioAccessTechnologyCDMAEVDORev0, false, u"CDMAEVDORev0"},
      {platform::kRadioAccessTechnologyCDMAEVDORevA, false, u"CDMAEVDORevA"},
      {platform::kRadioAccessTechnologyCDMAEVDORevB, false, u"CDMAEVDORevB"},
      {platform::kRadioAccessTechnologyeHRPD, false, u"eHRPD"},
      {platform::kRadioAccessTechnologyLTE, false, u"LTE"},
      {u"NRNSA", false, u"NRNSA"},  // not in the table: named as reported, not slow
      {u"", false, u""},
  };
  monitor_.setStatus(2);
  for (const Row& row : rows) {
    SetTechnology(String(row.technology));
    std::optional<String> name;
    EXPECT_EQ(monitor_.networkIsSlow(&name), row.slow) << "row " << (&row - rows);
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(*name, row.name);
    EXPECT_EQ(monitor_.networkIsSlow(), row.slow);  // the same answer without a name
  }
}

TEST(ReachabilityCallBack, SetsTheStatusOfItsMonitor) {
  CNetReachability monitor;
  for (const auto& [flags, status] : {std::pair{0x40002u, 2}, {0x2u, 1}, {0x6u, 0}}) {
    ReachabilityCallBack(nullptr, flags, &monitor);
    EXPECT_EQ(monitor.status(), status) << flags;
  }
  ReachabilityCallBack(nullptr, 0x2, nullptr);  // no monitor: nothing
}

TEST(CNetReachability, SharedStartsFromTheKernelState) {
  auto shared = CNetReachability::shared();
  ASSERT_NE(shared, nullptr) << "rtnetlink is available on Linux";
  EXPECT_EQ(shared, CNetReachability::shared());
  const auto flags = platform::ReadPathFlags();
  ASSERT_TRUE(flags.has_value());
  EXPECT_EQ(shared->status(), NetworkStatusForFlags(*flags));
}

// ---- in a network namespace of its own --------------------------------------------------------
//
// The child is this test binary run again with KELVANE_NETNS_CHILD set: it does its work from a
// static initialiser, before main, as a fresh single-threaded process that can leave the parent's
// network namespace. It reports through its exit status.

enum ChildExit {
  kChildPassed = 0,
  kChildNoNamespace = 77,
  kChildNoVeth = 78,
  kChildNoMonitor = 10,
  kChildNotInitiallyDown = 11,
  kChildRouteAddFailed = 12,
  kChildNeverUp = 13,
  kChildRouteDelFailed = 14,
  kChildNeverDown = 15,
  kChildSetupFailed = 16,
};

bool Ip(const std::string& arguments) {
  return std::system(("ip " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

using testing::RunMainUntil;

int NamespaceChild() {
  if (::unshare(CLONE_NEWNET) != 0) return kChildNoNamespace;
  if (!Ip("link add kv0 type veth peer name kv1")) return kChildNoVeth;
  if (!Ip("addr add 192.0.2.1/24 dev kv0") || !Ip("link set kv0 up") || !Ip("link set kv1 up")) {
    return kChildSetupFailed;
  }
  auto monitor = CNetReachability::init();
  if (monitor == nullptr) return kChildNoMonitor;
  if (monitor->status() != 0) return kChildNotInitiallyDown;
  // Carrier on a fresh veth pair comes a moment after "up"; the route waits for nothing.
  if (!Ip("route add default via 192.0.2.2 dev kv0")) return kChildRouteAddFailed;
  if (!RunMainUntil([&] { return monitor->status() == 1; })) return kChildNeverUp;
  if (!Ip("route del default")) return kChildRouteDelFailed;
  if (!RunMainUntil([&] { return monitor->status() == 0; })) return kChildNeverDown;
  return kChildPassed;
}

[[maybe_unused]] const bool kRunAsNamespaceChild = [] {
  if (std::getenv("KELVANE_NETNS_CHILD") != nullptr) std::_Exit(NamespaceChild());
  return false;
}();

TEST(CNetReachability, FollowsTheDefaultRouteInANetworkNamespace) {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  char* const argv[] = {self, nullptr};
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setenv("KELVANE_NETNS_CHILD", "1", 1);
    ::execv(self, argv);
    std::_Exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the namespace child died by signal " << WTERMSIG(status);
  switch (WEXITSTATUS(status)) {
    case kChildNoNamespace:
      GTEST_SKIP() << "creating a network namespace was refused here (unshare needs root or "
                      "CAP_SYS_ADMIN)";
    case kChildNoVeth:
      GTEST_SKIP() << "the namespace allows no veth pair (ip link add ... type veth failed)";
    case kChildPassed:
      break;
    default:
      FAIL() << "the namespace child failed at step " << WEXITSTATUS(status)
             << " (10 monitor, 11 initial status, 12/14 ip route, 13 never 1, 15 never 0, "
                "16 link setup, 127 exec)";
  }
}

}  // namespace
}  // namespace kelvane
