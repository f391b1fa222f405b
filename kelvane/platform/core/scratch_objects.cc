// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/internal/scratch_objects.h"

#include <iterator>
#include <new>
#include <string_view>
#include <type_traits>

#include "kelvane/platform/core/thread_dictionary.h"

namespace kelvane::platform::internal {
namespace {

constexpr std::u16string_view kStringPrefix = u"ZQ3STR";
constexpr std::u16string_view kDataPrefix = u"ZQ3DATA";
constexpr std::u16string_view kKeyBufferKey = kStringPrefix;
// "ZQ3DATA" and the ten digits of the largest index: reserved up front, so that writing a key
// into the buffer never allocates afterwards.
constexpr std::size_t kLongestKey = kDataPrefix.size() + 10;

// Rewrites `key` as prefix followed by the decimal index. Never allocates when the key buffer
// has the capacity reserved at its creation.
void FormKey(String& key, std::u16string_view prefix, uint32_t index) {
  char16_t digits[10];
  std::size_t n = 0;
  do {
    digits[std::size(digits) - ++n] = static_cast<char16_t>(u'0' + index % 10);
    index /= 10;
  } while (index != 0);
  key.clear();
  key.append(prefix);
  key.append(digits + std::size(digits) - n, n);
}

// The key buffer of the calling thread, created (empty) when missing; nullptr when there is no
// dictionary or memory ran out.
String* EnsureKeyBuffer(ThreadDictionary& dictionary) noexcept {
  if (String* key = dictionary.FindString(kKeyBufferKey)) return key;
  String* key = dictionary.SetString(kKeyBufferKey);
  if (key == nullptr) return nullptr;
  try {
    key->reserve(kLongestKey);
  } catch (const std::bad_alloc&) {
    // Still usable: forming a key will then try to grow it and may fail on its own.
  }
  return key;
}

template <typename T>
void Reserve(std::u16string_view prefix, uint32_t n) noexcept {
  ThreadDictionary* dictionary = ThreadDictionary::Current();
  if (dictionary == nullptr) return;
  String* key = EnsureKeyBuffer(*dictionary);
  if (key == nullptr || n > kMaxScratchObjects) return;
  try {
    for (uint32_t index = 0; index < n; ++index) {
      FormKey(*key, prefix, index);
      T* object;
      if constexpr (std::is_same_v<T, String>) {
        object = dictionary->SetString(*key);
      } else {
        object = dictionary->SetData(*key);
      }
      if (object == nullptr) return;
    }
  } catch (const std::bad_alloc&) {
    // Out of memory while forming a key: the entries made so far stay, as documented.
  }
}

// What earlier fetches on this thread found, kept while the dictionary's generation stays the
// same. A sort that compares through CompareNoCase fetches two objects per comparison; the map
// lookups would cost more than the comparison itself.
constexpr uint32_t kCachedIndexes = 8;
struct FetchCache {
  uint64_t generation = UINT64_MAX;
  String* key = nullptr;
  String* strings[kCachedIndexes] = {};
  Data* buffers[kCachedIndexes] = {};
};
// Trivially destructible: still usable, though never needed, while the thread tears down.
thread_local FetchCache t_cache;

template <typename T>
T* Lookup(ThreadDictionary& dictionary, std::u16string_view key) noexcept {
  if constexpr (std::is_same_v<T, String>) {
    return dictionary.FindString(key);
  } else {
    return dictionary.FindData(key);
  }
}

template <typename T>
T* Fetch(std::u16string_view prefix, uint32_t index) noexcept {
  ThreadDictionary* dictionary = ThreadDictionary::Current();
  if (dictionary == nullptr) return nullptr;
  FetchCache& cache = t_cache;
  if (cache.generation != dictionary->Generation()) {
    cache = FetchCache();
    cache.generation = dictionary->Generation();
  }
  if (cache.key == nullptr) cache.key = dictionary->FindString(kKeyBufferKey);
  if (cache.key == nullptr) return nullptr;
  T** slot = nullptr;
  if (index < kCachedIndexes) {
    if constexpr (std::is_same_v<T, String>) {
      slot = &cache.strings[index];
    } else {
      slot = &cache.buffers[index];
    }
    if (*slot != nullptr) return *slot;
  }
  try {
    FormKey(*cache.key, prefix, index);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  T* found = Lookup<T>(*dictionary, *cache.key);
  if (slot != nullptr) *slot = found;
  return found;
}

}  // namespace

bool ScratchStringPair(String** first, String** second) noexcept {
  *first = *second = nullptr;
  // The common case, a comparator called over and over: both answered by the cache at once.
  ThreadDictionary* dictionary = ThreadDictionary::Current();
  if (dictionary == nullptr) return false;
  const FetchCache& cache = t_cache;
  if (cache.generation == dictionary->Generation() && cache.strings[0] != nullptr &&
      cache.strings[1] != nullptr) {
    *first = cache.strings[0];
    *second = cache.strings[1];
    return true;
  }
  String* a = Fetch<String>(kStringPrefix, 0);
  String* b = Fetch<String>(kStringPrefix, 1);
  if (a == nullptr || b == nullptr) return false;
  *first = a;
  *second = b;
  return true;
}

void ReserveScratchStrings(std::uint32_t n) noexcept { Reserve<String>(kStringPrefix, n); }

void ReserveScratchData(std::uint32_t n) noexcept { Reserve<Data>(kDataPrefix, n); }

String* ScratchString(std::uint32_t index) noexcept { return Fetch<String>(kStringPrefix, index); }

Data* ScratchData(std::uint32_t index) noexcept { return Fetch<Data>(kDataPrefix, index); }

}  // namespace kelvane::platform::internal
