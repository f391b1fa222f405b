// kelvane/platform/codecs/png.h
//
// PNG through libpng. Decoding takes every PNG colour type and depth (palettes, grey, 16-bit
// samples reduced to 8 bits, transparency chunks) into the working format: 0x2002 rasters
// (premultiplied B, G, R, A) when the file has alpha, 0x2006 when it has none.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/graphics/raster.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// True when `bytes` start with the PNG signature.
[[nodiscard]] KELVANE_EXPORT bool IsPNG(std::span<const std::uint8_t> bytes) noexcept;

// The picture of a PNG file; null for bad or truncated data and for pictures over the decoded
// size limit (codecs/limits.h).
[[nodiscard]] KELVANE_EXPORT RasterRef DecodePNG(std::span<const std::uint8_t> bytes) noexcept;

// A PNG file of the raster: 8-bit RGBA (alpha divided out) when it has alpha, RGB when it is
// opaque, grey for grey rasters without alpha. nullopt when memory runs out.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> EncodePNG(const Raster& raster) noexcept;

}  // namespace kelvane::platform
