// SPDX-License-Identifier: Apache-2.0
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

BENCHMARK(BM_LightEffectOurs)->Arg(1)->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightEffectOpenCV)->Arg(1)->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightEffectOurs)->Arg(0)->MinTime(1.0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightEffectOpenCV)->Arg(2)->MinTime(1.0)->UseRealTime()->Unit(benchmark::kMillisecond);

const bool kRatios = [] {
  using kelvane::bench::Ratio;
  Ratio("light effect 1170 x 2532, one thread", "BM_LightEffectOurs/1/min_time:1.000",
        "BM_LightEffectOpenCV/1/min_time:1.000", "<= 0.8");
  Ratio("light effect 1170 x 2532, two threads", "BM_LightEffectOurs/0/min_time:1.000/real_time",
        "BM_LightEffectOpenCV/2/min_time:1.000/real_time", "report");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
