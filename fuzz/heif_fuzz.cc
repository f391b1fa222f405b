// SPDX-License-Identifier: Apache-2.0
// HEIC and AVIF decoding on arbitrary bytes of up to a megabyte: never a crash or a signal from
// libheif or its decoders, never a picture over the size limit, a reason for every refusal on
// one line, and an upright picture. The seeds in fuzz/corpus/heif_fuzz were written by us with
// libheif 1.15.1: a 24 x 16 HEIC by x265, the same with alpha and a 90-degree turn stored as the
// format's own transformation, and an AVIF by libaom stored mirrored; the pictures are made-up
// gradients.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/codecs/heif.h"
#include "kelvane/platform/codecs/internal/more_formats.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/codecs/webp.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::platform;
  using kelvane::fuzzing::Check;
  const Result<RasterRef> read = ReadHEIF({data, size});
  if (!read) {
    Check(!read.error().message.empty());
    Check(read.error().message.find('\n') == std::string::npos);
    return 0;
  }
  const RasterRef& raster = *read;
  Check(raster != nullptr && DecodedSizeAllowed(raster->width(), raster->height()));
  Check(raster->IsWorkingFormat());
  // The image files read it upright too (unless the bytes also pass for a WebP file's header).
  if (!IsWebP({data, size})) {
    const Result<internal::DecodedPicture> picture = internal::ReadMoreFormats({data, size});
    Check(picture.ok() && picture->orientation == kOrientationUp);
  }
  return 0;
}
