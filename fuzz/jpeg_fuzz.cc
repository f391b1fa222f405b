// JPEG decoding and the EXIF orientation on arbitrary bytes: never a crash, never a picture
// over the size limit, orientations always 0..7.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::platform;
  using kelvane::fuzzing::Check;
  const int exif = ExifOrientation({data, size});
  Check(exif >= 0 && exif <= 8);
  const ImageRef image = LoadImage(std::span<const std::uint8_t>(data, size));
  if (image == nullptr) return 0;
  const RasterRef& raster = image->raster();
  Check(raster != nullptr && DecodedSizeAllowed(raster->width(), raster->height()));
  Check(image->orientation() >= 0 && image->orientation() <= 7);
  return 0;
}
