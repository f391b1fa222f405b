// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/jpeg.h
//
// JPEG through libjpeg-turbo's TurboJPEG interface. Decoding writes straight into the opaque
// working format (0x2006: B, G, R and a 255 byte); grey, YCbCr and all chroma subsamplings are
// read; a file the library reports anything wrong with (including a warning such as premature
// end of data) is refused rather than shown half grey, and the decode stops at the first such
// report. Files with more than kMaxJPEGScans scans (codecs/limits.h) are refused before
// decoding, so that the work of a decode stays in proportion to the picture it declares.
//
// Encoding quality: q in 0..1 maps to the encoder's 1..100 as max(1, round(q x 100)) (values
// outside 0..1 are clamped, not-a-number reads as 0). Colour pictures use 4:2:0 chroma
// subsampling, grey rasters are written as grey JPEGs. JPEG has no alpha: premultiplied colours
// are written as they are, which shows a transparent picture over black.
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

// True when `bytes` start with a JPEG start-of-image marker.
[[nodiscard]] KELVANE_EXPORT bool IsJPEG(std::span<const std::uint8_t> bytes) noexcept;

// The picture of a JPEG file; kMalformed for bad or truncated data, kUnsupported for what is not
// a JPEG, kTooLarge over the decoded-size limit or the scan limit (codecs/limits.h).
[[nodiscard]] KELVANE_EXPORT Result<RasterRef> ReadJPEG(
    std::span<const std::uint8_t> bytes) noexcept;

// The stored sides a JPEG file declares (its EXIF orientation not applied), from its header
// alone; ReadJPEG()'s reasons for what is not a JPEG, a damaged header, CMYK, or a picture over
// the decoded-size limit. The scans are not counted: a file may still be refused when read.
[[nodiscard]] KELVANE_EXPORT Result<PixelSize> ReadJPEGSize(
    std::span<const std::uint8_t> bytes) noexcept;

// ReadJPEG() reduced to `size` stored pixels, each side held to 1 .. the declared side (never
// enlarged). The picture is decoded at the smallest of the decoder's scales 1/2, 1/4 and 1/8
// whose sides (rounded up) still hold `size`, or whole when none does, and the rest of the way
// averaged over areas, as ResampleOriented() reduces (graphics/pixel_kernels.h). The scaled
// decode is the decoder's own (its reduced inverse transforms), so the pixels are near, not
// equal, to those of the whole picture averaged down. Limits and reasons are ReadJPEG()'s,
// the decoded-size limit checked on the declared picture; memory follows the scaled picture.
[[nodiscard]] KELVANE_EXPORT Result<RasterRef> ReadJPEG(std::span<const std::uint8_t> bytes,
                                                        PixelSize size) noexcept;

// ReadJPEG() as a raster or null.
[[nodiscard]] KELVANE_EXPORT RasterRef DecodeJPEG(std::span<const std::uint8_t> bytes) noexcept;

// The encoder's 1..100 quality for a quality 0..1.
[[nodiscard]] KELVANE_EXPORT int JPEGQuality(double quality) noexcept;

// A JPEG file of the raster at `quality` 0..1; nullopt on failure.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> EncodeJPEG(const Raster& raster,
                                                            double quality) noexcept;

}  // namespace kelvane::platform
