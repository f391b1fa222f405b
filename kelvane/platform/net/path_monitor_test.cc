#include "kelvane/platform/net/path_monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kelvane::platform {
namespace {

TEST(PathMonitor, ReadsOnlyTheFlagsItDefines) {
  const auto flags = ReadPathFlags();
  ASSERT_TRUE(flags.has_value()) << "rtnetlink answers on Linux";
  EXPECT_EQ(*flags & ~(kPathReachable | kPathConnectionRequired | kPathIsWWAN), 0u);
  // Reachable and connection-required exclude each other; WWAN only comes with reachable.
  EXPECT_NE(*flags & (kPathReachable | kPathConnectionRequired),
            kPathReachable | kPathConnectionRequired);
  if ((*flags & kPathIsWWAN) != 0) {
    EXPECT_NE(*flags & kPathReachable, 0u);
  }
  auto monitor = PathMonitor::Create();
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(monitor->CurrentFlags(), flags);
}

TEST(PathMonitor, StartsOnceAndStopsIdempotently) {
  auto monitor = PathMonitor::Create();
  auto callback = [](const PathMonitor&, uint32_t) {};
  EXPECT_FALSE(monitor->Start(nullptr, callback));
  EXPECT_FALSE(monitor->Start(MainQueue(), PathMonitor::Callback()));
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
  const auto end = DispatchClock::now() + std::chrono::seconds(5);
  while (!watch.expired() && DispatchClock::now() < end) {
    RunMainQueueFor(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(watch.expired());
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

}  // namespace
}  // namespace kelvane::platform
