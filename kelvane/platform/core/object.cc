// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/object.h"

namespace kelvane::platform {

Object::Object() noexcept = default;

Object::~Object() = default;

bool Object::SetAssociated(const void* key, std::any value) noexcept {
  std::any old;
  try {
    std::lock_guard lock(slots_mutex_);
    if (!value.has_value()) {
      auto it = slots_.find(key);
      if (it == slots_.end()) return true;
      old = std::move(it->second);
      slots_.erase(it);
    } else {
      auto& slot = slots_[key];
      old.swap(slot);
      slot.swap(value);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  // `old` is released here, outside the lock: its destructor may run code (a block's captures)
  // that touches this object's slots again.
  return true;
}

std::any Object::Associated(const void* key) const noexcept {
  try {
    std::lock_guard lock(slots_mutex_);
    auto it = slots_.find(key);
    return it == slots_.end() ? std::any() : it->second;
  } catch (...) {
    return std::any();
  }
}

}  // namespace kelvane::platform
