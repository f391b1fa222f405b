// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/thread_dictionary.h
//
// The per-thread dictionary: a map from string keys to mutable objects (UTF-16 strings and
// byte buffers) that belongs to one thread and lives exactly as long as that thread. Library
// code keeps per-thread state here instead of in its own thread_local variables, so that all of
// a thread's borrowed objects are found (and torn down) in one place.
//
// Ownership: the dictionary owns its keys (copies of the caller's text) and its objects. A
// pointer returned by Find*/Set borrows the object; it stays valid until the entry is removed,
// the thread ends, or Set stores under the same key again (Set replaces the object in place, so
// the old pointer then addresses the new, empty object rather than freed memory).
//
// Threads: Current() gives every thread its own dictionary and takes no lock. A dictionary and
// the objects in it must only be touched by the thread that owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>
#include <variant>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// One thread's dictionary of strings and byte buffers under string keys.
class KELVANE_EXPORT ThreadDictionary {
 public:
  // What an entry holds: a string or a byte buffer.
  using Object = std::variant<String, Data>;

  ThreadDictionary() noexcept = default;
  ThreadDictionary(const ThreadDictionary&) = delete;
  ThreadDictionary& operator=(const ThreadDictionary&) = delete;

  // The calling thread's dictionary, made empty on the thread's first call. nullptr while the
  // thread's storage is being torn down at thread exit (a destructor running then sees "no
  // dictionary" rather than a destroyed one).
  [[nodiscard]] static ThreadDictionary* Current() noexcept;

  // Whether an entry is stored under `key`. Allocates nothing.
  [[nodiscard]] bool Contains(std::u16string_view key) const noexcept;
  // The string (byte buffer) stored under `key`; nullptr when there is none or the entry holds
  // the other kind of object. Allocate nothing.
  [[nodiscard]] String* FindString(std::u16string_view key) noexcept;
  // FindString() for a byte buffer.
  [[nodiscard]] Data* FindData(std::u16string_view key) noexcept;

  // Stores a new, empty string (byte buffer) under a copy of `key`, destroying what was stored
  // there before. Returns the new object, or nullptr when memory ran out; the dictionary is then
  // unchanged.
  [[nodiscard]] String* SetString(std::u16string_view key) noexcept;
  // SetString() for a byte buffer.
  [[nodiscard]] Data* SetData(std::u16string_view key) noexcept;

  // Removes and destroys the entry under `key`; false when there was none.
  bool Remove(std::u16string_view key) noexcept;

  // The number of entries.
  [[nodiscard]] std::size_t Count() const noexcept { return entries_.size(); }

  // A number that changes whenever an entry is added, replaced or removed. A caller may keep
  // pointers it found and use them again while the generation is unchanged.
  [[nodiscard]] uint64_t Generation() const noexcept { return generation_; }

 private:
  // Only typed pointers are handed out: nobody outside can change the kind of an object
  // without going through Set, which Generation() depends on.
  Object* Find(std::u16string_view key) noexcept;
  template <typename T>
  T* Set(std::u16string_view key) noexcept;

  // Ordered, so that a lookup by a borrowed view allocates nothing and entries never move.
  std::map<String, Object, std::less<>> entries_;
  uint64_t generation_ = 0;
};

}  // namespace kelvane::platform
