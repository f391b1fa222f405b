// SPDX-License-Identifier: Apache-2.0
// PNG encoding and decoding against OpenCV's (libpng underneath), both on one thread, on a
// 4000 x 3000 photo-like picture:
// - EncodePNG of the opaque picture in the working format against cv::imencode(".png") with its
//   defaults of the same picture as B, G, R rows (arg 0), and of the picture with a translucent
//   band against imencode of its B, G, R, A rows with alpha divided out (arg 1). The counter
//   `bytes` is the size of the file each writes;
// - DecodePNG against cv::imdecode(IMREAD_UNCHANGED) of the same file: the one EncodePNG writes
//   (arg 0) and the one imencode writes (arg 1).
// BM_EncodePNGOursAllCores lets the writer filter its rows on the worker pool, for reference.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench/photo_pixels.h"
#include "bench/ratio.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/dispatch/apply.h"

namespace {

using namespace kelvane::platform;

constexpr int kWidth = 4000, kHeight = 3000;

// The picture, opaque or with a translucent band, as a working-format raster.
RasterRef Picture(bool translucent) {
  std::vector<std::uint8_t> pixels =
      translucent ? kelvane::bench::PhotoPixels(kWidth, kHeight, kHeight / 3 + 1, kHeight / 2)
                  : kelvane::bench::PhotoPixels(kWidth, kHeight);
  return Raster::Make(PixelLayout::Working(kWidth, kHeight, kWidth * 4, !translucent),
                      std::move(pixels));
}

// The same picture as OpenCV writes it: B, G, R when opaque, B, G, R, A with alpha divided out.
cv::Mat PictureForOpenCV(bool translucent) {
  const RasterRef raster = Picture(translucent);
  cv::Mat premultiplied(kHeight, kWidth, CV_8UC4, const_cast<std::uint8_t*>(raster->data()));
  cv::Mat out;
  if (translucent) {
    cv::Mat rgba;
    cv::cvtColor(premultiplied, rgba, cv::COLOR_mRGBA2RGBA);
    return rgba;
  }
  cv::cvtColor(premultiplied, out, cv::COLOR_BGRA2BGR);
  return out;
}

void Encode(benchmark::State& state, bool one_thread) {
  const RasterRef raster = Picture(state.range(0) != 0);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::optional<KeepOnThisThread> keep;
    if (one_thread) keep.emplace();
    const auto png = EncodePNG(*raster);
    if (!png) state.SkipWithError("EncodePNG failed");
    bytes = png ? png->size() : 0;
    benchmark::DoNotOptimize(png);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_EncodePNGOurs(benchmark::State& state) { Encode(state, true); }
void BM_EncodePNGOursAllCores(benchmark::State& state) { Encode(state, false); }

void BM_EncodePNGOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  const cv::Mat picture = PictureForOpenCV(state.range(0) != 0);
  std::vector<std::uint8_t> png;
  for (auto _ : state) {
    if (!cv::imencode(".png", picture, png)) state.SkipWithError("imencode failed");
    benchmark::DoNotOptimize(png.data());
  }
  state.counters["bytes"] = static_cast<double>(png.size());
}

// The file each decoder reads: EncodePNG's (0) or imencode's (1), of the opaque picture.
const std::vector<std::uint8_t>& File(int which) {
  static const std::vector<std::uint8_t> ours = *EncodePNG(*Picture(false));
  static const std::vector<std::uint8_t> opencv = [] {
    std::vector<std::uint8_t> png;
    cv::imencode(".png", PictureForOpenCV(false), png);
    return png;
  }();
  return which == 0 ? ours : opencv;
}

void BM_DecodePNGOurs(benchmark::State& state) {
  const std::vector<std::uint8_t>& file = File(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const RasterRef raster = DecodePNG(file);
    if (raster == nullptr) state.SkipWithError("DecodePNG failed");
    benchmark::DoNotOptimize(raster);
  }
  state.counters["bytes"] = static_cast<double>(file.size());
}

void BM_DecodePNGOpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  const std::vector<std::uint8_t>& file = File(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const cv::Mat picture = cv::imdecode(file, cv::IMREAD_UNCHANGED);
    if (picture.empty()) state.SkipWithError("imdecode failed");
    benchmark::DoNotOptimize(picture.data);
  }
  state.counters["bytes"] = static_cast<double>(file.size());
}

BENCHMARK(BM_EncodePNGOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePNGOpenCV)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePNGOursAllCores)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodePNGOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePNGOpenCV)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

const bool kRatios = [] {
  kelvane::bench::Ratio("EncodePNG 4000 x 3000, opaque", "BM_EncodePNGOurs/0",
                        "BM_EncodePNGOpenCV/0", "<= 1.0 (aim 0.5), bytes <= OpenCV's");
  kelvane::bench::Ratio("EncodePNG 4000 x 3000, translucent band", "BM_EncodePNGOurs/1",
                        "BM_EncodePNGOpenCV/1", "<= 1.0, bytes <= OpenCV's");
  kelvane::bench::Ratio("DecodePNG of EncodePNG's file", "BM_DecodePNGOurs/0",
                        "BM_DecodePNGOpenCV/0", "<= 1.0");
  kelvane::bench::Ratio("DecodePNG of imencode's file", "BM_DecodePNGOurs/1",
                        "BM_DecodePNGOpenCV/1", "<= 1.0");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
