// SPDX-License-Identifier: Apache-2.0
// kelvane/colours/color_cache.h
//
// Colours built from packed numbers, and the process-wide cache that makes a repeated request
// return the same colour object.
//
// A packed colour is 0xAARRGGBB. The constructors take RRGGBB in the low 24 bits of their
// argument (the top byte is ignored) and an alpha that becomes the alpha byte: the low 8 bits
// of trunc(alpha x 255), where negative values and NaN give 0. Alphas that land on one byte
// share one colour; a colour's components are its bytes / 255 in single precision, so the
// alpha of the colour is the quantised byte, never the caller's exact alpha.
//
// The cache `s_colors` keeps at most 256 colours, ordered by packed key. A request that misses
// while it is full evicts one entry chosen by random(); there are no ages or use counts, so a
// hit never writes to the cache. A colour handed out stays valid for its holder after it is
// evicted; the next request for that key then builds a new object.
//
// Ownership: the cache owns one reference to each cached colour; callers receive their own.
// The cache is made on first use and emptied at process exit (it is never destroyed, so a
// thread still asking for colours while the process exits is served).
//
// Threads: every function may be called from any thread. The cache is guarded by one lock that
// covers the lookup, the eviction, the building and the insertion, so two threads
// asking for the same new key get the same object. rgba and ColorDynamic take no lock.
#pragma once

#include <cstdint>
#include <vector>

#include "kelvane/containers/storage.h"
#include "kelvane/export.h"
#include "kelvane/platform/graphics/color.h"

namespace kelvane {

using platform::ColorRef;

// One cache record: the packed key and a reference to the colour built from it.
class KELVANE_EXPORT CachedColor {
 public:
  CachedColor() noexcept = default;  // key 0, no colour
  // The record of `colour` under `packed`.
  CachedColor(std::uint32_t packed, ColorRef colour) noexcept
      : key(packed), color(std::move(colour)) {}
  CachedColor(const CachedColor&) noexcept = default;  // shares the colour object
  // Takes the key and shares the colour object.
  CachedColor& operator=(const CachedColor&) noexcept = default;
  ~CachedColor() = default;

  // Lookup comparator: `key` points at a bare 32-bit packed key, `slot` at an array slot that
  // holds a CachedColor*. Compares the keys as unsigned numbers: -1, 0 or +1. A null record
  // reads as key 0.
  [[nodiscard]] static int SearchCachedColors(const void* key, const void* slot) noexcept;

  // Ordering comparator: both arguments point at slots that hold a CachedColor*. -1, 0 or +1.
  [[nodiscard]] static int SortCachedColors(const void* a, const void* b) noexcept;

  std::uint32_t key = 0;  // the packed key, 0xAARRGGBB
  ColorRef color;         // the colour built from it
};

namespace Create {

// The opaque or translucent colour of `rgb` (RRGGBB, top byte ignored) with the alpha byte of
// `alpha`, from the cache: the same object for the same key while it stays cached.
// Null only when memory ran out (the cache then holds no new entry).
[[nodiscard]] KELVANE_EXPORT ColorRef ColorForRGB(std::uint32_t rgb, double alpha = 1.0) noexcept;

// A new dynamic colour that shows `light` (RRGGBB) in every appearance but the dark one and
// `Dark` in the dark one, both opaque and both taken from the cache each time it is resolved.
// Every call builds a new wrapper. Null only when memory ran out.
[[nodiscard]] KELVANE_EXPORT ColorRef ColorDynamic(std::uint32_t light,
                                                   std::uint32_t Dark) noexcept;

// The packed 0xAARRGGBB value of `color`: each of red, green and blue is the low 8 bits of
// trunc(x x 255) as a signed number, alpha as for the constructors. A dynamic colour is read
// in the current appearance. 0 when the colour has no RGB form, which cannot be told apart from
// transparent black.
[[nodiscard]] KELVANE_EXPORT std::uint32_t rgba(const platform::Color& color) noexcept;

}  // namespace Create
}  // namespace kelvane
