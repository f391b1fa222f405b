// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/internal/no_destructor.h
//
// Process-wide objects that are never destroyed: worker threads and other statics' destructors
// may still use them while the process exits. The object lives in static storage, so making it
// allocates nothing beyond what its own constructor does.
#pragma once

#include <new>
#include <utility>

namespace kelvane::platform::internal {

template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;
  ~NoDestructor() = default;  // the object is left alone

  T& operator*() noexcept { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() noexcept { return &**this; }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace kelvane::platform::internal
