// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/pixel_kernels.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/pixels/internal/row_reducer.h"
#include "kelvane/testing/picture_files.h"

namespace kelvane::platform {
namespace {

// A w x h picture whose rows carry `pad` bytes past the pixels: random bytes, or, when
// `premultiplied`, random premultiplied pixels in the working format (B, G, R, A), many of them at
// the extremes so that the cubic overshoots, with pads of 0xEE.
struct Picture {
  Picture(int w, int h, std::size_t pad = 0, std::uint32_t seed = 0, bool premultiplied = false)
      : w(w),
        h(h),
        bpr(w * 4 + pad),
        bytes(testing::RandomBytes(bpr * h, seed)),
        buffer{bytes.data(), std::uint32_t(w), std::uint32_t(h), bpr} {
    if (!premultiplied) return;
    std::fill(bytes.begin(), bytes.end(), 0xEE);
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int alpha = random() % 2 ? 255 : int(random() % 256);
        at(x, y, 3) = std::uint8_t(alpha);
        for (int c = 0; c < 3; ++c) {
          at(x, y, c) = std::uint8_t(random() % 3 == 0 ? alpha : random() % (alpha + 1));
        }
      }
    }
  }
  std::uint8_t& at(int x, int y, int c) { return bytes[y * bpr + 4 * x + c]; }
  int at(int x, int y, int c) const { return bytes[y * bpr + 4 * x + c]; }
  PixelView view() const { return {PixelLayout::Working(w, h, bpr), bytes.data()}; }
  MutablePixelView mutable_view() { return {PixelLayout::Working(w, h, bpr), bytes.data()}; }
  int w, h;
  std::size_t bpr;
  std::vector<std::uint8_t> bytes;
  PixelBuffer buffer;
};

TEST(BoxConvolve, MatchesReferenceLoop) {
  // Sizes from 1 x 1 to past one chunk of window sums, rows with odd padding, widths below the
  // kernel, both rounding precisions (areas below and above 8192, also past the edges), 16- and
  // 32-bit column sums.
  const std::array<int, 5> cases[] = {{1, 1, 0, 3, 3},     {2, 3, 0, 5, 7},    {17, 9, 3, 3, 5},
                                      {300, 31, 1, 57, 3}, {33, 20, 0, 1, 9},  {12, 11, 0, 91, 91},
                                      {520, 2, 0, 7, 259}, {9, 300, 5, 13, 1}, {400, 5, 2, 101, 91},
                                      {150, 3, 0, 5, 2049}};
  for (auto [w, h, pad, kw, kh] : cases) {
    Picture in(w, h, pad, w * 7 + h), out(w, h, pad, 99);
    const std::vector<std::uint8_t> before = out.bytes;
    std::vector<std::uint8_t> scratch(BoxConvolveScratchSize(w, kw, kh));
    ASSERT_TRUE(BoxConvolve(in.buffer, out.buffer, kw, kh, scratch.data(), scratch.size()));
    for (int p = 0; p < w * h * 4; ++p) {
      const int x = p / 4 % w, y = p / 4 / w, c = p % 4;
      int sum = 0;
      for (int q = 0; q < kw * kh; ++q) {
        sum += in.at(std::clamp(x + q % kw - kw / 2, 0, w - 1),
                     std::clamp(y + q / kw - kh / 2, 0, h - 1), c);
      }
      ASSERT_EQ(out.at(x, y, c), (sum + kw * kh / 2) / (kw * kh)) << w << "x" << h << " " << kw;
    }
    for (std::size_t i = 0; i < out.bytes.size(); ++i) {  // the row padding is not written
      if (i % (w * 4 + pad) < std::size_t(w) * 4) continue;
      ASSERT_EQ(out.bytes[i], before[i]) << i;
    }
  }
}

TEST(BoxConvolve, KeepsConstantsThroughSharedScratchAndTheLargestBox) {
  // A constant stays constant through three passes sharing one block, as the effects run them.
  Picture a(50, 40), b(50, 40);
  std::fill(a.bytes.begin(), a.bytes.end(), 77);
  std::vector<std::uint8_t> scratch(BoxConvolveScratchSize(50, 11, 11));
  for (auto [from, to] : {std::pair{&a, &b}, {&b, &a}, {&a, &b}}) {
    ASSERT_TRUE(BoxConvolve(from->buffer, to->buffer, 11, 11, scratch.data(), scratch.size()));
  }
  EXPECT_EQ(b.bytes, std::vector<std::uint8_t>(b.bytes.size(), 77));
  std::fill(a.bytes.begin(), a.bytes.end(), 255);  // the largest box: sums pass 2^31
  ASSERT_TRUE(BoxConvolve(a.buffer, b.buffer, kMaxBoxKernel, kMaxBoxKernel, nullptr, 0));
  EXPECT_EQ(b.bytes, a.bytes);
}

TEST(PixelKernels, RefuseBadArgumentsWithoutWriting) {
  Picture in(8, 8), out(8, 8), small(8, 7);
  const std::vector<std::uint8_t> untouched = out.bytes;
  std::vector<std::uint8_t> scratch(BoxConvolveScratchSize(8, 3, 3));
  PixelBuffer narrow = in.buffer, shifted = in.buffer;
  narrow.bytes_per_row = 31;
  shifted.data = in.bytes.data() + 4;
  for (std::uint32_t k : {0u, 4u, kMaxBoxKernel + 2}) {
    EXPECT_FALSE(BoxConvolve(in.buffer, out.buffer, k, 3, nullptr, 0));
    EXPECT_FALSE(BoxConvolve(in.buffer, out.buffer, 3, k, nullptr, 0));
    EXPECT_EQ(BoxConvolveScratchSize(8, 3, k), 0u);
  }
  for (auto [from, to] :
       {std::pair{in.buffer, small.buffer}, {narrow, out.buffer}, {in.buffer, shifted}}) {
    EXPECT_FALSE(BoxConvolve(from, to, 3, 3, nullptr, 0));
  }
  EXPECT_FALSE(BoxConvolve(in.buffer, out.buffer, 3, 3, scratch.data(), scratch.size() - 1));
  EXPECT_FALSE(ColorMatrixMultiply(in.buffer, shifted, SaturationMatrix(2)));
  EXPECT_FALSE(ColorMatrixMultiply(in.buffer, small.buffer, SaturationMatrix(2)));
  for (int o : {0, 3, 8, -1}) EXPECT_FALSE(ResampleOriented(small.buffer, out.buffer, o));
  EXPECT_FALSE(ResampleOriented(in.buffer, shifted, 0));  // above: growth, then bad codes
  EXPECT_EQ(out.bytes, untouched);
}

TEST(BoxKernelSize, FollowsTheRadiusAndScale) {
  const std::array<double, 3> cases[] = {{60, 1, 57}, {40, 3, 113}, {20, 2, 37},
                                         {1, 2, 3},   {0.5, 1, 3},  {0, 1, 3},
                                         {-5, 2, 3},  {NAN, 1, 1},  {1e300, 1, 4294967295.0}};
  for (auto [radius, scale, side] : cases) EXPECT_EQ(BoxKernelSize(radius, scale), side) << radius;
}

TEST(SaturationMatrix, GivesTheIntegerMatrices) {
  EXPECT_EQ(SaturationMatrix(1.8),
            (ColorMatrix{446, -15, -15, 0, -146, 314, -146, 0, -44, -44, 417, 0, 0, 0, 0, 256}));
  EXPECT_EQ(SaturationMatrix(-1.0),
            (ColorMatrix{-219, 37, 37, 0, 366, 110, 366, 0, 109, 109, -147, 0, 0, 0, 0, 256}));
  EXPECT_EQ((std::array{SaturationMatrix(1e9)[0], SaturationMatrix(-1e9)[0]}),
            (std::array<std::int16_t, 2>{32767, -32768}));
  EXPECT_EQ(SaturationMatrix(NAN), (ColorMatrix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256}));
}

TEST(ColorMatrixMultiply, MatchesTheFormula) {
  // Weights over the whole 16-bit range against the formula, across whole blocks and a tail.
  std::mt19937 random(3);
  ColorMatrix wide;
  for (auto& weight : wide) weight = static_cast<std::int16_t>(random());
  Picture in(37, 3, 4, 8), mixed(37, 3, 4, 9);
  ASSERT_TRUE(ColorMatrixMultiply(in.buffer, mixed.buffer, wide));
  for (int p = 0; p < 37 * 3 * 4; ++p) {
    const int x = p / 4 % 37, y = p / 4 / 37, j = p % 4;
    int sum = 128;
    for (int i = 0; i < 4; ++i) sum += in.at(x, y, i) * wide[4 * i + j];
    ASSERT_EQ(mixed.at(x, y, j), std::clamp(sum >> 8, 0, 255)) << x << "," << y << " " << j;
  }
}

TEST(PixelKernels, BandsWriteWhatOneThreadWrites) {
  // Large enough to be split into bands (2^18 pixels, 64 rows a band), with padded rows; 16- and
  // 32-bit column sums; the caller's block for one band, for two, or none.
  struct Case {
    std::uint32_t kw, kh;
    std::size_t blocks;
  };
  Picture in(700, 420, 12, 5);
  for (const Case& c : {Case{57, 31, 1}, {57, 31, 2}, {3, 301, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.kw << "x" << c.kh << " blocks " << c.blocks);
    std::vector<std::uint8_t> scratch(c.blocks * BoxConvolveScratchSize(700, c.kw, c.kh));
    void* block = c.blocks == 0 ? nullptr : scratch.data();
    Picture alone(700, 420, 12, 1), banded(700, 420, 12, 1);
    {
      const KeepOnThisThread keep;
      ASSERT_TRUE(BoxConvolve(in.buffer, alone.buffer, c.kw, c.kh, block, scratch.size()));
    }
    ASSERT_TRUE(BoxConvolve(in.buffer, banded.buffer, c.kw, c.kh, block, scratch.size()));
    EXPECT_EQ(banded.bytes, alone.bytes);
  }
  // The same seed as `in`: the same pixels.
  Picture alone(700, 420, 12, 5), banded(700, 420, 12, 5);
  {
    const KeepOnThisThread keep;
    ASSERT_TRUE(ColorMatrixMultiply(alone.buffer, alone.buffer, SaturationMatrix(1.8)));
  }
  ASSERT_TRUE(ColorMatrixMultiply(banded.buffer, banded.buffer, SaturationMatrix(1.8)));
  EXPECT_EQ(banded.bytes, alone.bytes);
}

TEST(RowReducer, StreamedRowsGiveTheResamplersPixels) {
  // Rows handed in one at a time, as a decoder gives them, average to what the resampler makes
  // of the whole picture, at whole and fractional ratios.
  for (auto [sw, sh, dw, dh] : {std::array{7, 5, 3, 2},
                                {10, 9, 4, 7},
                                {9, 4, 3, 3},
                                {64, 48, 5, 3},
                                {5, 5, 5, 2},
                                {4100, 3, 2, 1}}) {
    SCOPED_TRACE(std::to_string(sw) + "x" + std::to_string(sh) + " -> " + std::to_string(dw) + "x" +
                 std::to_string(dh));
    Picture src(sw, sh, 0, sw * 3 + sh), whole(dw, dh), streamed(dw, dh);
    ASSERT_TRUE(ResampleOriented(src.buffer, whole.buffer, 0));
    internal::RowReducer reducer(
        sw, sh, {PixelLayout::Working(dw, dh, std::size_t(dw) * 4), streamed.bytes.data()});
    ASSERT_TRUE(reducer.Valid());
    for (int y = 0; y < sh; ++y) reducer.AddRow(&src.at(0, y, 0));
    EXPECT_TRUE(reducer.Done());
    EXPECT_EQ(streamed.bytes, whole.bytes);
  }
}

// A copy of `picture` whose last byte is the last one readable: the page after it is mapped
// without access, so a kernel that reads past the picture stops the process.
class GuardedCopy {
 public:
  explicit GuardedCopy(const Picture& picture) : buffer_(picture.buffer) {
    const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::size_t size = picture.bytes.size();
    length_ = (size + page - 1) / page * page + page;
    void* mapped =
        ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return;
    base_ = static_cast<std::uint8_t*>(mapped);
    ::mprotect(base_ + length_ - page, page, PROT_NONE);
    std::uint8_t* data = base_ + length_ - page - size;
    std::copy(picture.bytes.begin(), picture.bytes.end(), data);
    buffer_.data = data;
  }
  GuardedCopy(const GuardedCopy&) = delete;
  GuardedCopy& operator=(const GuardedCopy&) = delete;
  ~GuardedCopy() {
    if (base_ != nullptr) ::munmap(base_, length_);
  }
  [[nodiscard]] bool ok() const { return base_ != nullptr; }
  [[nodiscard]] const PixelBuffer& buffer() const { return buffer_; }

 private:
  PixelBuffer buffer_;
  std::uint8_t* base_ = nullptr;
  std::size_t length_ = 0;
};

TEST(ResampleOriented, ReadsNothingPastThePicture) {
  // Whole and fractional ratios, every orientation: the same pixels from a picture that ends at
  // unreadable memory as from one that does not.
  for (auto [sw, sh, gw, gh] : {std::array{8, 6, 4, 3}, {9, 9, 3, 3}, {10, 7, 4, 3}}) {
    const Picture src(sw, sh, 0, sw + sh);
    GuardedCopy guarded(src);
    ASSERT_TRUE(guarded.ok());
    for (int o = 0; o < 8; ++o) {
      SCOPED_TRACE(std::to_string(sw) + "x" + std::to_string(sh) + ", turn " + std::to_string(o));
      const bool transposed = o == 2 || o == 3 || o >= 6;  // turned a quarter
      Picture plain(transposed ? gh : gw, transposed ? gw : gh);
      Picture edge(transposed ? gh : gw, transposed ? gw : gh);
      ASSERT_TRUE(ResampleOriented(src.buffer, plain.buffer, o));
      ASSERT_TRUE(ResampleOriented(guarded.buffer(), edge.buffer, o));
      EXPECT_EQ(edge.bytes, plain.bytes);
    }
  }
}

// ---- enlarging, and reducing in the filter form ------------------------------------------------

// Reference filters, written out for a = -0.5.
double Keys(double x) {
  x = std::fabs(x);
  if (x <= 1) return 1.5 * x * x * x - 2.5 * x * x + 1;
  return x < 2 ? -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2 : 0;
}

// The weight of each of `s` source pixels in destination pixel i of `d`: the covered share of
// its area when the axis does not grow, else the filter at the pixel centre, edges repeated.
std::vector<double> Weights(int s, int d, int i, EnlargeFilter filter) {
  std::vector<double> w(s, 0.0);
  if (d <= s) {
    const double lo = double(i) * s / d, hi = double(i + 1) * s / d;
    for (int k = 0; k < s; ++k)
      w[k] = std::max(0.0, std::min(k + 1.0, hi) - std::max(double(k), lo)) / (hi - lo);
    return w;
  }
  const double x = (i + 0.5) * s / d - 0.5;
  const int x0 = int(std::floor(x));
  const auto add = [&](int k, double weight) { w[std::clamp(k, 0, s - 1)] += weight; };
  if (filter == EnlargeFilter::kBilinear) {
    add(x0, 1 - (x - x0));
    add(x0 + 1, x - x0);
  } else {
    for (int k = -1; k <= 2; ++k) add(x0 + k, Keys(x - x0 - k));
  }
  return w;
}

// The grid pixel (u, v) of gw x gh that displayed pixel (x, y) shows under each orientation:
// whether x and y change places, then whether u and v run backwards.
std::array<int, 2> Shown(int o, int x, int y, int gw, int gh) {
  constexpr bool kTurns[8][3] = {{false, false, false}, {false, true, true},  {true, true, false},
                                 {true, false, true},   {false, true, false}, {false, false, true},
                                 {true, false, false},  {true, true, true}};
  const int a = kTurns[o][0] ? y : x;
  const int b = kTurns[o][0] ? x : y;
  return {kTurns[o][1] ? gw - 1 - a : a, kTurns[o][2] ? gh - 1 - b : b};
}

TEST(ResampleOriented, ResamplesAsTheReferenceInEveryOrientation) {
  // Source sides, then the grid's (the displayed sides before any turn): both growing, one
  // reduced (by little or much) or kept while the other grows, single pixels; and both reduced
  // at fractional ratios and at 2:1 (whose means of four fall on halves, which round upward),
  // where the covered areas' means must come out exactly, the deprecated form alike.
  const std::array<int, 4> kCases[] = {{5, 3, 17, 11}, {1, 1, 3, 2},  {7, 9, 8, 30}, {9, 5, 4, 13},
                                       {6, 6, 6, 20},  {2, 7, 11, 7}, {3, 40, 7, 6}, {7, 5, 3, 2},
                                       {8, 4, 4, 2},   {10, 9, 4, 7}, {9, 4, 3, 3},  {5, 5, 5, 2}};
  for (const auto& [sw, sh, gw, gh] : kCases) {
    const Picture src(sw, sh, 0, sw * 31 + sh, true);
    for (EnlargeFilter filter : {EnlargeFilter::kBilinear, EnlargeFilter::kCubic}) {
      // The reference grid, rounded and held to 0..255 and to alpha.
      std::vector<int> grid(gw * gh * 4);
      for (int v = 0; v < gh; ++v) {
        const std::vector<double> wy = Weights(sh, gh, v, filter);
        for (int u = 0; u < gw; ++u) {
          const std::vector<double> wx = Weights(sw, gw, u, filter);
          int* p = &grid[(v * gw + u) * 4];
          for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int y = 0; y < sh; ++y) {
              for (int x = 0; x < sw; ++x) {
                sum += wy[y] * wx[x] * src.at(x, y, c);
              }
            }
            // A mean that is a half in exact arithmetic may land a hair below it in doubles.
            p[c] = std::clamp(int(std::lround(sum + 1e-9)), 0, 255);
          }
          for (int c = 0; c < 3; ++c) p[c] = std::min(p[c], p[3]);
        }
      }
      for (int o = 0; o < 8; ++o) {
        SCOPED_TRACE(::testing::Message() << sw << "x" << sh << " -> " << gw << "x" << gh
                                          << ", filter " << int(filter) << ", turn " << o);
        const bool turned = IsTransposed(ImageOrientation(o));
        Picture dst(turned ? gh : gw, turned ? gw : gh, 8, 0, true);
        ASSERT_TRUE(ResampleOriented(src.view(), dst.mutable_view(), ImageOrientation(o), filter));
        int worst = 0, over_alpha = 0, pad_touched = 0;
        for (int y = 0; y < dst.h; ++y) {
          for (int x = 0; x < dst.w; ++x) {
            const auto [u, v] = Shown(o, x, y, gw, gh);
            for (int c = 0; c < 4; ++c) {
              worst = std::max(worst, std::abs(dst.at(x, y, c) - grid[(v * gw + u) * 4 + c]));
            }
            for (int c = 0; c < 3; ++c) over_alpha += dst.at(x, y, c) > dst.at(x, y, 3);
          }
          for (int b = 0; b < 8; ++b) pad_touched += dst.bytes[y * dst.bpr + dst.w * 4 + b] != 0xEE;
        }
        const bool reduced = gw <= sw && gh <= sh;
        EXPECT_LE(worst, reduced ? 0 : 1);
        EXPECT_EQ(over_alpha, 0);
        EXPECT_EQ(pad_touched, 0);
        if (reduced) {
          Picture legacy(dst.w, dst.h, 8, 0, true);
          ASSERT_TRUE(ResampleOriented(src.buffer, legacy.buffer, o));
          EXPECT_EQ(legacy.bytes, dst.bytes);
        }
      }
    }
  }
}

TEST(ResampleOriented, HoldsColoursToAlphaWhereverItLies) {
  // The same pixels with alpha first in memory (premultiplied first, default order) come out
  // as the working format's, each pixel's bytes reversed.
  const auto reverse = [](std::vector<std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 4) std::reverse(&bytes[i], &bytes[i + 4]);
    return bytes;
  };
  const Picture src(9, 7, 0, 5, true);
  Picture working(20, 31, 0, 0, true), first(20, 31, 0, 0, true);
  const std::vector<std::uint8_t> reversed = reverse(src.bytes);
  PixelView from = {src.view().layout, reversed.data()};
  MutablePixelView to = first.mutable_view();
  from.layout.bitmap_info = to.layout.bitmap_info = std::uint32_t(AlphaInfo::kPremultipliedFirst);
  const auto cubic = EnlargeFilter::kCubic;
  ASSERT_TRUE(ResampleOriented(src.view(), working.mutable_view(), kOrientationLeft, cubic));
  ASSERT_TRUE(ResampleOriented(from, to, kOrientationLeft, cubic));
  EXPECT_EQ(reverse(first.bytes), working.bytes);
  // A filter that is neither of the two writes nothing.
  EXPECT_FALSE(ResampleOriented(from, to, kOrientationLeft, EnlargeFilter(2)));
  EXPECT_EQ(reverse(first.bytes), working.bytes);
}

// The first byte where two buffers differ, or their size when they are the same.
std::size_t FirstDifference(const std::vector<std::uint8_t>& a,
                            const std::vector<std::uint8_t>& b) {
  return std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
}

TEST(ResampleOriented, BandsGiveThePixelsOfOneThread) {
  struct Case {
    int sw, sh, dw, dh, orientation;
    EnlargeFilter filter;
  } const kCases[] = {
      {640, 480, 700, 1000, 3, EnlargeFilter::kCubic},     // rows become columns
      {640, 480, 1000, 700, 1, EnlargeFilter::kBilinear},  // rows reversed
      {2000, 1500, 700, 500, 6, EnlargeFilter::kCubic},    // a reduction
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
    const Picture src(c.sw, c.sh, 0, 7, true);
    Picture spread(c.dw, c.dh, 0, 1, true), kept(c.dw, c.dh, 0, 2, true);
    const auto orientation = ImageOrientation(c.orientation);
    ASSERT_TRUE(ResampleOriented(src.view(), spread.mutable_view(), orientation, c.filter));
    {
      const KeepOnThisThread keep;
      ASSERT_TRUE(ResampleOriented(src.view(), kept.mutable_view(), orientation, c.filter));
    }
    EXPECT_EQ(FirstDifference(spread.bytes, kept.bytes), spread.bytes.size());
    if (std::max(c.dw, c.dh) <= std::min(c.sw, c.sh)) {  // no side grows: as the reducing form
      ASSERT_TRUE(ResampleOriented(src.view(), kept.mutable_view(), orientation));
      EXPECT_EQ(FirstDifference(spread.bytes, kept.bytes), spread.bytes.size());
    }
  }
}

}  // namespace
}  // namespace kelvane::platform
