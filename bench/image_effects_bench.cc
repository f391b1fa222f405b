// The light effect on a phone screen's picture (1170 x 2532 pixels, 390 x 844 points at scale 3,
// opaque as a decoded photo), whole operation: filling the working buffer, three box passes of
// side 169, the saturation matrix for 1.8, drawing the effect and the white tint at 0.3, and
// taking the picture out of the surface. The peer does the same pixel work with OpenCV: three
// cv::blur with replicated borders, cv::transform with the same weights and the tint blended
// in with convertTo. Both on one thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench/photo_pixels.h"
#include "bench/ratio.h"
#include "kelvane/images/image_effects.h"
#include "kelvane/platform/graphics/pixel_kernels.h"

namespace {

using namespace kelvane::platform;

constexpr int kWidth = 1170, kHeight = 2532;
constexpr double kScale = 3.0;

const std::vector<std::uint8_t>& Pixels() {
  static const std::vector<std::uint8_t> pixels = kelvane::bench::PhotoPixels(kWidth, kHeight);
  return pixels;
}

void BM_LightEffectOurs(benchmark::State& state) {
  const RasterRef raster = Raster::Copy(kWidth, kHeight, kWidth * 4, kOpaqueWorkingBitmapInfo,
                                        ColorSpace::kRGB, Pixels().data());
  const ImageRef image = Image::Make(raster, kScale);
  for (auto _ : state) {
    ImageRef out = kelvane::UIImageEffects::imageByApplyingLightEffectToImage(image);
    if (out == nullptr) state.SkipWithError("no image");
    benchmark::DoNotOptimize(out.get());
  }
}

void BM_LightEffectOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  std::vector<std::uint8_t> pixels = Pixels();
  const cv::Mat source(kHeight, kWidth, CV_8UC4, pixels.data());
  const int k = static_cast<int>(BoxKernelSize(60, kScale));
  // cv::transform's rows are destination channels; ours are source channels.
  const ColorMatrix m = SaturationMatrix(1.8);
  cv::Matx44f weights;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) weights(j, i) = m[4 * i + j] / 256.0f;
  }
  cv::Mat a, b, out;
  for (auto _ : state) {
    cv::blur(source, a, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(a, b, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::blur(b, a, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    cv::transform(a, b, weights);
    b.convertTo(out, -1, 0.7, 0.3 * 255);  // white at alpha 0.3, source-over
    benchmark::DoNotOptimize(out.data);
  }
}

BENCHMARK(BM_LightEffectOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LightEffectOpenCV)->Unit(benchmark::kMillisecond);

const bool kRatios = [] {
  kelvane::bench::Ratio("light effect, 1170 x 2532 at scale 3", "BM_LightEffectOurs",
                        "BM_LightEffectOpenCV", "report (ms above)");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
