// Pixel kernels of the image effects and resizes against OpenCV, both on one thread, on a
// 4000 x 3000 picture in the working format (premultiplied B, G, R, A):
// - three box passes of side 57 with edge extension against cv::blur with replicated borders
//   three times;
// - the saturation matrix for 1.8 against cv::transform with the same weights;
// - a reduction to 1000 x 750 with orientation 3 (turned clockwise) against INTER_AREA resize
//   followed by cv::rotate, for the kernel alone and for the whole resize of an image of
//   orientation 3 (bitmap, pixel layout and image included);
// - JPEG data of the picture with its longer side limited to 1000 pixels against INTER_AREA
//   resize followed by TurboJPEG encoding at the same quality and subsampling.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench/photo_pixels.h"
#include "bench/ratio.h"
#include "kelvane/images/resize.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/pixel_kernels.h"

namespace {

using namespace kelvane::platform;

constexpr int kWidth = 4000, kHeight = 3000;

// A photo-like picture with a half-covered band.
const std::vector<std::uint8_t>& Picture() {
  static const std::vector<std::uint8_t> pixels =
      kelvane::bench::PhotoPixels(kWidth, kHeight, kHeight / 3 + 1, kHeight / 2);
  return pixels;
}

struct Buffers {
  std::vector<std::uint8_t> in = Picture();
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(in.size());
  PixelBuffer a{in.data(), kWidth, kHeight, kWidth * 4};
  PixelBuffer b{out.data(), kWidth, kHeight, kWidth * 4};
};

void BM_BlurOurs(benchmark::State& state) {
  Buffers buffers;
  const int k = static_cast<int>(state.range(0));
  std::vector<std::uint8_t> scratch(BoxConvolveScratchSize(kWidth, k, k));
  for (auto _ : state) {
    bool ok = BoxConvolve(buffers.a, buffers.b, k, k, scratch.data(), scratch.size());
    ok &= BoxConvolve(buffers.b, buffers.a, k, k, scratch.data(), scratch.size());
    ok &= BoxConvolve(buffers.a, buffers.b, k, k, scratch.data(), scratch.size());
    if (!ok) state.SkipWithError("BoxConvolve failed");
    benchmark::DoNotOptimize(buffers.out.data());
  }
}

void BM_BlurOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  Buffers buffers;
  cv::Mat a(kHeight, kWidth, CV_8UC4, buffers.in.data());
  cv::Mat b(kHeight, kWidth, CV_8UC4, buffers.out.data());
  const int k = static_cast<int>(state.range(0));
  for (auto _ : state) {
    cv::blur(a, b, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(b, a, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(a, b, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    benchmark::DoNotOptimize(buffers.out.data());
  }
}

void BM_SaturationOurs(benchmark::State& state) {
  Buffers buffers;
  const ColorMatrix matrix = SaturationMatrix(1.8);
  for (auto _ : state) {
    if (!ColorMatrixMultiply(buffers.a, buffers.b, matrix)) state.SkipWithError("failed");
    benchmark::DoNotOptimize(buffers.out.data());
  }
}

void BM_SaturationOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  Buffers buffers;
  cv::Mat a(kHeight, kWidth, CV_8UC4, buffers.in.data());
  cv::Mat b(kHeight, kWidth, CV_8UC4, buffers.out.data());
  // cv::transform's rows are destination channels; ours are source channels.
  const ColorMatrix m = SaturationMatrix(1.8);
  cv::Matx44f weights;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) weights(j, i) = m[4 * i + j] / 256.0f;
  }
  for (auto _ : state) {
    cv::transform(a, b, weights);
    benchmark::DoNotOptimize(buffers.out.data());
  }
}

void BM_ResizeOurs(benchmark::State& state) {
  Buffers buffers;
  std::vector<std::uint8_t> small(std::size_t{750} * 4 * 1000);
  const PixelBuffer dst{small.data(), 750, 1000, 750 * 4};
  for (auto _ : state) {
    if (!ResampleOriented(buffers.a, dst, 3)) state.SkipWithError("failed");
    benchmark::DoNotOptimize(small.data());
  }
}

void BM_ResizeOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  Buffers buffers;
  cv::Mat a(kHeight, kWidth, CV_8UC4, buffers.in.data());
  cv::Mat reduced, turned;
  for (auto _ : state) {
    cv::resize(a, reduced, cv::Size(1000, 750), 0, 0, cv::INTER_AREA);
    cv::rotate(reduced, turned, cv::ROTATE_90_CLOCKWISE);
    benchmark::DoNotOptimize(turned.data);
  }
}

// The picture as an image stored on its side (orientation 3), at scale 1.
ImageRef PictureImage(int orientation) {
  return Image::Make(
      Raster::Make(kWidth, kHeight, kWidth * 4, kWorkingBitmapInfo, ColorSpace::kRGB, Picture()),
      1.0, orientation);
}

void BM_ResizeImageOurs(benchmark::State& state) {
  const ImageRef image = PictureImage(kOrientationRight);
  for (auto _ : state) {
    const ImageRef small = kelvane::Resize::resizedImage(*image, {750, 1000}, kInterpolationHigh);
    if (small == nullptr) state.SkipWithError("failed");
    benchmark::DoNotOptimize(small.get());
  }
}

void BM_JPEGLimitOurs(benchmark::State& state) {
  const ImageRef image = PictureImage(kOrientationUp);
  for (auto _ : state) {
    const auto data = kelvane::Resize::compressToJPEG(*image, 0.8, 1000, nullptr);
    if (!data) state.SkipWithError("failed");
    benchmark::DoNotOptimize(data->data());
  }
}

void BM_JPEGLimitOpenCVTurboJPEG(benchmark::State& state) {
  cv::setNumThreads(1);
  Buffers buffers;
  cv::Mat a(kHeight, kWidth, CV_8UC4, buffers.in.data());
  cv::Mat reduced;
  tjhandle encoder = tjInitCompress();
  for (auto _ : state) {
    cv::resize(a, reduced, cv::Size(1000, 750), 0, 0, cv::INTER_AREA);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (tjCompress2(encoder, reduced.data, reduced.cols, static_cast<int>(reduced.step),
                    reduced.rows, TJPF_BGRX, &out, &size, TJSAMP_420, JPEGQuality(0.8), 0) != 0) {
      state.SkipWithError("tjCompress2 failed");
    }
    benchmark::DoNotOptimize(out);
    tjFree(out);
  }
  tjDestroy(encoder);
}

BENCHMARK(BM_BlurOurs)->Arg(57)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurOpenCV)->Arg(57)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationOpenCV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeOpenCV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeImageOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JPEGLimitOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JPEGLimitOpenCVTurboJPEG)->Unit(benchmark::kMillisecond);

const bool kRatios = [] {
  kelvane::bench::Ratio("three box passes, side 57, 4000 x 3000", "BM_BlurOurs/57",
                        "BM_BlurOpenCV/57", "<= 1.0 (aim 0.67)");
  kelvane::bench::Ratio("saturation matrix 1.8, 4000 x 3000", "BM_SaturationOurs",
                        "BM_SaturationOpenCV", "<= 1.0");
  kelvane::bench::Ratio("4000 x 3000 -> 1000 x 750, orientation 3", "BM_ResizeOurs",
                        "BM_ResizeOpenCV", "<= 1.0");
  kelvane::bench::Ratio("resizedImage, orientation 3, to 750 x 1000", "BM_ResizeImageOurs",
                        "BM_ResizeOpenCV", "<= 1.0");
  kelvane::bench::Ratio("compressToJPEG 4000 x 3000, limit 1000", "BM_JPEGLimitOurs",
                        "BM_JPEGLimitOpenCVTurboJPEG", "<= 1.2");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
