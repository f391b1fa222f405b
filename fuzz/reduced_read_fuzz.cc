// SPDX-License-Identifier: Apache-2.0
// Reading pictures for a target size, on arbitrary bytes of up to a megabyte: the first five
// bytes choose the target (width and height, 0 to 1023 each, and fit or cover), the rest is the
// file in any format. Never a crash, a reason for every refusal, and a picture read has exactly
// the size ReadSize() gives for the size its header declares.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/graphics/image_file.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::platform;
  using kelvane::fuzzing::Check;
  if (size < 5) return 0;
  const ReadOptions options{static_cast<std::uint32_t>((data[0] | data[1] << 8) & 1023),
                            static_cast<std::uint32_t>((data[2] | data[3] << 8) & 1023),
                            (data[4] & 1) != 0 ? ReadFit::kCover : ReadFit::kInside};
  const std::span<const std::uint8_t> file(data + 5, size - 5);
  // Pictures past 4 megapixels are left to the whole-picture fuzzers: their reduction is in
  // proportion to them (134 ms for 10.7 megapixels in a release build), which under the
  // sanitizers passes the time an input may take.
  if (const Result<PixelSize> declared = ReadImageSize(file);
      declared && std::uint64_t{declared->width} * declared->height > (1u << 22)) {
    return 0;
  }
  const Result<ImageRef> read = ReadImage(file, options);
  if (!read) {
    Check(!read.error().message.empty());
    return 0;
  }
  const ImageRef& image = *read;
  Check(image != nullptr && image->raster() != nullptr);
  const Result<PixelSize> declared = ReadImageSize(file);
  Check(declared.ok());
  const PixelSize expected = ReadSize(declared->width, declared->height, options);
  const bool transposed = Image::IsTransposed(image->orientation());
  const PixelSize shown{transposed ? image->raster()->height() : image->raster()->width(),
                        transposed ? image->raster()->width() : image->raster()->height()};
  Check(shown == expected);
  Check(DecodedSizeAllowed(image->raster()->width(), image->raster()->height()));
  return 0;
}
