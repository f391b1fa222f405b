// SPDX-License-Identifier: Apache-2.0
// kelvane/runtime/notice.h
//
// CNotice: the process-wide registry of event subscriptions. For each 32-bit event id it keeps,
// in the order of their first subscription, one Listener per subscriber identity, each carrying
// the block that subscriber registered. The registry's shape, order and lock are what a deliverer
// relies on: Deliver() walks the list of an event under the registry's lock, in order, and skips
// listeners that were unsubscribed meanwhile.
//
// Blocks are platform::Block values: subscribers and deliverer agree on the arguments by the
// block's parameter types. Post() hands its arguments to blocks that take them by value or by
// const reference alike; a block of other parameter types is not called, never cast.
//
// Ownership: the registry owns its lists and listeners; a subscriber is never retained (only its
// address is kept), so it must unsubscribe before it is destroyed. A list, once made for an event
// id, stays in the map even when empty.
//
// Threads: every member may be called from any thread. One recursive lock guards the map; it is
// held while Deliver invokes blocks, so a block may subscribe or unsubscribe (on its own thread)
// without deadlock, while deliveries from several threads run one at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/object.h"

namespace kelvane {

// One subscription: a subscriber identity and its block.
class KELVANE_EXPORT Listener : public platform::Object {
 public:
  Listener() noexcept = default;
  ~Listener() override;  // clears the block first

  // The subscriber's identity, compared by address and never dereferenced; null once the
  // listener was unsubscribed.
  [[nodiscard]] const void* object() const noexcept { return object_.load(); }
  void setObject(const void* object) noexcept { object_.store(object); }

  // The block (a copy: blocks are immutable and shared).
  [[nodiscard]] platform::Block block() const noexcept;
  void setBlock(platform::Block block) noexcept;

 private:
  std::atomic<const void*> object_{nullptr};
  mutable std::mutex block_mutex_;
  platform::Block block_;
};

// Listeners are shared: the same ref is the same listener.
using ListenerRef = std::shared_ptr<Listener>;

// A hub of events: listeners subscribe blocks under event numbers, and deliverers call them.
class KELVANE_EXPORT CNotice {
 public:
  // The process-wide hub, made on the first call from any thread and never destroyed; null only
  // when that first allocation failed.
  [[nodiscard]] static CNotice* Shared() noexcept;

  CNotice() noexcept;
  virtual ~CNotice();
  CNotice(const CNotice&) = delete;
  CNotice& operator=(const CNotice&) = delete;

  // Registers `block` for `subscriber` under `event`: replaces the block of the subscriber's
  // listener, keeping its place, or appends a new listener. A null subscriber or an empty block is
  // ignored; so is the call when memory runs out (nothing half-done stays behind). A replaced
  // block is released after the registry's lock, so its captures' destructors may use the hub
  // from any thread.
  void Subscribe(unsigned int event, const void* subscriber, platform::Block block) noexcept;

  // Removes the subscriber's listener from `event`, first nulling its object so that a deliverer
  // still holding it skips it. Unknown subscribers and events are ignored.
  void Unsubscribe(unsigned int event, const void* subscriber) noexcept;

  // The listeners of `event` in order, or nullopt when no list was ever made for it (an empty
  // vector when one exists but is empty). Also nullopt when memory ran out.
  [[nodiscard]] std::optional<std::vector<ListenerRef>> Listeners(
      unsigned int event) const noexcept;

  // Delivery: under the lock, calls `visit` for each listener of `event` whose object is not
  // null, in list order. The walk covers the listeners present when it began; those unsubscribed
  // during it are skipped, those subscribed during it wait for the next delivery. Returns the
  // listeners visited (0 also when memory ran out). An exception thrown by `visit` passes on
  // to the caller, with the lock released.
  unsigned int Deliver(unsigned int event, const std::function<void(const Listener&)>& visit) const;

  // Delivery with arguments: invokes each listener's block whose parameters are Args, each
  // taken by value or by const reference (void(int, const std::string&) for Post<int,
  // std::string>; see platform::Block::InvokeWith). Blocks of other parameter types, of
  // non-const reference parameters or with a result are not called. Returns the number of
  // blocks invoked. Exceptions from the blocks pass on as in Deliver.
  template <typename... Args>
  unsigned int Post(unsigned int event, const Args&... args) const {
    unsigned int invoked = 0;
    Deliver(event, [&](const Listener& listener) {
      if (listener.block().InvokeWith(args...)) ++invoked;
    });
    return invoked;
  }

  // The registry's lock, for a deliverer that walks Listeners() itself (take it around the walk).
  [[nodiscard]] std::recursive_mutex& Lock() const noexcept { return mutex_; }

 private:
  mutable std::recursive_mutex mutex_;
  std::unordered_map<unsigned int, std::vector<ListenerRef>> map_;
};

}  // namespace kelvane
