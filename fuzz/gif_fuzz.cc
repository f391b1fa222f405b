// SPDX-License-Identifier: Apache-2.0
// GIF decoding on arbitrary bytes of up to a megabyte: never a crash, never a picture over the
// size limit, a reason for every refusal, and the raster is the logical screen's size. The seeds
// in fuzz/corpus/gif_fuzz were written by us with giflib 5.2.1's encoder: an interlaced 16 x 12
// frame with a transparent colour, and three frames at growing offsets after a loop extension;
// the pictures are made-up patterns.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/codecs/gif.h"
#include "kelvane/platform/codecs/limits.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::platform;
  using kelvane::fuzzing::Check;
  const Result<RasterRef> read = ReadGIF({data, size});
  if (!read) {
    Check(!read.error().message.empty());
    return 0;
  }
  const RasterRef& raster = *read;
  Check(raster != nullptr && DecodedSizeAllowed(raster->width(), raster->height()));
  Check(raster->IsWorkingFormat());
  // The logical screen's sides, little-endian after the signature.
  Check(size >= 10 && raster->width() == std::uint32_t(data[6] | (data[7] << 8)) &&
        raster->height() == std::uint32_t(data[8] | (data[9] << 8)));
  return 0;
}
