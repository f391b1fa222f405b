// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/gif.h
//
// GIF, read only, through giflib. The first frame is composed on the file's logical screen as a
// viewer shows it before an animation starts: the screen is transparent, the frame is placed at
// its position and cut to the screen where it reaches past it, its transparent colour stays
// transparent, and interlaced rows are put in their places. The result is a 0x2006 raster when
// the frame covers the screen and has no transparent colour, a 0x2002 raster otherwise. Colour
// indexes beyond the frame's colour table read as opaque black.
//
// Bounds: the screen and the frame are each checked against the decoded-size limit
// (codecs/limits.h) before anything is allocated for them, so the work of a decode stays in
// proportion to the declared picture; at most kMaxGIFBlocksBeforeImage records and extension
// blocks are read before the first frame; a file cut short is refused rather than shown in part.
//
// Threads: any thread; nothing is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

// Records and extension sub-blocks read before the first frame at most: a file that has more
// is refused (kTooLarge). Encoders write a handful (a comment, the loop count, the frame's
// control block); a colour profile of a megabyte takes some 4000.
inline constexpr std::size_t kMaxGIFBlocksBeforeImage = 65536;

// True when `bytes` start with a GIF87a or GIF89a signature.
[[nodiscard]] KELVANE_EXPORT bool IsGIF(std::span<const std::uint8_t> bytes) noexcept;

// The first frame of a GIF file on its logical screen; kMalformed for bad or truncated data,
// kUnsupported for what is not a GIF, kTooLarge for a screen or frame over the decoded-size
// limit or more blocks than kMaxGIFBlocksBeforeImage before the frame, kIo when memory runs out.
[[nodiscard]] KELVANE_EXPORT Result<RasterRef> ReadGIF(
    std::span<const std::uint8_t> bytes) noexcept;

}  // namespace kelvane::platform
