#include "kelvane/platform/graphics/pixel_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace kelvane::platform {
namespace {

// A picture of w x h pixels whose rows carry `pad` bytes past the pixels, with its own memory.
struct Picture {
  Picture(std::uint32_t w, std::uint32_t h, std::size_t pad = 0, std::uint32_t seed = 0)
      : bytes((std::size_t{w} * 4 + pad) * h), buffer{nullptr, w, h, std::size_t{w} * 4 + pad} {
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    buffer.data = bytes.data();
  }
  std::uint8_t& at(std::int64_t x, std::int64_t y, int c) {
    return bytes[y * buffer.bytes_per_row + 4 * x + c];
  }
  std::vector<std::uint8_t> bytes;
  PixelBuffer buffer;
};

// The box mean of every pixel, clamped coordinates, rounded to nearest.
Picture ReferenceBox(Picture& in, int kw, int kh) {
  const std::int64_t w = in.buffer.width, h = in.buffer.height;
  Picture out(w, h);
  for (std::int64_t y = 0; y < h; ++y) {
    for (std::int64_t x = 0; x < w; ++x) {
      for (int c = 0; c < 4; ++c) {
        std::int64_t sum = 0;
        for (std::int64_t j = y - kh / 2; j <= y + kh / 2; ++j) {
          for (std::int64_t i = x - kw / 2; i <= x + kw / 2; ++i) {
            sum += in.at(std::clamp<std::int64_t>(i, 0, w - 1),
                         std::clamp<std::int64_t>(j, 0, h - 1), c);
          }
        }
        out.at(x, y, c) = static_cast<std::uint8_t>((sum + kw * kh / 2) / (kw * kh));
      }
    }
  }
  return out;
}

std::vector<std::uint8_t> Pixels(Picture& p) {
  std::vector<std::uint8_t> v;
  for (std::uint32_t y = 0; y < p.buffer.height; ++y) {
    v.insert(v.end(), &p.at(0, y, 0), &p.at(0, y, 0) + p.buffer.width * 4);
  }
  return v;
}

TEST(BoxConvolve, MatchesReferenceLoop) {
  struct Case {
    std::uint32_t w, h;
    std::size_t pad;
    int kw, kh;
  };
  const Case cases[] = {{1, 1, 0, 3, 3},     {2, 3, 0, 5, 7},   {17, 9, 3, 3, 5},
                        {300, 31, 1, 57, 3}, {33, 20, 0, 1, 9}, {12, 11, 0, 91, 91},
                        {520, 2, 0, 7, 259}, {9, 300, 5, 13, 1}};
  for (const Case& c : cases) {
    Picture in(c.w, c.h, c.pad, c.w * 7 + c.h), out(c.w, c.h, c.pad, 99);
    const std::vector<std::uint8_t> padding_before = out.bytes;
    std::vector<std::uint8_t> scratch(BoxConvolveScratchSize(c.w, c.kw, c.kh));
    ASSERT_TRUE(BoxConvolve(in.buffer, out.buffer, c.kw, c.kh, scratch.data(), scratch.size()));
    Picture expected = ReferenceBox(in, c.kw, c.kh);
    EXPECT_EQ(Pixels(out), Pixels(expected))
        << c.w << "x" << c.h << " kernel " << c.kw << "x" << c.kh;
    for (std::size_t i = 0; i < out.bytes.size(); ++i) {
      if (i % out.buffer.bytes_per_row >= c.w * 4u) {
        ASSERT_EQ(out.bytes[i], padding_before[i]);
      }
    }
  }
}

TEST(BoxConvolve, KeepsConstantsIntensityAndFarPixels) {
  // Three passes sharing one block, as the effects run them.
  Picture a(50, 40), b(50, 40);
  std::fill(a.bytes.begin(), a.bytes.end(), 77);
  std::vector<std::uint8_t> scratch(BoxConvolveScratchSize(50, 11, 11));
  for (int pass = 0; pass < 3; ++pass) {
    Picture& from = pass % 2 ? b : a;
    Picture& to = pass % 2 ? a : b;
    ASSERT_TRUE(BoxConvolve(from.buffer, to.buffer, 11, 11, scratch.data(), scratch.size()));
  }
  EXPECT_EQ(b.bytes, std::vector<std::uint8_t>(b.bytes.size(), 77));

  // Content away from the edges by more than the kernel reaches: nothing spills or is lost.
  Picture c(60, 60), d(60, 60);
  std::fill(c.bytes.begin(), c.bytes.end(), 0);
  std::mt19937 random(5);
  for (int y = 20; y < 40; ++y) {
    for (int x = 20; x < 40; ++x) c.at(x, y, random() % 4) = random() % 256;
  }
  ASSERT_TRUE(BoxConvolve(c.buffer, d.buffer, 9, 9, nullptr, 0));
  std::int64_t before = 0, after = 0;
  for (auto v : c.bytes) before += v;
  for (auto v : d.bytes) after += v;
  EXPECT_LE(std::abs(after - before), 28 * 28 * 4 / 2);  // what the content reaches, +-0.5 each

  // A step edge at x = 30: pixels more than 4 columns away stay as they were.
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 60; ++x) {
      for (int ch = 0; ch < 4; ++ch) c.at(x, y, ch) = x < 30 ? 10 : 200;
    }
  }
  ASSERT_TRUE(BoxConvolve(c.buffer, d.buffer, 9, 9, nullptr, 0));
  for (int x = 0; x < 60; ++x) {
    const bool reached = x >= 26 && x <= 33;
    EXPECT_EQ(d.at(x, 30, 1) != c.at(x, 30, 1), reached) << x;
  }
}

TEST(BoxConvolve, RefusesBadArgumentsWithoutWriting) {
  Picture in(8, 8), out(8, 8), small(8, 7);
  const std::vector<std::uint8_t> untouched = out.bytes;
  std::vector<std::uint8_t> scratch(BoxConvolveScratchSize(8, 3, 3));
  PixelBuffer narrow_rows = in.buffer, shifted = in.buffer;
  narrow_rows.bytes_per_row = 31;
  shifted.data = in.bytes.data() + 4;
  EXPECT_FALSE(BoxConvolve(in.buffer, out.buffer, 4, 3, nullptr, 0));
  EXPECT_FALSE(BoxConvolve(in.buffer, out.buffer, 3, 0, nullptr, 0));
  EXPECT_FALSE(BoxConvolve(in.buffer, out.buffer, kMaxBoxKernel + 2, 3, nullptr, 0));
  EXPECT_FALSE(BoxConvolve(in.buffer, small.buffer, 3, 3, nullptr, 0));
  EXPECT_FALSE(BoxConvolve(narrow_rows, out.buffer, 3, 3, nullptr, 0));
  EXPECT_FALSE(BoxConvolve(in.buffer, out.buffer, 3, 3, scratch.data(), scratch.size() - 1));
  EXPECT_FALSE(BoxConvolve(in.buffer, shifted, 3, 3, nullptr, 0));
  EXPECT_FALSE(BoxConvolve(in.buffer, in.buffer, 3, 3, nullptr, 0));
  EXPECT_EQ(out.bytes, untouched);
  EXPECT_EQ(BoxConvolveScratchSize(8, 2, 3), 0u);
}

TEST(BoxKernelSize, FollowsTheRadiusAndScale) {
  struct Case {
    double radius, scale;
    std::uint32_t side;
  };
  const Case cases[] = {{60, 1, 57}, {60, 2, 113}, {60, 3, 169}, {40, 1, 37},
                        {40, 2, 75}, {40, 3, 113}, {20, 1, 19},  {20, 2, 37},
                        {20, 3, 57}, {1, 1, 3},    {1, 2, 3},    {0.5, 1, 3},
                        {0, 1, 3},   {-5, 2, 3},   {NAN, 1, 1},  {1e300, 1, 0xFFFFFFFF}};
  for (const Case& c : cases) EXPECT_EQ(BoxKernelSize(c.radius, c.scale), c.side) << c.radius;
}

TEST(SaturationMatrix, GivesTheIntegerMatrices) {
  EXPECT_EQ(SaturationMatrix(1.8),
            (ColorMatrix{446, -15, -15, 0, -146, 314, -146, 0, -44, -44, 417, 0, 0, 0, 0, 256}));
  EXPECT_EQ(SaturationMatrix(-1.0),
            (ColorMatrix{-219, 37, 37, 0, 366, 110, 366, 0, 109, 109, -147, 0, 0, 0, 0, 256}));
  EXPECT_EQ(SaturationMatrix(1.0),
            (ColorMatrix{256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256}));
  const ColorMatrix huge = SaturationMatrix(1e9);
  EXPECT_EQ(huge[0], 32767);
  EXPECT_EQ(huge[4], -32768);
  EXPECT_EQ(SaturationMatrix(NAN)[0], 0);
}

TEST(ColorMatrixMultiply, RoundsClampsAndKeepsGrey) {
  // Grey at every level and coverage stays grey; pure red clamps; halves round upward.
  Picture grey(256, 2), out(256, 2);
  for (int v = 0; v < 256; ++v) {
    for (int c = 0; c < 3; ++c) grey.at(v, 0, c) = grey.at(v, 1, c) = v;
    grey.at(v, 0, 3) = 255;
    grey.at(v, 1, 3) = 255 - v / 2;
  }
  ASSERT_TRUE(ColorMatrixMultiply(grey.buffer, out.buffer, SaturationMatrix(1.8)));
  for (int v = 0; v < 256; ++v) {
    for (int y = 0; y < 2; ++y) {
      // The whole-number weights of blue and red sum to 256, green's to 255.
      EXPECT_EQ(out.at(v, y, 0), v);
      EXPECT_LE(std::abs(out.at(v, y, 1) - v), 1);
      EXPECT_EQ(out.at(v, y, 2), v);
      EXPECT_EQ(out.at(v, y, 3), grey.at(v, y, 3));
    }
  }
  Picture red(3, 1);
  red.bytes = {0, 0, 255, 255, 1, 1, 1, 1, 3, 3, 3, 3};
  ColorMatrix halves = SaturationMatrix(1.8);
  halves[4 * 3 + 3] = 128;   // alpha halves: 1 -> 0.5 -> 1, 3 -> 1.5 -> 2
  halves[4 * 0 + 1] = -128;  // green = -b / 2: 1 -> -0.5 -> 0, 3 -> -1.5 -> -1 -> 0
  halves[4 * 1 + 1] = 0;
  halves[4 * 2 + 1] = 0;
  ASSERT_TRUE(ColorMatrixMultiply(red.buffer, red.buffer, halves));  // in place
  EXPECT_EQ(red.bytes, (std::vector<std::uint8_t>{0, 0, 255, 128, 1, 0, 1, 1, 3, 0, 3, 2}));
}

// Pixel values named by position: stored pixel (x, y) holds x + 10 y in every channel.
std::vector<std::uint8_t> Turned(int orientation) {
  Picture in(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      for (int c = 0; c < 4; ++c) in.at(x, y, c) = static_cast<std::uint8_t>(x + 10 * y);
    }
  }
  const bool t = IsTransposedOrientation(orientation);
  Picture out(t ? 2 : 3, t ? 3 : 2, 4);
  EXPECT_TRUE(ResampleOriented(in.buffer, out.buffer, orientation));
  std::vector<std::uint8_t> firsts;
  for (std::size_t i = 0; i < out.bytes.size(); i += 4) {
    if (i % out.buffer.bytes_per_row < out.buffer.width * 4u) firsts.push_back(out.bytes[i]);
  }
  return firsts;
}

TEST(ResampleOriented, TurnsAllEightOrientationsExactly) {
  // Stored: A B C / D E F with A = 0, C = 2, D = 10, F = 12. Displayed row by row:
  const std::vector<std::uint8_t> expected[8] = {
      {0, 1, 2, 10, 11, 12},   // up
      {12, 11, 10, 2, 1, 0},   // down
      {2, 12, 1, 11, 0, 10},   // left: C F / B E / A D
      {10, 0, 11, 1, 12, 2},   // right: D A / E B / F C
      {2, 1, 0, 12, 11, 10},   // up mirrored
      {10, 11, 12, 0, 1, 2},   // down mirrored
      {0, 10, 1, 11, 2, 12},   // left mirrored: A D / B E / C F
      {12, 2, 11, 1, 10, 0}};  // right mirrored: F C / E B / D A
  for (int o = 0; o < 8; ++o) EXPECT_EQ(Turned(o), expected[o]) << o;
}

TEST(ResampleOriented, AveragesCoveredAreas) {
  // 2:1 each way: means of 2 x 2 blocks, a half rounding upward.
  Picture in(4, 2), out(2, 1);
  in.bytes = {0, 1, 2, 9, 1, 1, 3, 9,  8, 8, 8, 8, 8,   8,   8,   8,
              1, 0, 2, 9, 0, 0, 3, 10, 0, 0, 0, 0, 255, 255, 255, 255};
  ASSERT_TRUE(ResampleOriented(in.buffer, out.buffer, 0));
  EXPECT_EQ(out.bytes, (std::vector<std::uint8_t>{1, 1, 3, 9, 68, 68, 68, 68}));

  // Fractional ratios against exact coverage computed in long double, turned as orientation 0
  // and 3 (right: displayed (X, Y) shows grid (Y, gh - 1 - X)).
  for (auto [sw, sh, gw, gh] :
       {std::array{7, 5, 3, 2}, {10, 9, 4, 7}, {9, 4, 3, 3}, {5, 5, 5, 2}}) {
    Picture src(sw, sh, 0, sw + sh);
    Picture up(gw, gh, 2), right(gh, gw);
    ASSERT_TRUE(ResampleOriented(src.buffer, up.buffer, 0));
    ASSERT_TRUE(ResampleOriented(src.buffer, right.buffer, 3));
    for (int v = 0; v < gh; ++v) {
      for (int u = 0; u < gw; ++u) {
        for (int c = 0; c < 4; ++c) {
          long double sum = 0;
          const long double x0 = (long double)u * sw / gw, x1 = (long double)(u + 1) * sw / gw;
          const long double y0 = (long double)v * sh / gh, y1 = (long double)(v + 1) * sh / gh;
          for (int y = 0; y < sh; ++y) {
            for (int x = 0; x < sw; ++x) {
              const long double wx = std::max<long double>(
                  0, std::min<long double>(x + 1, x1) - std::max<long double>(x, x0));
              const long double wy = std::max<long double>(
                  0, std::min<long double>(y + 1, y1) - std::max<long double>(y, y0));
              sum += wx * wy * src.at(x, y, c);
            }
          }
          const int mean =
              static_cast<int>(std::floor(sum / ((x1 - x0) * (y1 - y0)) + 0.5L + 1e-9L));
          EXPECT_EQ(up.at(u, v, c), mean) << sw << "x" << sh << " -> " << u << "," << v;
          EXPECT_EQ(right.at(gh - 1 - v, u, c), mean);
        }
      }
    }
  }
}

TEST(ResampleOriented, RefusesGrowthBadCodesAndOverlap) {
  Picture in(6, 4), out(5, 4), tall(4, 7);
  const std::vector<std::uint8_t> untouched = out.bytes;
  EXPECT_FALSE(ResampleOriented(in.buffer, out.buffer, 3));  // displayed 4 x 6 < 5 x 4 wide
  EXPECT_FALSE(ResampleOriented(in.buffer, tall.buffer, 2));
  EXPECT_FALSE(ResampleOriented(in.buffer, out.buffer, 8));
  EXPECT_FALSE(ResampleOriented(in.buffer, out.buffer, -1));
  EXPECT_FALSE(ResampleOriented(in.buffer, in.buffer, 0));
  EXPECT_EQ(out.bytes, untouched);
}

}  // namespace
}  // namespace kelvane::platform
