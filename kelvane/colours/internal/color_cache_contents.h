// SPDX-License-Identifier: Apache-2.0
// kelvane/colours/internal/color_cache_contents.h
//
// What the colour cache of kelvane/colours/color_cache.h holds, for the library, its tests and
// the command-line tool; not installed.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvane::internal {

// The keys of the cached colours in stored order, read under the cache lock. Empty when memory
// runs out.
[[nodiscard]] std::vector<std::uint32_t> ColorCacheKeys() noexcept;

// Drops every cached colour, as process exit does. Colours already handed out stay valid.
void ColorCacheClear() noexcept;

}  // namespace kelvane::internal
