// SPDX-License-Identifier: Apache-2.0
// WebP decoding on arbitrary bytes of up to a megabyte: never a crash, never a picture over the
// size limit, a reason for every refusal, orientations always 0..7, and the public reader and
// the image files' reader agree. The seeds in fuzz/corpus/webp_fuzz were written by us with
// libwebp 1.2.4: WebPEncodeRGBA at quality 80 (lossy*.webp), WebPEncodeLosslessRGBA with an EXIF
// chunk of orientation 6 added by libwebpmux, and WebPAnimEncoder (three 16 x 16 frames); the
// pictures are made-up gradients.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
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
  const Result<internal::DecodedPicture> read = internal::ReadWebPPicture({data, size});
  if (!read) {
    Check(!read.error().message.empty());
    Check(!ReadWebP({data, size}).ok());
    return 0;
  }
  const RasterRef& raster = read->raster;
  Check(raster != nullptr && DecodedSizeAllowed(raster->width(), raster->height()));
  Check(raster->IsWorkingFormat());
  Check(read->orientation >= 0 && read->orientation <= 7);
  const Result<RasterRef> plain = ReadWebP({data, size});
  Check(plain.ok() && (*plain)->width() == raster->width() &&
        (*plain)->height() == raster->height());
  return 0;
}
