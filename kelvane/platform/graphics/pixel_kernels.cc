// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/pixel_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/internal/pixel_buffer.h"

// The loops below are written for the vectoriser: plain index loops over restrict-qualified
// rows, no branches inside. The running sum along a row is serial, so it works on the
// compiler's generic four-lane vectors instead; on x86-64 the means are narrowed to bytes with
// SSE2's saturating packs, which the vectoriser does not find. This file is built with -O3
// (see CMakeLists.txt).

namespace kelvane::platform {

namespace internal {

bool IsUsable(const PixelView& pixels) noexcept {
  return pixels.data != nullptr && pixels.layout.IsValid() && pixels.layout.BytesPerPixel() == 4;
}

bool Overlap(const PixelView& a, const PixelView& b) noexcept {
  const std::uint8_t* a0 = a.Row(0);
  const std::uint8_t* b0 = b.Row(0);
  const std::uint8_t* a1 = a.Row(a.layout.height - 1) + std::size_t{a.layout.width} * 4;
  const std::uint8_t* b1 = b.Row(b.layout.height - 1) + std::size_t{b.layout.width} * 4;
  return std::less<>()(a0, b1) && std::less<>()(b0, a1);
}

}  // namespace internal

using internal::IsUsable;
using internal::kMaxPixelBytes;
using internal::Overlap;
using internal::Row;

namespace {

// The kernels read and write pixels as they lie: both sides alike, in the same layout.
bool SameShape(const PixelLayout& a, const PixelLayout& b) {
  return a.width == b.width && a.height == b.height && a.SameFormat(b);
}

// How many bands of rows a pass over `layout` runs in, none shorter than `min_rows`.
std::size_t BandCount(const PixelLayout& layout, std::uint32_t min_rows) noexcept {
  return RowBands(std::uint64_t{layout.width} * layout.height, layout.height, min_rows);
}

}  // namespace

// ---- box filter ----------------------------------------------------------------------------

namespace {

constexpr std::size_t kAlign = 64;
// Column sums past the row's end, zero, that LoadPixel() may read.
constexpr std::size_t kColumnSlack = 8;
// Pixels per chunk of window sums.
constexpr std::int64_t kChunk = 256;

// Column sums of a box up to 257 rows tall fit 16 bits (257 x 255 = 65535), which halves the
// memory the vertical pass walks; taller boxes sum in 32 bits.
bool NarrowColumnSums(std::uint32_t kernel_height) { return kernel_height <= 257; }

// Box areas below this one are averaged in single precision (see WriteMeans()).
constexpr std::uint32_t kSingleAreaLimit = 8192;
// Box areas below this one have sums in the signed 32-bit range (area x 255 < 2^31), which SSE2
// converts to double precision in one step.
constexpr std::uint32_t kSignedSumAreaLimit = 8421505;

#if defined(__SSE2__)
// Means of four sums as 32-bit lanes, in single or double precision as WriteMeans() chooses;
// the same operations as its plain loops, so the same results.
struct SingleMeans {
  explicit SingleMeans(std::uint32_t area)
      : inv(_mm_set1_ps(1.0f / static_cast<float>(area))), half(_mm_set1_ps(0.5f)) {}
  __m128i operator()(__m128i s) const {
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(s), inv), half));
  }
  __m128 inv, half;
};

struct DoubleMeans {
  explicit DoubleMeans(std::uint32_t area)
      : inv(_mm_set1_pd(1.0 / static_cast<double>(area))), half(_mm_set1_pd(0.5)) {}
  __m128i operator()(__m128i s) const {
    const __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(s), inv), half);
    const __m128d hi = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(s, 8)), inv), half);
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
  }
  __m128d inv, half;
};

// Sixteen sums at `sums` to sixteen means at `out`. The compiler narrows 32-bit lanes to bytes
// with masks and shuffles; the means are known to lie in 0..255, so two saturating packs do.
template <typename Means>
void WriteSixteenMeans(const std::uint32_t* sums, std::uint8_t* out, const Means& mean) {
  auto at = [&](int k) {
    return mean(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + k)));
  };
  const __m128i lo = _mm_packs_epi32(at(0), at(4));
  const __m128i hi = _mm_packs_epi32(at(8), at(12));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(lo, hi));
}
#endif

bool KernelAccepted(std::uint32_t side) { return side % 2 == 1 && side <= kMaxBoxKernel; }

// Turns window sums into means: sum / area rounded to nearest. The area is odd, so no sum lies
// exactly halfway. Single precision is exact enough while the area stays below 8192 (the
// product's error, at most 256 x 2^-23 plus the half's rounding, stays under 1 / (2 x area));
// larger areas go through double precision, whose sums may pass the signed 32-bit range.
void WriteMeans(const std::uint32_t* __restrict sums, std::uint8_t* __restrict out, std::size_t n,
                std::uint32_t area) {
  std::size_t i = 0;
  if (area < kSingleAreaLimit) {
#if defined(__SSE2__)
    const SingleMeans mean(area);
    for (; i + 16 <= n; i += 16) WriteSixteenMeans(sums + i, out + i, mean);
#endif
    const float inv = 1.0f / static_cast<float>(area);
    for (; i < n; ++i) {
      out[i] = static_cast<std::uint8_t>(static_cast<std::int32_t>(
          static_cast<float>(static_cast<std::int32_t>(sums[i])) * inv + 0.5f));
    }
  } else {
#if defined(__SSE2__)
    if (area < kSignedSumAreaLimit) {
      const DoubleMeans mean(area);
      for (; i + 16 <= n; i += 16) WriteSixteenMeans(sums + i, out + i, mean);
    }
#endif
    const double inv = 1.0 / static_cast<double>(area);
    for (; i < n; ++i) {
      out[i] = static_cast<std::uint8_t>(
          static_cast<std::int32_t>(static_cast<double>(sums[i]) * inv + 0.5));
    }
  }
}

template <typename Sum>
void AddRow(Sum* __restrict sums, const std::uint8_t* __restrict row, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) sums[i] += row[i];
}

// Slides the column sums one row down: modular arithmetic keeps them exact, as every true sum
// fits the type.
template <typename Sum>
void SlideRows(Sum* __restrict sums, const std::uint8_t* __restrict in,
               const std::uint8_t* __restrict out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) sums[i] = static_cast<Sum>(sums[i] + in[i] - out[i]);
}

// Four channel sums of one pixel as a vector (the compiler's generic vectors: SSE2 on x86-64,
// NEON on ARM).
using Sums = std::uint32_t __attribute__((vector_size(16)));
using NarrowSums = std::uint16_t __attribute__((vector_size(16)));

// Widens the pixel at p; reads 8 bytes past it (the column block keeps that much slack), as a
// full-width load widens in one step where a half-width one takes several.
inline Sums LoadPixel(const std::uint16_t* p) {
  NarrowSums v;
  std::memcpy(&v, p, sizeof(v));
  // Interleaves the four sums with zeros: little-endian 32-bit lanes.
#if defined(__clang__)
  return reinterpret_cast<Sums>(__builtin_shufflevector(v, NarrowSums{}, 0, 8, 1, 9, 2, 10, 3, 11));
#else
  return reinterpret_cast<Sums>(
      __builtin_shuffle(v, NarrowSums{}, NarrowSums{0, 8, 1, 9, 2, 10, 3, 11}));
#endif
}

inline Sums LoadPixel(const std::uint32_t* p) {
  Sums v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}

#if defined(__SSE2__)
// The means of pixels [x, end) (whole blocks of four), straight from the running sum without
// the window block: four pixels make one 16-byte store. Rounded as WriteMeans() rounds.
// Returns the first pixel not written.
template <typename Sum, typename Means>
std::int64_t FusedMeans(const Sum* __restrict column, std::uint8_t* __restrict out, std::int64_t x,
                        std::int64_t end, std::int64_t r, const Means& mean, Sums& sum) {
  auto next = [&] {
    sum += LoadPixel(column + 4 * (x + r)) - LoadPixel(column + 4 * (x - r - 1));
    ++x;
    return mean((__m128i)sum);
  };
  while (x + 4 <= end) {
    std::uint8_t* at = out + 4 * x;
    const __m128i a = next(), b = next(), c = next(), d = next();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                     _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
  }
  return x;
}
#endif

// One output row from the column sums: a running sum along the row of the column sums around
// each pixel (clamped at the ends), so its cost does not depend on r beyond the first pixel.
// Sums go out in chunks of kChunk pixels through `window`, small enough to stay in the
// first-level cache until WriteMeans() reads them back; on x86-64 the unclamped middle of the
// row skips the window.
template <typename Sum>
void BoxRow(const Sum* __restrict column, std::uint32_t* __restrict window,
            std::uint8_t* __restrict out, std::int64_t w, std::int64_t r, std::uint32_t area) {
  // The sum is serial along the row, so its four channels go in one vector. It starts as the
  // sum of pixel -1, which the clamped step at pixel 0 turns into pixel 0's.
  Sums sum = LoadPixel(column) * static_cast<std::uint32_t>(r + 1);
  for (std::int64_t i = 1; i <= r; ++i) sum += LoadPixel(column + 4 * std::min(i, w - 1));
  sum += LoadPixel(column) - LoadPixel(column + 4 * std::min(r, w - 1));
  auto clamped = [&](std::int64_t x) {
    sum += LoadPixel(column + 4 * std::min(x + r, w - 1)) -
           LoadPixel(column + 4 * std::max<std::int64_t>(x - r - 1, 0));
  };
  auto plain = [&](std::int64_t x) {
    sum += LoadPixel(column + 4 * (x + r)) - LoadPixel(column + 4 * (x - r - 1));
  };
  auto via_window = [&](std::int64_t x0, std::int64_t x1, auto step) {
    for (std::int64_t c0 = x0; c0 < x1; c0 += kChunk) {
      const std::int64_t c1 = std::min(c0 + kChunk, x1);
      for (std::int64_t x = c0; x < c1; ++x) {
        step(x);
        std::memcpy(window + 4 * (x - c0), &sum, sizeof(sum));
      }
      WriteMeans(window, out + 4 * c0, 4 * (c1 - c0), area);
    }
  };
  // Pixels whose window lies inside the row need no clamping: x in [r + 1, w - 1 - r].
  const std::int64_t lo = r + 1, hi = w - 1 - r;
  if (lo > hi) {
    via_window(0, w, clamped);
    return;
  }
  via_window(0, lo, clamped);
  std::int64_t x = lo;
#if defined(__SSE2__)
  if (area < kSingleAreaLimit) {
    x = FusedMeans(column, out, x, hi + 1, r, SingleMeans(area), sum);
  } else if (area < kSignedSumAreaLimit) {
    x = FusedMeans(column, out, x, hi + 1, r, DoubleMeans(area), sum);
  }
#endif
  via_window(x, hi + 1, plain);
  via_window(hi + 1, w, clamped);
}

// Output rows [y0, y1). The column sums start from the window around row y0, so a band gives
// the same bytes as the rows it covers in one pass over the picture: the sums are exact.
template <typename Sum>
void BoxPass(const PixelView& src, const MutablePixelView& dst, std::uint32_t kw, std::uint32_t kh,
             void* block, std::int64_t y0, std::int64_t y1) {
  const std::size_t n = std::size_t{src.layout.width} * 4;
  auto* column = new (block) Sum[n + kColumnSlack];
  auto* window =
      new (static_cast<std::uint8_t*>(block) +
           internal::AlignUp((n + kColumnSlack) * sizeof(Sum), kAlign)) std::uint32_t[4 * kChunk];
  const std::int64_t h = src.layout.height, ry = kh / 2, rx = kw / 2;

  // Column sums of the window around row y0, edge rows repeated.
  std::fill(column, column + n + kColumnSlack, Sum{0});
  for (std::int64_t i = y0 - ry; i <= y0 + ry; ++i) {
    AddRow(column, Row(src, std::clamp<std::int64_t>(i, 0, h - 1)), n);
  }

  for (std::int64_t y = y0; y < y1; ++y) {
    BoxRow(column, window, Row(dst, y), src.layout.width, rx, kw * kh);
    if (y + 1 < y1) {
      SlideRows(column, Row(src, std::min(y + 1 + ry, h - 1)),
                Row(src, std::max<std::int64_t>(y - ry, 0)), n);
    }
  }
}

}  // namespace

std::size_t BoxConvolveScratchSize(std::uint32_t width, std::uint32_t kernel_width,
                                   std::uint32_t kernel_height) noexcept {
  if (width == 0 || width > kMaxPixelBytes / 4) return 0;
  if (!KernelAccepted(kernel_width) || !KernelAccepted(kernel_height)) return 0;
  const std::size_t n = std::size_t{width} * 4;
  const std::size_t column = (n + kColumnSlack) * (NarrowColumnSums(kernel_height) ? 2 : 4);
  // Slack for aligning a caller's block of any alignment.
  return kAlign + internal::AlignUp(column, kAlign) + 16 * kChunk;
}

bool BoxConvolve(const PixelView& source, const MutablePixelView& destination,
                 std::uint32_t kernel_width, std::uint32_t kernel_height, void* scratch,
                 std::size_t scratch_size) noexcept {
  if (!IsUsable(source) || !IsUsable(destination)) return false;
  if (!SameShape(source.layout, destination.layout)) return false;
  if (Overlap(source, destination)) return false;
  const std::size_t needed =
      BoxConvolveScratchSize(source.layout.width, kernel_width, kernel_height);
  if (needed == 0) return false;
  if (scratch != nullptr && scratch_size < needed) return false;
  // Each band has a block of its own. The caller's block serves as many bands as it holds;
  // the others share one allocation, and when that fails the pass runs as one band.
  std::size_t bands = BandCount(source.layout, kernel_height / 2);
  const std::size_t given = scratch == nullptr ? 0 : scratch_size / needed;
  std::unique_ptr<void, decltype(&std::free)> own(nullptr, &std::free);
  if (given < bands) {
    own.reset(std::malloc((bands - given) * needed));
    if (own == nullptr) {
      bands = 1;
      if (given == 0) own.reset(std::malloc(needed));
      if (given == 0 && own == nullptr) return false;
    }
  }
  auto block = [&](std::size_t i) {
    void* base = i < given ? static_cast<std::uint8_t*>(scratch) + i * needed
                           : static_cast<std::uint8_t*>(own.get()) + (i - given) * needed;
    return reinterpret_cast<void*>(
        internal::AlignUp(reinterpret_cast<std::uintptr_t>(base), kAlign));
  };
  const bool narrow = NarrowColumnSums(kernel_height);
  ApplyToRowBands(bands, source.layout.height,
                  [&](std::size_t i, std::int64_t y0, std::int64_t y1) {
                    if (narrow) {
                      BoxPass<std::uint16_t>(source, destination, kernel_width, kernel_height,
                                             block(i), y0, y1);
                    } else {
                      BoxPass<std::uint32_t>(source, destination, kernel_width, kernel_height,
                                             block(i), y0, y1);
                    }
                  });
  return true;
}

// Deprecated form, kept for programs built against it.
bool BoxConvolve(const PixelBuffer& source, const PixelBuffer& destination,
                 std::uint32_t kernel_width, std::uint32_t kernel_height, void* scratch,
                 std::size_t scratch_size) noexcept {
  return BoxConvolve(internal::ViewOf(source), internal::ViewOf(destination), kernel_width,
                     kernel_height, scratch, scratch_size);
}

std::uint32_t BoxKernelSize(double radius, double scale) noexcept {
  constexpr double kEpsilon = 1.1920928955078125e-07;  // single-precision epsilon
  const double r = radius * scale;
  double d = ((r * 3.0 * 2.5066282746310002) * 0.25 + 0.5) * 0.5;
  if (r - 2.0 < kEpsilon) d = 2.1299712059732503;
  std::uint32_t k = 0;
  if (std::isnan(d) || d < 0) {
    k = 0;
  } else if (d >= 4294967296.0) {
    k = 0xFFFFFFFF;
  } else {
    k = static_cast<std::uint32_t>(std::floor(d));
  }
  return k | 1;
}

// ---- colour matrix -------------------------------------------------------------------------

namespace {

void MatrixRow(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, std::size_t w,
               const std::int16_t* __restrict m) {
  std::size_t x = 0;
#if defined(__SSE2__)
  // A pixel's channels in pairs, (b, g) and (r, a), against the weights in the same pairs: one
  // 16-bit multiply-add makes two products' sum for all four destination channels, exact (a
  // channel is at most 255). The saturating packs clamp to 0..255.
  const __m128i bg = _mm_setr_epi16(m[0], m[4], m[1], m[5], m[2], m[6], m[3], m[7]);
  const __m128i ra = _mm_setr_epi16(m[8], m[12], m[9], m[13], m[10], m[14], m[11], m[15]);
  const __m128i half = _mm_set1_epi32(128), zero = _mm_setzero_si128();
  auto pixel = [&](__m128i pair_bg, __m128i pair_ra) {
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(pair_bg, bg), _mm_madd_epi16(pair_ra, ra));
    return _mm_srai_epi32(_mm_add_epi32(sum, half), 8);
  };
  for (; x + 4 <= w; x += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
    const __m128i lo = _mm_unpacklo_epi8(p, zero), hi = _mm_unpackhi_epi8(p, zero);
    const __m128i p0 = pixel(_mm_shuffle_epi32(lo, 0x00), _mm_shuffle_epi32(lo, 0x55));
    const __m128i p1 = pixel(_mm_shuffle_epi32(lo, 0xAA), _mm_shuffle_epi32(lo, 0xFF));
    const __m128i p2 = pixel(_mm_shuffle_epi32(hi, 0x00), _mm_shuffle_epi32(hi, 0x55));
    const __m128i p3 = pixel(_mm_shuffle_epi32(hi, 0xAA), _mm_shuffle_epi32(hi, 0xFF));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                     _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3)));
  }
#endif
  // 16-bit operands, so that the products widen with 16-bit multiplies.
  for (; x < w; ++x) {
    const std::int16_t b = in[4 * x], g = in[4 * x + 1], r = in[4 * x + 2], a = in[4 * x + 3];
    for (int j = 0; j < 4; ++j) {
      const std::int32_t sum = b * m[j] + g * m[4 + j] + r * m[8 + j] + a * m[12 + j] + 128;
      out[4 * x + j] = static_cast<std::uint8_t>(std::clamp(sum >> 8, 0, 255));
    }
  }
}

}  // namespace

bool ColorMatrixMultiply(const PixelView& source, const MutablePixelView& destination,
                         const ColorMatrix& matrix) noexcept {
  if (!IsUsable(source) || !IsUsable(destination)) return false;
  if (!SameShape(source.layout, destination.layout)) return false;
  const bool same = source.data == destination.data &&
                    source.layout.bytes_per_row == destination.layout.bytes_per_row;
  if (!same && Overlap(source, destination)) return false;
  std::int16_t m[16];
  std::copy(matrix.begin(), matrix.end(), m);
  const std::uint32_t width = source.layout.width;
  const std::size_t bands = BandCount(source.layout, 0);
  ApplyToRowBands(bands, source.layout.height, [&](std::size_t, std::int64_t y0, std::int64_t y1) {
    // In place, each pixel is read whole before it is written, so one row buffer is enough.
    alignas(kAlign) std::uint8_t line[4096];
    for (std::int64_t y = y0; y < y1; ++y) {
      const std::uint8_t* in = Row(source, y);
      std::uint8_t* out = Row(destination, y);
      if (!same) {
        MatrixRow(in, out, width, m);
        continue;
      }
      for (std::size_t x = 0; x < width; x += sizeof(line) / 4) {
        const std::size_t count = std::min<std::size_t>(sizeof(line) / 4, width - x);
        MatrixRow(in + 4 * x, line, count, m);
        std::copy(line, line + 4 * count, out + 4 * x);
      }
    }
  });
  return true;
}

// Deprecated form, kept for programs built against it.
bool ColorMatrixMultiply(const PixelBuffer& source, const PixelBuffer& destination,
                         const ColorMatrix& matrix) noexcept {
  return ColorMatrixMultiply(internal::ViewOf(source), internal::ViewOf(destination), matrix);
}

ColorMatrix SaturationMatrix(double s) noexcept {
  // Luminance weights as single-precision constants widened to double: blue, green, red.
  const double lb = 0.0722f, lg = 0.7152f, lr = 0.2126f;
  const double kb = 0.9278f, kg = 0.2848f, kr = 0.7873f;
  const double entries[16] = {
      lb + kb * s, lb - lb * s, lb - lb * s, 0,  //
      lg - lg * s, lg + kg * s, lg - lg * s, 0,  //
      lr - lr * s, lr - lr * s, lr + kr * s, 0,  //
      0,           0,           0,           1,
  };
  ColorMatrix m{};
  for (int i = 0; i < 16; ++i) {
    // Clamped before narrowing, so that huge factors saturate instead of overflowing.
    const double scaled = entries[i] * 256.0;
    if (std::isnan(scaled)) continue;
    const float v = std::round(static_cast<float>(std::clamp(scaled, -40000.0, 40000.0)));
    m[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f));
  }
  return m;
}

}  // namespace kelvane::platform
