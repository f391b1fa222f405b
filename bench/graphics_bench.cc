// SPDX-License-Identifier: Apache-2.0
// Images: decoding and encoding a 4000 x 3000 JPEG against TurboJPEG called directly (the same
// flags, pixel format and buffers), and a small image surface (40 points at scale 3) opened,
// filled, turned into an image and closed, against the same calls on Cairo directly.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/photo_pixels.h"
#include "bench/ratio.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"

namespace {

using namespace kelvane::platform;

constexpr int kWidth = 4000, kHeight = 3000;

const RasterRef& Picture() {
  static const RasterRef picture =
      Raster::Make(kWidth, kHeight, std::size_t{kWidth} * 4, kOpaqueWorkingBitmapInfo,
                   ColorSpace::kRGB, kelvane::bench::PhotoPixels(kWidth, kHeight));
  return picture;
}

const kelvane::Data& Jpeg() {
  static const kelvane::Data jpeg = *EncodeJPEG(*Picture(), 0.9);
  return jpeg;
}

void BM_DecodeOurs(benchmark::State& state) {
  const kelvane::Data& jpeg = Jpeg();
  for (auto _ : state) {
    RasterRef raster = DecodeJPEG(jpeg);
    benchmark::DoNotOptimize(raster);
  }
}

void BM_DecodeTurboJPEG(benchmark::State& state) {
  const kelvane::Data& jpeg = Jpeg();
  for (auto _ : state) {
    tjhandle handle = tjInitDecompress();
    int w = 0, h = 0, subsampling = 0, colorspace = 0;
    tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &w, &h, &subsampling, &colorspace);
    auto* pixels = static_cast<unsigned char*>(std::malloc(std::size_t(w) * 4 * h));
    tjDecompress2(handle, jpeg.data(), jpeg.size(), pixels, w, w * 4, h, TJPF_BGRA, 0);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
    tjDestroy(handle);
  }
}

void BM_EncodeOurs(benchmark::State& state) {
  const RasterRef& picture = Picture();
  for (auto _ : state) {
    auto jpeg = EncodeJPEG(*picture, 0.9);
    benchmark::DoNotOptimize(jpeg);
  }
}

void BM_EncodeTurboJPEG(benchmark::State& state) {
  const RasterRef& picture = Picture();
  for (auto _ : state) {
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, picture->data(), kWidth, kWidth * 4, kHeight, TJPF_BGRX, &out, &size,
                TJSAMP_420, 90, 0);
    benchmark::DoNotOptimize(out);
    tjFree(out);
    tjDestroy(handle);
  }
}

void BM_SurfaceOurs(benchmark::State& state) {
  for (auto _ : state) {
    BeginImageContextWithOptions({40, 40}, false, 3);
    GraphicsContext* context = GetCurrentContext();
    context->SetFillColor(0.2, 0.4, 0.6, 1);
    context->FillRect({0, 0, 40, 40});
    ImageRef image = GetImageFromCurrentImageContext();
    EndImageContext();
    benchmark::DoNotOptimize(image);
  }
}

void BM_SurfaceCairo(benchmark::State& state) {
  for (auto _ : state) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 120, 120);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 3, 3);
    cairo_set_source_rgba(cr, 0.2, 0.4, 0.6, 1);
    cairo_rectangle(cr, 0, 0, 40, 40);
    cairo_fill(cr);
    cairo_surface_flush(surface);
    // The image: a copy of the pixels, as a caller keeping the picture would make.
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<std::uint8_t> copy(cairo_image_surface_get_data(surface),
                                   cairo_image_surface_get_data(surface) + stride * 120);
    benchmark::DoNotOptimize(copy);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
}

BENCHMARK(BM_DecodeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTurboJPEG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeTurboJPEG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SurfaceOurs);
BENCHMARK(BM_SurfaceCairo);

const bool registered = [] {
  using kelvane::bench::Ratio;
  Ratio("decode 4000 x 3000 JPEG vs TurboJPEG", "BM_DecodeOurs", "BM_DecodeTurboJPEG", "<= 1.05");
  Ratio("encode 4000 x 3000 JPEG vs TurboJPEG", "BM_EncodeOurs", "BM_EncodeTurboJPEG", "<= 1.05");
  Ratio("40 pt image surface at scale 3 vs Cairo", "BM_SurfaceOurs", "BM_SurfaceCairo", "report");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
