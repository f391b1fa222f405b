// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/thread_dictionary.h"

#include <new>

namespace kelvane::platform {
namespace {

// Trivially destructible, so it stays readable after the holder below is destroyed.
thread_local bool t_torn_down = false;

struct Holder {
  ThreadDictionary dictionary;
  ~Holder() { t_torn_down = true; }
};

}  // namespace

ThreadDictionary* ThreadDictionary::Current() noexcept {
  if (t_torn_down) return nullptr;
  thread_local Holder holder;
  return &holder.dictionary;
}

ThreadDictionary::Object* ThreadDictionary::Find(std::u16string_view key) noexcept {
  const auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

bool ThreadDictionary::Contains(std::u16string_view key) const noexcept {
  return entries_.find(key) != entries_.end();
}

String* ThreadDictionary::FindString(std::u16string_view key) noexcept {
  Object* object = Find(key);
  return object == nullptr ? nullptr : std::get_if<String>(object);
}

Data* ThreadDictionary::FindData(std::u16string_view key) noexcept {
  Object* object = Find(key);
  return object == nullptr ? nullptr : std::get_if<Data>(object);
}

template <typename T>
T* ThreadDictionary::Set(std::u16string_view key) noexcept {
  const auto it = entries_.find(key);
  ++generation_;
  if (it != entries_.end()) {
    // emplace destroys the old object first, so its memory is released rather than reused, and
    // constructing an empty String or Data cannot fail.
    return &it->second.template emplace<T>();
  }
  try {
    auto inserted = entries_.emplace(String(key), Object(std::in_place_type<T>));
    return &std::get<T>(inserted.first->second);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

String* ThreadDictionary::SetString(std::u16string_view key) noexcept { return Set<String>(key); }

Data* ThreadDictionary::SetData(std::u16string_view key) noexcept { return Set<Data>(key); }

bool ThreadDictionary::Remove(std::u16string_view key) noexcept {
  const auto it = entries_.find(key);
  if (it == entries_.end()) return false;
  ++generation_;
  entries_.erase(it);
  return true;
}

}  // namespace kelvane::platform
