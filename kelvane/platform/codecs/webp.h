// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/webp.h
//
// WebP, read only, through libwebp. Lossy, lossless and extended files are read; the picture is
// decoded straight into the working format: 0x2002 rasters (premultiplied B, G, R, A) when the
// file has alpha, 0x2006 (B, G, R and a 255 byte) when it has none. The sides come from the
// file's header and are checked against the decoded-size limit (codecs/limits.h) before any
// pixel memory is allocated, so the work of a decode stays in proportion to the picture the file
// declares, which is capped.
//
// An animation gives its first frame, placed on the animation's canvas (transparent around it),
// as an animation is shown before it starts. The orientation of an EXIF chunk is not applied to
// the raster: the image loaders (graphics/image_file.h) read it and return it with the picture.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <cstdint>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

// True when `bytes` start with a RIFF header of the WebP form.
[[nodiscard]] KELVANE_EXPORT bool IsWebP(std::span<const std::uint8_t> bytes) noexcept;

// The picture of a WebP file (an animation's first frame); kMalformed for bad or truncated
// data, kUnsupported for what is not a WebP, kTooLarge for a picture over the decoded-size
// limit (codecs/limits.h), kIo when memory runs out.
[[nodiscard]] KELVANE_EXPORT Result<RasterRef> ReadWebP(
    std::span<const std::uint8_t> bytes) noexcept;

}  // namespace kelvane::platform
