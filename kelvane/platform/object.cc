#include "kelvane/platform/object.h"

namespace kelvane::platform {

Object::Object() noexcept = default;

Object::~Object() = default;

bool Object::SetAssociated(const void* key, std::shared_ptr<const void> value) noexcept {
  std::shared_ptr<const void> old;
  try {
    std::lock_guard lock(slots_mutex_);
    if (value == nullptr) {
      auto it = slots_.find(key);
      if (it == slots_.end()) return true;
      old = std::move(it->second);
      slots_.erase(it);
    } else {
      auto& slot = slots_[key];
      old = std::exchange(slot, std::move(value));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  // `old` is released here, outside the lock: its destructor may run code (a block's captures)
  // that touches this object's slots again.
  return true;
}

std::shared_ptr<const void> Object::Associated(const void* key) const noexcept {
  std::lock_guard lock(slots_mutex_);
  auto it = slots_.find(key);
  return it == slots_.end() ? nullptr : it->second;
}

}  // namespace kelvane::platform
