// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/net/path_monitor.h"

#include <linux/if.h>
#include <linux/rtnetlink.h>
#include <netlink/netlink.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>
#include <sys/socket.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "kelvane/platform/core/internal/no_destructor.h"

namespace kelvane::platform {
namespace {

// The link type of raw-IP links (no link-layer header), from the kernel's if_arp.h.
constexpr unsigned kLinkTypeRawIP = 519;

struct SocketFree {
  void operator()(nl_sock* s) const noexcept { nl_socket_free(s); }
};
struct CacheFree {
  void operator()(nl_cache* c) const noexcept { nl_cache_free(c); }
};
struct LinkPut {
  void operator()(rtnl_link* l) const noexcept { rtnl_link_put(l); }
};
using Socket = std::unique_ptr<nl_sock, SocketFree>;
using Cache = std::unique_ptr<nl_cache, CacheFree>;
using Link = std::unique_ptr<rtnl_link, LinkPut>;

// A cellular modem shows as the kernel's "wwan" device type, or as a raw-IP link (no link-layer
// header at all), which only modem drivers create.
bool IsWirelessWAN(rtnl_link* link) {
  if (rtnl_link_get_arptype(link) == kLinkTypeRawIP) return true;
  const char* name = rtnl_link_get_name(link);
  if (name == nullptr || *name == '\0' || std::string_view(name).find('/') != std::string::npos ||
      std::string_view(name) == "." || std::string_view(name) == "..") {
    return false;
  }
  std::ifstream uevent(std::string("/sys/class/net/") + name + "/uevent");
  std::string line;
  while (std::getline(uevent, line)) {
    if (line == "DEVTYPE=wwan") return true;
  }
  return false;
}

struct Choice {
  bool found = false;
  uint32_t metric = 0;
  uint32_t flags = 0;
};

void Consider(rtnl_route* route, nl_cache* links, Choice& best, bool& any_default) {
  if (rtnl_route_get_family(route) != AF_INET || rtnl_route_get_table(route) != RT_TABLE_MAIN ||
      rtnl_route_get_type(route) != RTN_UNICAST) {
    return;
  }
  nl_addr* dst = rtnl_route_get_dst(route);
  if (dst != nullptr && nl_addr_get_prefixlen(dst) != 0) return;
  any_default = true;
  const uint32_t metric = rtnl_route_get_priority(route);
  const int hops = rtnl_route_get_nnexthops(route);
  for (int i = 0; i < hops; ++i) {
    rtnl_nexthop* hop = rtnl_route_nexthop_n(route, i);
    if (hop == nullptr) continue;
    Link link(rtnl_link_get(links, rtnl_route_nh_get_ifindex(hop)));
    if (link == nullptr) continue;
    const unsigned flags = rtnl_link_get_flags(link.get());
    if ((flags & IFF_UP) == 0 || (flags & IFF_LOWER_UP) == 0) continue;
    if (best.found && best.metric <= metric) continue;
    best.found = true;
    best.metric = metric;
    best.flags = kPathReachable | (IsWirelessWAN(link.get()) ? kPathIsWWAN : 0);
  }
}

// Never destroyed: a report or a block on the pool may ask for the technology while the process
// exits, after function-local statics made later than the pool are gone.
std::mutex& RadioMutex() {
  static internal::NoDestructor<std::mutex> mutex;
  return *mutex;
}

RadioTechnologyProvider& RadioProvider() {
  static internal::NoDestructor<RadioTechnologyProvider> provider;
  return *provider;
}

}  // namespace

std::optional<uint32_t> ReadPathFlags() noexcept {
  try {
    Socket socket(nl_socket_alloc());
    if (socket == nullptr || nl_connect(socket.get(), NETLINK_ROUTE) < 0) return std::nullopt;
    nl_cache* raw = nullptr;
    if (rtnl_link_alloc_cache(socket.get(), AF_UNSPEC, &raw) < 0) return std::nullopt;
    Cache links(raw);
    raw = nullptr;
    if (rtnl_route_alloc_cache(socket.get(), AF_INET, 0, &raw) < 0) return std::nullopt;
    Cache routes(raw);
    Choice best;
    bool any_default = false;
    for (nl_object* o = nl_cache_get_first(routes.get()); o != nullptr; o = nl_cache_get_next(o)) {
      Consider(reinterpret_cast<rtnl_route*>(o), links.get(), best, any_default);
    }
    if (best.found) return best.flags;
    return any_default ? kPathConnectionRequired : 0u;
  } catch (...) {
    return std::nullopt;
  }
}

// ---- PathMonitor ------------------------------------------------------------------------------

struct PathMonitor::State {
  ~State() {
    if (events != nullptr) nl_socket_free(events);
  }

  // Held while a report runs; Stop takes it to wait for one in progress.
  std::recursive_mutex report_mutex;
  bool stopped = false;
  const PathMonitor* monitor = nullptr;
  Callback callback;
  QueueRef target;

  nl_sock* events = nullptr;
  QueueRef watch_queue;
  std::shared_ptr<ReadSource> source;
  uint32_t last = 0;  // touched only on watch_queue
};

PathMonitor::PathMonitor() noexcept = default;

PathMonitor::~PathMonitor() { Stop(); }

std::unique_ptr<PathMonitor> PathMonitor::Create() noexcept {
  try {
    return std::make_unique<PathMonitor>();
  } catch (...) {
    return nullptr;
  }
}

bool PathMonitor::Start(const QueueRef& queue, Callback callback) noexcept {
  if (queue == nullptr || !callback) return false;
  std::lock_guard lock(mutex_);
  if (state_ != nullptr) return false;
  try {
    auto state = std::make_shared<State>();
    state->monitor = this;
    state->callback = std::move(callback);
    state->target = queue;
    state->events = nl_socket_alloc();
    if (state->events == nullptr) return false;
    nl_socket_disable_seq_check(state->events);
    if (nl_connect(state->events, NETLINK_ROUTE) < 0 ||
        nl_socket_add_memberships(state->events, RTNLGRP_LINK, RTNLGRP_IPV4_ROUTE,
                                  RTNLGRP_IPV4_IFADDR, 0) < 0 ||
        nl_socket_set_nonblocking(state->events) < 0) {
      return false;
    }
    // Subscribed first, read second: a change in between is reported, not lost.
    state->last = ReadPathFlags().value_or(0);
    state->watch_queue = CreateSerialQueue("kelvane.path-monitor");
    if (state->watch_queue == nullptr) return false;
    const int fd = nl_socket_get_fd(state->events);
    // The handler holds the state; Stop cancels the source, which releases it.
    state->source = ReadSource::Create(state->watch_queue, fd, [state, fd] {
      char buffer[16384];
      for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        // Messages are only a sign that something changed: the flags are read afresh. A lost
        // burst (ENOBUFS) is a change too.
        if (n > 0 || (n < 0 && (errno == EINTR || errno == ENOBUFS))) continue;
        break;
      }
      const auto flags = ReadPathFlags();
      if (!flags || *flags == state->last) return;
      state->last = *flags;
      const uint32_t value = *flags;
      state->target->Async([state, value] {
        std::lock_guard report(state->report_mutex);
        if (state->stopped) return;
        state->callback(*state->monitor, value);
      });
    });
    if (state->source == nullptr) return false;
    state_ = std::move(state);
    return true;
  } catch (...) {
    return false;
  }
}

void PathMonitor::Stop() noexcept {
  std::shared_ptr<State> state;
  {
    std::lock_guard lock(mutex_);
    state.swap(state_);
  }
  if (state == nullptr) return;
  {
    std::lock_guard report(state->report_mutex);
    state->stopped = true;
  }
  state->source->Cancel();
}

// ---- radio technology -------------------------------------------------------------------------

void SetRadioTechnologyProvider(RadioTechnologyProvider provider) noexcept {
  std::lock_guard lock(RadioMutex());
  RadioProvider().swap(provider);
}

std::optional<String> CurrentRadioTechnology() noexcept {
  RadioTechnologyProvider provider;
  try {
    {
      std::lock_guard lock(RadioMutex());
      provider = RadioProvider();
    }
    if (!provider) return std::nullopt;
    return provider();
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace kelvane::platform
