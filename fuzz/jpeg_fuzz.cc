// SPDX-License-Identifier: Apache-2.0
// JPEG decoding and the EXIF orientation on arbitrary bytes of up to a megabyte: never a crash,
// never a picture over the size limit, a reason for every refusal, orientations always 0..7.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/graphics/image_file.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::platform;
  using kelvane::fuzzing::Check;
  const int exif = ExifOrientation({data, size});
  Check(exif >= 0 && exif <= 8);
  const Result<ImageRef> read = ReadImage(std::span<const std::uint8_t>(data, size));
  if (!read) {
    Check(!read.error().message.empty());
    return 0;
  }
  const ImageRef& image = *read;
  Check(image != nullptr);
  const RasterRef& raster = image->raster();
  Check(raster != nullptr && DecodedSizeAllowed(raster->width(), raster->height()));
  Check(image->orientation() >= 0 && image->orientation() <= 7);
  return 0;
}
