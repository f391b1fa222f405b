// SPDX-License-Identifier: Apache-2.0
// PNG decoding on arbitrary bytes of up to a megabyte: never a crash, never a picture over the
// size limit, a reason for every refusal, and a decoded picture encodes and decodes again to the
// same size.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/graphics/image_file.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::platform;
  using kelvane::fuzzing::Check;
  const Result<RasterRef> read = ReadPNG({data, size});
  if (!read) {
    Check(!read.error().message.empty());
    return 0;
  }
  const RasterRef& raster = *read;
  Check(raster != nullptr && DecodedSizeAllowed(raster->width(), raster->height()));
  Check(raster->IsWorkingFormat());
  if (std::uint64_t{raster->width()} * raster->height() <= 4096) {
    const auto again = EncodePNG(*raster);
    Check(again.has_value());
    const RasterRef back = DecodePNG(*again);
    Check(back != nullptr && back->width() == raster->width() &&
          back->height() == raster->height());
  }
  return 0;
}
