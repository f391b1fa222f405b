// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/internal/more_formats.h"

#include "kelvane/platform/codecs/gif.h"
#include "kelvane/platform/codecs/heif.h"
#include "kelvane/platform/codecs/webp.h"

namespace kelvane::platform::internal {

Result<DecodedPicture> ReadMoreFormats(std::span<const std::uint8_t> bytes) noexcept {
  if (IsWebP(bytes)) return ReadWebPPicture(bytes);
  if (IsGIF(bytes) || IsHEIF(bytes)) {
    // GIF has no orientation; HEIF's own turns are applied by its decoder.
    Result<RasterRef> raster = IsGIF(bytes) ? ReadGIF(bytes) : ReadHEIF(bytes);
    if (!raster) return raster.error();
    return DecodedPicture{std::move(raster).value(), kOrientationUp};
  }
  return Error{ErrorKind::kUnsupported, HEIFReadable()
                                            ? "not a PNG, JPEG, WebP, GIF, HEIC or AVIF picture"
                                            : "not a PNG, JPEG, WebP or GIF picture"};
}

}  // namespace kelvane::platform::internal
