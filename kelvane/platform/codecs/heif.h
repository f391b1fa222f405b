// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/heif.h
//
// HEIC and AVIF, read only, through libheif (HEVC pictures decoded by libde265, AV1 by libaom). The
// file's primary picture is read; its size, as displayed, is checked against the decoded-size limit
// (codecs/limits.h) before decoding, and libheif is told the same limit before it reads the file,
// so the work of a decode stays in proportion to the picture the file declares, which is capped.
// Pictures of more than 8 bits a sample are reduced to 8 bits. The result is a 0x2002 raster
// (premultiplied B, G, R, A) when the picture has alpha, 0x2006 when it has none.
//
// The format's own transformations (turns, mirrors and the clean aperture's crop) are applied by
// libheif, so the raster is upright and its orientation is "up". An EXIF orientation stored in
// the file is not applied again: where the two disagree, the format's transformations win.
//
// libde265 writes a line to the standard error for some damaged HEVC data ("SPS error: ..."):
// Debian 12's libheif has no other HEVC decoder, and libde265 no way to turn it off.
//
// Builds made with the CMake option KELVANE_WITH_HEIF OFF have no libheif: IsHEIF() still
// recognises the files, and ReadHEIF() refuses them (kUnsupported).
//
// Threads: any thread; nothing is shared. libheif is asked to start no threads of its own for
// the tiles of a picture; the codecs behind it may use threads during a decode, ended by its
// return.
#pragma once

#include <cstdint>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::platform {

// True when `bytes` start with an ISO media file-type box whose major or compatible brands name
// a HEIF picture (heic, heix, heim, heis, hevc, hevx, mif1, msf1, avif or avis).
[[nodiscard]] KELVANE_EXPORT bool IsHEIF(std::span<const std::uint8_t> bytes) noexcept;

// True when this build reads HEIC and AVIF pictures (built with KELVANE_WITH_HEIF).
[[nodiscard]] KELVANE_EXPORT bool HEIFReadable() noexcept;

// The primary picture of a HEIC or AVIF file, upright; kMalformed for bad or truncated data,
// kUnsupported for what is not a HEIF picture, a feature libheif does not decode, or a build
// without HEIF support, kTooLarge for a picture over the decoded-size limit (codecs/limits.h),
// kIo when memory runs out.
[[nodiscard]] KELVANE_EXPORT Result<RasterRef> ReadHEIF(
    std::span<const std::uint8_t> bytes) noexcept;

}  // namespace kelvane::platform
