// kelvane/platform/codecs/png.h
//
// PNG through libpng. Decoding takes every PNG colour type and depth (palettes, grey, 16-bit
// samples reduced to 8 bits, transparency chunks) into the working format: 0x2002 rasters
// (premultiplied B, G, R, A) when the file has alpha, 0x2006 when it has none.
//
// Samples are taken as sRGB-encoded unless the file says otherwise: a gAMA chunk (without an
// sRGB chunk) is honoured, and a file with neither, 16-bit ones included, is read as it is
// stored. Only the chunks that make the picture are read (the header, palette, transparency,
// gamma and image data); text, profiles, EXIF and every other ancillary chunk are skipped
// unread, so that they cost no memory and no more time than their bytes take to pass.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

// True when `bytes` start with the PNG signature.
[[nodiscard]] KELVANE_EXPORT bool IsPNG(std::span<const std::uint8_t> bytes) noexcept;

// The picture of a PNG file; kMalformed for bad or truncated data, kUnsupported for what is not
// a PNG, kTooLarge for a picture over the decoded-size limit (codecs/limits.h). Memory and time
// stay in proportion to the declared picture and the file.
[[nodiscard]] KELVANE_EXPORT Result<RasterRef> ReadPNG(
    std::span<const std::uint8_t> bytes) noexcept;

// ReadPNG() as a raster or null.
[[nodiscard]] KELVANE_EXPORT RasterRef DecodePNG(std::span<const std::uint8_t> bytes) noexcept;

// A PNG file of the raster: 8-bit RGBA (alpha divided out) when it has alpha, RGB when it is
// opaque, grey for grey rasters without alpha. nullopt when memory runs out.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> EncodePNG(const Raster& raster) noexcept;

}  // namespace kelvane::platform
