// The image effects against OpenCV doing the same pixel work.
//
// The light effect on a phone screen's picture (1170 x 2532 pixels, 390 x 844 points at scale 3,
// opaque as a decoded photo), whole operation: filling the working buffer, three box passes of
// side 169, the saturation matrix for 1.8, the white tint at 0.3, and the picture handed out as
// an image. The peer does the same pixel work with OpenCV: three cv::blur with replicated
// borders, cv::transform with the same weights and the tint blended in with convertTo, into
// matrices it keeps between iterations. Each runs for a second or more, so that memory taken
// fresh from the system at every call shows in the time. Both on one thread (ours under
// KeepOnThisThread), then both on two (cv::setNumThreads(2)) in wall time.
//
// The kernels split into bands on a 4000 x 3000 picture in the working format: three box passes
// of side 57 and the saturation matrix for 1.8, in wall time, on every core against the same
// call kept on one thread, and against OpenCV on two threads.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <vector>

#include "bench/photo_pixels.h"
#include "bench/ratio.h"
#include "kelvane/images/image_effects.h"
#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/pixel_kernels.h"

namespace {

using namespace kelvane::platform;

constexpr int kWidth = 1170, kHeight = 2532;
constexpr double kScale = 3.0;

const std::vector<std::uint8_t>& Pixels() {
  static const std::vector<std::uint8_t> pixels = kelvane::bench::PhotoPixels(kWidth, kHeight);
  return pixels;
}

// cv::transform's rows are destination channels; ours are source channels.
cv::Matx44f Weights(const ColorMatrix& m) {
  cv::Matx44f weights;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) weights(j, i) = m[4 * i + j] / 256.0f;
  }
  return weights;
}

// Argument: 1 keeps every call on the benchmark's thread, 0 lets the operation spread.
void BM_LightEffectOurs(benchmark::State& state) {
  const RasterRef raster = Raster::Copy(kWidth, kHeight, kWidth * 4, kOpaqueWorkingBitmapInfo,
                                        ColorSpace::kRGB, Pixels().data());
  const ImageRef image = Image::Make(raster, kScale);
  std::optional<KeepOnThisThread> keep;
  if (state.range(0) == 1) keep.emplace();
  for (auto _ : state) {
    ImageRef out = kelvane::UIImageEffects::imageByApplyingLightEffectToImage(image);
    if (out == nullptr) state.SkipWithError("no image");
    benchmark::DoNotOptimize(out.get());
  }
}

// Argument: OpenCV's thread count.
void BM_LightEffectOpenCV(benchmark::State& state) {
  cv::setNumThreads(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> pixels = Pixels();
  const cv::Mat source(kHeight, kWidth, CV_8UC4, pixels.data());
  const int k = static_cast<int>(BoxKernelSize(60, kScale));
  const cv::Matx44f weights = Weights(SaturationMatrix(1.8));
  cv::Mat a, b, out;
  for (auto _ : state) {
    cv::blur(source, a, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(a, b, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(b, a, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::transform(a, b, weights);
    b.convertTo(out, -1, 0.7, 0.3 * 255);  // white at alpha 0.3, source-over
    benchmark::DoNotOptimize(out.data);
  }
  cv::setNumThreads(1);
}

constexpr int kLargeWidth = 4000, kLargeHeight = 3000;

// A photo-like picture with a half-covered band, and a second buffer of its size.
struct Large {
  std::vector<std::uint8_t> in = kelvane::bench::PhotoPixels(
      kLargeWidth, kLargeHeight, kLargeHeight / 3 + 1, kLargeHeight / 2);
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(in.size());
  PixelView a{PixelLayout::Working(kLargeWidth, kLargeHeight, kLargeWidth * 4), in.data()};
  MutablePixelView ma{a.layout, in.data()};
  MutablePixelView b{a.layout, out.data()};
};

// Arguments: the box side, and 1 to keep the passes on the benchmark's thread.
void BM_BlurBands(benchmark::State& state) {
  Large large;
  const auto k = static_cast<std::uint32_t>(state.range(0));
  std::optional<KeepOnThisThread> keep;
  if (state.range(1) == 1) keep.emplace();
  for (auto _ : state) {
    bool ok = BoxConvolve(large.a, large.b, k, k, nullptr, 0);
    ok &= BoxConvolve(large.b, large.ma, k, k, nullptr, 0);
    ok &= BoxConvolve(large.a, large.b, k, k, nullptr, 0);
    if (!ok) state.SkipWithError("BoxConvolve failed");
    benchmark::DoNotOptimize(large.out.data());
  }
}

void BM_BlurOpenCVTwoThreads(benchmark::State& state) {
  cv::setNumThreads(2);
  Large large;
  cv::Mat a(kLargeHeight, kLargeWidth, CV_8UC4, large.in.data());
  cv::Mat b(kLargeHeight, kLargeWidth, CV_8UC4, large.out.data());
  const int k = static_cast<int>(state.range(0));
  for (auto _ : state) {
    cv::blur(a, b, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(b, a, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(a, b, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    benchmark::DoNotOptimize(large.out.data());
  }
  cv::setNumThreads(1);
}

// Argument: 1 to keep the matrix on the benchmark's thread.
void BM_SaturationBands(benchmark::State& state) {
  Large large;
  const ColorMatrix matrix = SaturationMatrix(1.8);
  std::optional<KeepOnThisThread> keep;
  if (state.range(0) == 1) keep.emplace();
  for (auto _ : state) {
    if (!ColorMatrixMultiply(large.a, large.b, matrix)) state.SkipWithError("failed");
    benchmark::DoNotOptimize(large.out.data());
  }
}

void BM_SaturationOpenCVTwoThreads(benchmark::State& state) {
  cv::setNumThreads(2);
  Large large;
  cv::Mat a(kLargeHeight, kLargeWidth, CV_8UC4, large.in.data());
  cv::Mat b(kLargeHeight, kLargeWidth, CV_8UC4, large.out.data());
  const cv::Matx44f weights = Weights(SaturationMatrix(1.8));
  for (auto _ : state) {
    cv::transform(a, b, weights);
    benchmark::DoNotOptimize(large.out.data());
  }
  cv::setNumThreads(1);
}

BENCHMARK(BM_LightEffectOurs)->Arg(1)->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightEffectOpenCV)->Arg(1)->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightEffectOurs)->Arg(0)->MinTime(1.0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightEffectOpenCV)->Arg(2)->MinTime(1.0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurBands)->Args({57, 0})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurBands)->Args({57, 1})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurOpenCVTwoThreads)->Arg(57)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationBands)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationBands)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaturationOpenCVTwoThreads)->UseRealTime()->Unit(benchmark::kMillisecond);

const bool kRatios = [] {
  using kelvane::bench::Ratio;
  Ratio("light effect 1170 x 2532, one thread", "BM_LightEffectOurs/1/min_time:1.000",
        "BM_LightEffectOpenCV/1/min_time:1.000", "<= 0.8");
  Ratio("light effect 1170 x 2532, two threads", "BM_LightEffectOurs/0/min_time:1.000/real_time",
        "BM_LightEffectOpenCV/2/min_time:1.000/real_time", "report");
  Ratio("box passes 57, 4000 x 3000, bands / kept", "BM_BlurBands/57/0/real_time",
        "BM_BlurBands/57/1/real_time", "<= 0.59 (1.7x)");
  Ratio("box passes 57, 4000 x 3000, two threads", "BM_BlurBands/57/0/real_time",
        "BM_BlurOpenCVTwoThreads/57/real_time", "report");
  Ratio("saturation 4000 x 3000, bands / kept", "BM_SaturationBands/0/real_time",
        "BM_SaturationBands/1/real_time", "<= 0.59 (1.7x)");
  Ratio("saturation 4000 x 3000, two threads", "BM_SaturationBands/0/real_time",
        "BM_SaturationOpenCVTwoThreads/real_time", "report");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
