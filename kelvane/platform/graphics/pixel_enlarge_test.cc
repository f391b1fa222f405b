// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/pixel_kernels.h"

namespace kelvane::platform {
namespace {

// Random premultiplied pixels in the working format (B, G, R, A), many of them at the extremes
// so that the cubic overshoots; rows carry `pad` bytes of 0xEE past the pixels.
struct Pixels {
  Pixels(int w, int h, std::uint32_t seed, std::size_t pad = 0)
      : w(w), h(h), bpr(w * 4 + pad), bytes(bpr * h, 0xEE) {
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
};

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

TEST(ResampleOriented, EnlargesAsTheReferenceFilterInEveryOrientation) {
  // Source sides, then the grid's (the displayed sides before any turn): both growing, one
  // reduced (by little or much) or kept while the other grows, single pixels.
  const std::array<int, 4> kCases[] = {{5, 3, 17, 11}, {1, 1, 3, 2},  {7, 9, 8, 30}, {9, 5, 4, 13},
                                       {6, 6, 6, 20},  {2, 7, 11, 7}, {3, 40, 7, 6}};
  for (const auto& [sw, sh, gw, gh] : kCases) {
    const Pixels src(sw, sh, sw * 31 + sh);
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
            p[c] = std::clamp(int(std::lround(sum)), 0, 255);
          }
          for (int c = 0; c < 3; ++c) p[c] = std::min(p[c], p[3]);
        }
      }
      for (int o = 0; o < 8; ++o) {
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " -> " << gw << "x" << gh
                                        << ", filter " << int(filter) << ", turn " << o);
        const bool turned = IsTransposed(ImageOrientation(o));
        Pixels dst(turned ? gh : gw, turned ? gw : gh, 0, 8);
        std::fill(dst.bytes.begin(), dst.bytes.end(), 0xEE);
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
        EXPECT_LE(worst, 1);
        EXPECT_EQ(over_alpha, 0);
        EXPECT_EQ(pad_touched, 0);
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
  const Pixels src(9, 7, 5);
  Pixels working(20, 31, 0), first(20, 31, 0);
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
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
    const Pixels src(c.sw, c.sh, 7);
    Pixels spread(c.dw, c.dh, 1), kept(c.dw, c.dh, 2);
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
