// SPDX-License-Identifier: Apache-2.0
#include "kelvane/colours/color_cache.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <span>
#include <thread>

#include "kelvane/colours/internal/color_cache_contents.h"

namespace kelvane {
namespace {

constexpr unsigned int kCacheLimit = 256;

// A lock for sections of a few dozen instructions: taking it is one atomic exchange and
// releasing it one plain store (a mutex pays an atomic operation for each). A thread that finds
// it taken yields its processor between attempts rather than spinning it away.
class ShortLock {
 public:
  void lock() noexcept {
    while (taken_.exchange(true, std::memory_order_acquire)) {
      do {
        std::this_thread::yield();
      } while (taken_.load(std::memory_order_relaxed));
    }
  }
  void unlock() noexcept { taken_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> taken_{false};
};

// The cache and its lock. Made on first use, so that code running in other static
// initialisers may already ask for colours, and never destroyed: at exit it is only emptied.
// Nothing done under the lock (a lookup, an eviction, building a colour from four numbers, an
// insertion) comes back to the cache, so it need not be recursive; and it is held for a short
// lookup on every hit, the hot path of every drawing call that builds a colour, so it is a
// ShortLock rather than a mutex.
struct ColorCache {
  // An index over s_colors, rebuilt at every change of it: open addressing with linear probing
  // in twice as many slots as the cache can hold, so that a hit is mostly one probe. A binary
  // search over 256 keys costs eight dependent steps, or eight branches that a scattered
  // sequence of requests keeps mispredicting.
  static constexpr unsigned int kSlots = 2 * kCacheLimit;
  struct Slot {
    std::uint32_t key = 0;
    const CachedColor* record = nullptr;  // null: the slot is free
  };

  ShortLock lock;
  TArrayObj<CachedColor, true> s_colors;
  Slot slots[kSlots] = {};
  // Per process, so that which keys share a probe run cannot be planned from outside.
  const std::uint32_t seed = Seed();

  [[nodiscard]] unsigned int Home(std::uint32_t key) const noexcept {
    return ((key ^ seed) * 0x9E3779B1u) >> 23;  // the top 9 bits: 0 .. kSlots - 1
  }

  // The record with `key`, or null.
  [[nodiscard]] const CachedColor* Find(std::uint32_t key) const noexcept {
    // There is always a free slot (at most kCacheLimit of kSlots are taken): the walk ends.
    for (unsigned int i = Home(key);; i = (i + 1) % kSlots) {
      const Slot& slot = slots[i];
      if (slot.record == nullptr) return nullptr;
      if (slot.key == key) return slot.record;
    }
  }

  // After every change of s_colors, under the lock.
  void Changed() noexcept {
    for (Slot& slot : slots) slot = Slot();
    unsigned int indexed = 0;
    for (const CachedColor* record : s_colors.Items()) {
      if (record == nullptr || indexed == kCacheLimit) continue;
      unsigned int i = Home(record->key);
      while (slots[i].record != nullptr) i = (i + 1) % kSlots;
      slots[i] = {record->key, record};
      ++indexed;
    }
  }

  static std::uint32_t Seed() noexcept {
    // Odd, from the clock and the cache's address: distinct enough per process, and free.
    const auto now =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t x = now ^ reinterpret_cast<std::uintptr_t>(&now);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return static_cast<std::uint32_t>(x ^ (x >> 31));
  }
};

void EmptyAtExit() noexcept { internal::ColorCacheClear(); }

// Null only when memory ran out on the very first request; every caller then fails softly.
ColorCache* Cache() noexcept {
  static ColorCache* const cache = [] {
    auto* made = new (std::nothrow) ColorCache;
    if (made != nullptr) std::atexit(EmptyAtExit);
    return made;
  }();
  return cache;
}

std::uint32_t KeyOf(const void* slot) noexcept {
  const CachedColor* record = *static_cast<const CachedColor* const*>(slot);
  return record == nullptr ? 0u : record->key;
}

int Order(std::uint32_t a, std::uint32_t b) noexcept { return (a > b) - (a < b); }

// trunc(x x 255) converted the way an unsigned, saturating float-to-integer conversion does it
// (NaN and negatives give 0), low 8 bits.
std::uint32_t UnsignedByte(double x) noexcept {
  const double v = x * 255.0;
  if (!(v > 0.0)) return 0;
  if (v >= 4294967295.0) return 0xFF;
  return static_cast<std::uint32_t>(v) & 0xFF;
}

// The same for a signed, saturating conversion: NaN gives 0, values beyond the 32-bit range
// stick at its ends.
std::uint32_t SignedByte(double x) noexcept {
  const double v = x * 255.0;
  if (std::isnan(v)) return 0;
  std::int32_t i;
  if (v >= 2147483647.0) {
    i = std::numeric_limits<std::int32_t>::max();
  } else if (v <= -2147483648.0) {
    i = std::numeric_limits<std::int32_t>::min();
  } else {
    i = static_cast<std::int32_t>(v);
  }
  return static_cast<std::uint32_t>(i) & 0xFF;
}

// Byte / 255 in single precision, widened: the form every cached colour is built with, which
// rgba() turns back into exactly the same byte.
double Component(std::uint32_t byte) noexcept {
  return static_cast<double>(static_cast<float>(byte) / 255.0f);
}

ColorRef Build(std::uint32_t key) noexcept {
  return platform::Color::RGB(Component((key >> 16) & 0xFF), Component((key >> 8) & 0xFF),
                              Component(key & 0xFF), Component(key >> 24));
}

}  // namespace

int CachedColor::SearchCachedColors(const void* key, const void* slot) noexcept {
  return Order(*static_cast<const std::uint32_t*>(key), KeyOf(slot));
}

int CachedColor::SortCachedColors(const void* a, const void* b) noexcept {
  return Order(KeyOf(a), KeyOf(b));
}

namespace Create {

ColorRef ColorForRGB(std::uint32_t rgb, double alpha) noexcept {
  const std::uint32_t key = (rgb & 0x00FFFFFFu) | (UnsignedByte(alpha) << 24);
  ColorCache* const cache = Cache();
  if (cache == nullptr) return nullptr;
  std::lock_guard lock(cache->lock);
  TArrayObj<CachedColor, true>& colors = cache->s_colors;
  if (const CachedColor* record = cache->Find(key)) return record->color;

  if (colors.Count() >= kCacheLimit) {
    // Random replacement: no bookkeeping on hits, and any entry may go.
    const unsigned int victim = static_cast<unsigned int>(::random() % kCacheLimit);
    if (colors.Count() > victim) {
      delete *colors.At(victim);
      colors.Delete(victim);
    }
  }

  ColorRef color = Build(key);
  const CachedColor* stored = color == nullptr ? nullptr
                                               : colors.Insert(CachedColor(key, color),
                                                               CachedColor::SortCachedColors, true);
  cache->Changed();  // after the eviction too, which stays done when the insertion fails
  return stored == nullptr ? nullptr : color;
}

ColorRef ColorDynamic(std::uint32_t light, std::uint32_t Dark) noexcept {
  // Resolved through the cache at each resolution, so the dynamic colour itself stays small and
  // its two sides are the same objects every other caller of ColorForRGB gets.
  return platform::Color::Dynamic([light, Dark](platform::Appearance appearance) {
    return ColorForRGB(appearance == platform::Appearance::kDark ? Dark : light, 1.0);
  });
}

std::uint32_t rgba(const platform::Color& color) noexcept {
  const std::optional<platform::ColorComponents> c = color.RGBA();
  if (!c) return 0;
  return SignedByte(c->blue) | (SignedByte(c->green) << 8) | (SignedByte(c->red) << 16) |
         (UnsignedByte(c->alpha) << 24);
}

}  // namespace Create

namespace internal {

std::vector<std::uint32_t> ColorCacheKeys() noexcept {
  ColorCache* const cache = Cache();
  if (cache == nullptr) return {};
  std::lock_guard lock(cache->lock);
  std::vector<std::uint32_t> keys;
  try {
    keys.reserve(cache->s_colors.Count());
  } catch (...) {
    return {};
  }
  for (unsigned int i = 0; i < cache->s_colors.Count(); ++i) {
    keys.push_back(KeyOf(cache->s_colors.At(i)));
  }
  return keys;
}

void ColorCacheClear() noexcept {
  ColorCache* const cache = Cache();
  if (cache == nullptr) return;
  std::lock_guard lock(cache->lock);
  for (CachedColor* record : cache->s_colors) delete record;
  cache->s_colors.Clear();
  cache->Changed();
}

}  // namespace internal
}  // namespace kelvane
