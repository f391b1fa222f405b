// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/png.h
//
// PNG. Decoding takes every PNG colour type and depth (palettes, grey, 16-bit samples reduced
// to 8 bits, transparency chunks) into the working format: 0x2002 rasters (premultiplied B, G,
// R, A) when the file has alpha, 0x2006 when it has none. The common files (8-bit grey, RGB and
// their alpha forms, not interlaced, with nothing to convert) are inflated in one piece by
// libdeflate and unfiltered here; every other file, and any file that is not plainly sound, is
// read by libpng, so both readers take and refuse the same files.
//
// A palette picture may hold indices past the last entry of its palette: such a file is not
// refused, and those pixels come out opaque black, as the common decoders show them: no entry of
// a transparency chunk reaches past the palette, and nothing of the memory before shows through.
//
// Samples are taken as sRGB-encoded unless the file says otherwise: a gAMA chunk (without an
// sRGB chunk) is honoured, and a file with neither, 16-bit ones included, is read as it is
// stored. Only the chunks that make the picture are read (the header, palette, transparency,
// gamma and image data); text, profiles, EXIF and every other ancillary chunk are skipped
// unread, so that they cost no memory and no more time than their bytes take to pass.
//
// Encoding is one pass: rows filtered by Up (the first by Sub), then libdeflate's fastest level
// over the whole image data, written as a single stream.
//
// Threads: any thread; nothing is shared. EncodePNG filters the rows of a large picture in bands
// on the worker pool (dispatch/apply.h), unless a KeepOnThisThread lives on the calling thread;
// the file is the same byte for byte either way.
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

// The sides a PNG file declares, from its header chunk alone (its checksum checked): kMalformed
// when there is no sound header, kTooLarge over the decoded-size limit. The rest of the file is
// not looked at, so a file may still be refused when read.
[[nodiscard]] KELVANE_EXPORT Result<PixelSize> ReadPNGSize(
    std::span<const std::uint8_t> bytes) noexcept;

// ReadPNG() reduced to `size` pixels, each side held to 1 .. the declared side (never enlarged).
// The rows are read one at a time and averaged over areas as they come (ResampleOriented()'s
// arithmetic, graphics/pixel_kernels.h), so memory follows the result, not the picture, and the
// pixels are exactly those of the whole picture reduced by ResampleOriented(). An interlaced
// picture, which comes in passes over all of it, is read whole first; a picture kept at its
// size is read by ReadPNG(). Limits and reasons are ReadPNG()'s.
[[nodiscard]] KELVANE_EXPORT Result<RasterRef> ReadPNG(std::span<const std::uint8_t> bytes,
                                                       PixelSize size) noexcept;

// ReadPNG() as a raster or null.
[[nodiscard]] KELVANE_EXPORT RasterRef DecodePNG(std::span<const std::uint8_t> bytes) noexcept;

// A PNG file of the raster: 8-bit RGBA (alpha divided out) when it has alpha, RGB when it is
// opaque, grey for grey rasters without alpha. Fails only when memory runs out (kIo).
[[nodiscard]] KELVANE_EXPORT Result<Data> TryEncodePNG(const Raster& raster) noexcept;

// TryEncodePNG() as the file or nullopt.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> EncodePNG(const Raster& raster) noexcept;

}  // namespace kelvane::platform
