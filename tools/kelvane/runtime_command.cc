// SPDX-License-Identifier: Apache-2.0
// `kelvane net [--watch] [--for SECONDS]`: the network status, the link and whether it is slow;
// with --watch, every change until interrupted.
// Demo step: a notification round trip, and a deferred block cancelled before it runs.
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>

#include "kelvane/platform/dispatch/dispatch.h"
#include "kelvane/platform/net/path_monitor.h"
#include "kelvane/runtime/net_reachability.h"
#include "kelvane/runtime/notice.h"
#include "kelvane/runtime/timer.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"

namespace kelvane::cli {
namespace {

struct NetOptions {
  bool watch = false;
  double seconds = 0;  // 0: until interrupted
};

const char* StatusName(int status) {
  switch (status) {
    case 0:
      return "not reachable";
    case 1:
      return "reachable, local network";
    case 2:
      return "reachable, cellular";
    default:
      return "unknown";
  }
}

void PrintStatus(const CNetReachability& monitor) {
  std::optional<String> link;
  const bool slow = monitor.networkIsSlow(&link);
  std::cout << "status " << monitor.status() << " (" << StatusName(monitor.status()) << ")"
            << ", link " << (link ? Utf8(*link) : "none") << ", " << (slow ? "slow" : "not slow")
            << '\n'
            << std::flush;
}

void OnSignal(int) { platform::StopMainQueue(); }

int RunNet(const NetOptions& o) {
  auto monitor = CNetReachability::shared();
  if (monitor == nullptr)
    throw Failure("net: the network path cannot be watched (rtnetlink refused)");
  PrintStatus(*monitor);
  if (!o.watch) return 0;

  int last = monitor->status();
  auto timer = std::make_shared<GCDTimer>();
  // The status is written on the main queue; a short poll there sees each change as it lands.
  if (!timer->Start(0.05, 0.05, 0.01, platform::MainQueue(), [&] {
        if (monitor->status() != last) {
          last = monitor->status();
          PrintStatus(*monitor);
        }
      })) {
    throw Failure("net: cannot start the watch timer");
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  if (o.seconds > 0) {
    platform::RunMainQueueFor(std::chrono::duration_cast<platform::Nanoseconds>(
        std::chrono::duration<double>(o.seconds)));
  } else {
    platform::RunMainQueue();
  }
  timer->Cancel();
  return 0;
}

}  // namespace

void AddNet(Tool& tool) {
  CLI::App* sub = tool.app.add_subcommand("net", "network reachability: status, link, slowness");
  auto o = std::make_shared<NetOptions>();
  CLI::Option* watch = sub->add_flag("--watch", o->watch, "keep running and print each change");
  sub->add_option("--for", o->seconds,
                  "with --watch: stop after SECONDS (default: when interrupted)")
      ->check(Number(0, 1e9, Low::kExcluded))
      ->needs(watch);
  tool.Runs(sub, [o] { return RunNet(*o); });
}

namespace {

// Event ids of the demo, as an application would number its own.
constexpr unsigned int kQuoteEvent = 1001;

int DemoNotice(DemoContext& context) {
  CNotice* hub = CNotice::Shared();
  if (hub == nullptr) return Fail("no notification hub");
  const char chart = 'c';
  const char ticker = 't';
  auto print = [&context](const char* who) {
    return platform::Block::Of<void(std::string, double)>(
        [&context, who](const std::string& symbol, double bid) {
          context.out << "  " << who << " got " << symbol << " " << bid << '\n';
        });
  };
  hub->Subscribe(kQuoteEvent, &chart, print("chart "));
  hub->Subscribe(kQuoteEvent, &ticker, print("ticker"));
  context.out << "two screens subscribed to the quote event; delivering EURUSD 1.0842\n";
  unsigned int reached = hub->Post<std::string, double>(kQuoteEvent, "EURUSD", 1.0842);
  hub->Unsubscribe(kQuoteEvent, &chart);
  context.out << "the chart unsubscribed; delivering EURUSD 1.0845\n";
  reached += hub->Post<std::string, double>(kQuoteEvent, "EURUSD", 1.0845);
  hub->Unsubscribe(kQuoteEvent, &ticker);
  context.out << reached << " deliveries in all (2 then 1)\n";
  return reached == 3 ? 0 : Fail("the notification round trip went wrong");
}

int DemoDeferred(DemoContext& context) {
  bool ran = false;
  auto block = GCDBlock::initWithBlock([&ran] { ran = true; });
  if (block == nullptr) return Fail("cannot make a deferred block");
  block->runInQueue(platform::MainQueue(), 0.05);
  context.out << "a block is scheduled on the main queue in 50 ms (state " << block->status()
              << ")\n";
  block->cancel();
  context.out << "cancelled before its time (state " << block->status() << ")\n";
  platform::RunMainQueueFor(std::chrono::milliseconds(100));
  context.out << "after 100 ms of the main queue the block " << (ran ? "ran" : "did not run")
              << '\n';
  return ran ? Fail("the cancelled block ran") : 0;
}

}  // namespace

int DemoRuntime(DemoContext& context) {
  const int status = DemoNotice(context);
  return status != 0 ? status : DemoDeferred(context);
}

}  // namespace kelvane::cli
