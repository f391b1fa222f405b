// PNG decoding on arbitrary bytes: never a crash, never a picture over the size limit, and a
// decoded picture encodes and decodes again to the same size.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/codecs/png.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::platform;
  using kelvane::fuzzing::Check;
  const RasterRef raster = DecodePNG({data, size});
  if (raster == nullptr) return 0;
  Check(DecodedSizeAllowed(raster->width(), raster->height()));
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
