// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/image_file.h
//
// Images from and to files. Loading reads PNG, JPEG, WebP, GIF (the first frame), HEIC and AVIF,
// told apart by the file's signature, not by its name; the file's orientation (a JPEG's or a
// WebP's EXIF orientation) becomes the image's orientation (the raster is kept as stored), and
// HEIF's own turns are applied by its decoder (codecs/heif.h). Loaded images have scale 1. A path
// is read only when it names a regular file (a named pipe or a device is refused without a read),
// and a load's memory and time stay in proportion to the file and to the picture it declares
// (codecs/limits.h).
//
// Saving writes the picture upright: an image whose orientation is not up is drawn turned
// first (pixel for pixel) and saved with that raster.
//
// Threads: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/pixels/pixel_layout.h"

namespace kelvane::platform {

// How a read for a target size fits the picture to it.
enum class ReadFit : int {
  kInside = 0,  // the whole picture within the target, as a picture shown whole
  kCover = 1,   // the picture covering the target, as a picture cropped to fill it
};

// What a read may leave out because the picture will be shown smaller than its pixels
// (ReadImage() and ReadImageFile() below). The target is in displayed pixels, the picture's
// orientation applied; a side of 0 leaves that axis free (both 0, the default, read every pixel).
// The read gives exactly ReadSize() pixels: the decoder skips what the target does not need
// (JPEG at 1/2, 1/4 or 1/8 of its sides whenever that still covers the target, PNG reduced row
// by row as it is inflated) and the rest is averaged over areas (graphics/pixel_kernels.h).
// A picture already within the target is read whole; none is enlarged.
struct ReadOptions {
  std::uint32_t width = 0;         // target displayed width in pixels, 0 for any
  std::uint32_t height = 0;        // target displayed height in pixels, 0 for any
  ReadFit fit = ReadFit::kInside;  // how the picture meets the target
};

// The displayed pixel size a read with `options` gives for a picture whose displayed size is
// width x height: with s = the smaller (kInside) or larger (kCover) of target width / width
// and target height / height over the sides the target gives, the picture itself when s >= 1
// or no side is given, else each side times s rounded to nearest (halves upward), at least 1.
// s is taken as an exact fraction, so the side that sets it comes out as the target's side.
// A picture with a side of 0 is given back as it is; a fit other than the two reads as kInside.
[[nodiscard]] KELVANE_EXPORT PixelSize ReadSize(std::uint32_t width, std::uint32_t height,
                                                const ReadOptions& options) noexcept;

// The displayed size of the picture in `bytes` (its orientation applied), for a caller that
// sizes its target from the picture: read from the header alone for PNG and JPEG (the rest of
// the file is not checked, so a read may still refuse it); other formats are decoded. The
// reasons of ReadImage() otherwise.
[[nodiscard]] KELVANE_EXPORT Result<PixelSize> ReadImageSize(
    std::span<const std::uint8_t> bytes) noexcept;

// Files larger than this are not read (a picture within the decoded-size limit never needs it).
inline constexpr std::uint64_t kMaxImageFileBytes = 512u << 20;

// The image in the bytes of a picture file of any format read here; kUnsupported for anything
// else, and the decoder's reason (codecs/png.h, jpeg.h, webp.h, gif.h, heif.h) for bad data or
// a picture over the limits.
[[nodiscard]] KELVANE_EXPORT Result<ImageRef> ReadImage(
    std::span<const std::uint8_t> bytes) noexcept;
// The image in the regular file at `path`; also the reason the file could not be read
// (missing, not a regular file, over kMaxImageFileBytes, an I/O error).
[[nodiscard]] KELVANE_EXPORT Result<ImageRef> ReadImageFile(const std::string& path) noexcept;
// ReadImage() and ReadImageFile() for a picture to be shown at `options`' target: the image
// has ReadSize() displayed pixels, its orientation kept as in the file (the raster as stored,
// so its sides are the displayed ones exchanged for the transposed orientations), scale 1.
// The limits are those of the whole read, the decoded-size limit checked on the declared
// picture, so a picture refused whole is refused here too. Memory follows the reduced picture
// for JPEG (plus the file's bytes) and PNG that is not interlaced; other pictures are read
// whole first. Options without a side are the plain read.
[[nodiscard]] KELVANE_EXPORT Result<ImageRef> ReadImage(std::span<const std::uint8_t> bytes,
                                                        const ReadOptions& options) noexcept;
[[nodiscard]] KELVANE_EXPORT Result<ImageRef> ReadImageFile(const std::string& path,
                                                            const ReadOptions& options) noexcept;

// ReadImage() at exactly `size` displayed pixels: each side reduced on its own (the aspect is
// not kept), held to 1 .. the picture's side, never enlarged; orientation, scale, limits and
// memory as with options. For a caller whose size comes from a rule of its own rather than
// from ReadSize().
[[nodiscard]] KELVANE_EXPORT Result<ImageRef> ReadImageAtSize(std::span<const std::uint8_t> bytes,
                                                              PixelSize size) noexcept;

// ReadImage() and ReadImageFile() as an image or null.
[[nodiscard]] KELVANE_EXPORT ImageRef LoadImage(std::span<const std::uint8_t> bytes) noexcept;
[[nodiscard]] KELVANE_EXPORT ImageRef LoadImage(const std::string& path) noexcept;

// The raster of `image` turned upright (the raster itself for orientation up); null for an
// image without a raster.
[[nodiscard]] KELVANE_EXPORT RasterRef UprightRaster(const Image& image) noexcept;

// The upright picture encoded as PNG; nullopt when it cannot be encoded.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> PNGData(const Image& image) noexcept;
// The upright picture encoded as JPEG at `quality` 0..1 (see codecs/jpeg.h); nullopt when it
// cannot be encoded.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> JPEGData(const Image& image,
                                                          double quality) noexcept;
// Write the file whole or not at all (WriteFileWhole in core/file_handle.h: a temporary file
// renamed into place, a device written in place, a folder refused), with the reason when the
// picture cannot be encoded or the file cannot be written.
[[nodiscard]] KELVANE_EXPORT Status WritePNGFile(const Image& image,
                                                 const std::string& path) noexcept;
// WritePNGFile() for JPEG at `quality` 0..1.
[[nodiscard]] KELVANE_EXPORT Status WriteJPEGFile(const Image& image, double quality,
                                                  const std::string& path) noexcept;
// WritePNGFile() as true or false.
[[nodiscard]] KELVANE_EXPORT bool SavePNG(const Image& image, const std::string& path) noexcept;
// WriteJPEGFile() as true or false.
[[nodiscard]] KELVANE_EXPORT bool SaveJPEG(const Image& image, double quality,
                                           const std::string& path) noexcept;

}  // namespace kelvane::platform
