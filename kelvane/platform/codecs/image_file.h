// kelvane/platform/codecs/image_file.h
//
// Images from and to files. Loading tells PNG from JPEG by the file's signature, not by its
// name; a JPEG's EXIF orientation becomes the image's orientation (the raster is kept as
// stored). Loaded images have scale 1. Saving writes the picture upright: an image whose
// orientation is not up is drawn turned first (pixel for pixel) and saved with that raster.
//
// Threads: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "kelvane/export.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// Files larger than this are not read (a picture within the decoded-size limit never needs it).
inline constexpr std::uint64_t kMaxImageFileBytes = 512u << 20;

// The image in PNG or JPEG bytes; null for anything else, bad data, or a picture over the
// decoded-size limit.
[[nodiscard]] KELVANE_EXPORT ImageRef LoadImage(std::span<const std::uint8_t> bytes) noexcept;
// The image in a file; null also when the file cannot be read or is too large.
[[nodiscard]] KELVANE_EXPORT ImageRef LoadImage(const std::string& path) noexcept;

// The raster of `image` turned upright (the raster itself for orientation up); null for an
// image without a raster.
[[nodiscard]] KELVANE_EXPORT RasterRef UprightRaster(const Image& image) noexcept;

[[nodiscard]] KELVANE_EXPORT std::optional<Data> PNGData(const Image& image) noexcept;
[[nodiscard]] KELVANE_EXPORT std::optional<Data> JPEGData(const Image& image,
                                                          double quality) noexcept;
// Write the file whole or not at all (a temporary file renamed into place); false on failure.
[[nodiscard]] KELVANE_EXPORT bool SavePNG(const Image& image, const std::string& path) noexcept;
[[nodiscard]] KELVANE_EXPORT bool SaveJPEG(const Image& image, double quality,
                                           const std::string& path) noexcept;

}  // namespace kelvane::platform
