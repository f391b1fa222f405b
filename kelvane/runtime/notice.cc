// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/notice.h"

#include <new>

namespace kelvane {

// ---- Listener ---------------------------------------------------------------------------------

Listener::~Listener() {
  // The block goes first, while the listener is still whole: its captures may look at it.
  setBlock(platform::Block());
}

platform::Block Listener::block() const noexcept {
  std::lock_guard lock(block_mutex_);
  return block_;
}

void Listener::setBlock(platform::Block block) noexcept {
  {
    std::lock_guard lock(block_mutex_);
    std::swap(block_, block);
  }
  // The old block is released outside the lock: its captures may run arbitrary code.
}

// ---- CNotice ----------------------------------------------------------------------------------

CNotice* CNotice::Shared() noexcept {
  static CNotice* const shared = new (std::nothrow) CNotice();
  return shared;
}

CNotice::CNotice() noexcept = default;

CNotice::~CNotice() = default;

void CNotice::Subscribe(unsigned int event, const void* subscriber,
                        platform::Block block) noexcept {
  if (subscriber == nullptr || !block) return;
  // Declared before the lock so that they die after it: a replaced block's captures may run
  // code that waits for another thread which takes the lock.
  ListenerRef fresh;
  platform::Block replaced;
  try {
    // Made before taking the lock, so a failed allocation leaves the registry untouched.
    fresh = std::make_shared<Listener>();
    fresh->setObject(subscriber);
    fresh->setBlock(block);
    std::lock_guard lock(mutex_);
    std::vector<ListenerRef>& list = map_[event];
    for (const ListenerRef& listener : list) {
      if (listener->object() == subscriber) {
        replaced = listener->block();
        listener->setBlock(std::move(block));
        return;
      }
    }
    list.push_back(std::move(fresh));
  } catch (...) {
    // Out of memory: the call does nothing (an empty list may have been made, which the
    // registry allows: lists are never removed).
  }
}

void CNotice::Unsubscribe(unsigned int event, const void* subscriber) noexcept {
  if (subscriber == nullptr) return;
  ListenerRef removed;  // released after the lock
  {
    std::lock_guard lock(mutex_);
    auto it = map_.find(event);
    if (it == map_.end()) return;
    std::vector<ListenerRef>& list = it->second;
    for (auto l = list.begin(); l != list.end(); ++l) {
      if ((*l)->object() == subscriber) {
        (*l)->setObject(nullptr);
        removed = std::move(*l);
        list.erase(l);
        break;
      }
    }
  }
}

std::optional<std::vector<ListenerRef>> CNotice::Listeners(unsigned int event) const noexcept {
  try {
    std::lock_guard lock(mutex_);
    auto it = map_.find(event);
    if (it == map_.end()) return std::nullopt;
    return it->second;
  } catch (...) {
    return std::nullopt;
  }
}

unsigned int CNotice::Deliver(unsigned int event,
                              const std::function<void(const Listener&)>& visit) const {
  std::lock_guard lock(mutex_);
  // The walk goes over a copy of the list: a block that subscribes or unsubscribes (the lock is
  // recursive) changes the list itself, which must not move under a running iteration.
  std::vector<ListenerRef> snapshot;
  try {
    auto it = map_.find(event);
    if (it == map_.end()) return 0;
    snapshot = it->second;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  unsigned int visited = 0;
  for (const ListenerRef& listener : snapshot) {
    if (listener->object() == nullptr) continue;  // unsubscribed during this walk
    ++visited;
    visit(*listener);
  }
  return visited;
}

}  // namespace kelvane
