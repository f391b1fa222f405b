// SPDX-License-Identifier: Apache-2.0
// Oriented resampling (declared in pixel_kernels.h).
//
// The picture is resampled in its stored orientation, one destination row of the stored grid at
// a time, and each finished row is written along the line of the destination the orientation
// sends it to; rows that become columns go out a block of rows at a time, so that every
// destination row receives whole cache lines.
//
// Reductions: all weights are whole numbers. Along an axis of S source and D destination
// pixels (reduced by their common divisor), a source pixel is D units long and a destination
// pixel S units, so every mean is an exact integer quotient.
//
// Enlargements: separable, in single precision. Each source row the destination needs is
// first resampled along the rows (kept in a ring of as many rows as the vertical filter has
// taps), then the ring's rows are weighed into the destination row. Single precision keeps
// every value within a thousandth of a level of the exact one, so the result is the exact
// filter's rounded, and it converts to bytes with SSE2's saturating packs.
//
// Bands: large destinations are cut into bands of grid rows run with ApplyConcurrently. Every
// row is computed alone from the source (a band starts with an empty ring), so the pixels do
// not depend on the cut. Each band's memory is allocated before any band runs.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/internal/pixel_buffer.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/platform/pixels/internal/row_reducer.h"

namespace kelvane::platform {

using internal::IsUsable;
using internal::Overlap;
using internal::Row;

namespace {

// Source pixels under each destination pixel of one axis, with the units of each that the
// destination pixel covers. The units of one destination pixel sum to `total`.
struct Axis {
  std::vector<std::uint32_t> first;   // first source pixel, per destination pixel
  std::vector<std::uint32_t> offset;  // into weights, per destination pixel, plus the end
  std::vector<std::uint32_t> weights;
  std::uint64_t total = 0;
  std::uint32_t factor = 0;  // source pixels per destination pixel when that is whole, else 0
};

Axis MakeAxis(std::uint32_t source, std::uint32_t dest) {
  internal::AreaAxis area = internal::MakeAreaAxis(source, dest);
  Axis axis;
  axis.total = area.source_units;
  axis.factor = area.dest_units == 1 ? static_cast<std::uint32_t>(area.source_units) : 0;
  axis.first = std::move(area.first);
  axis.offset = std::move(area.offset);
  axis.weights = std::move(area.weights);
  return axis;
}

// Exact (n + den / 2) / den, halves rounding upward, for n up to 255 x den: a multiply and a
// shift while 2^shift >= 256 x den^2 fits (the error term then stays under 1 / den), a
// division beyond.
struct Divider {
  explicit Divider(std::uint64_t den) : den(den), half(den / 2) {
    unsigned bits = 0;
    while ((std::uint64_t{1} << bits) < den) ++bits;
    shift = 8 + 2 * bits;
    if (shift <= 54) mul = ((std::uint64_t{1} << shift) + den - 1) / den;
  }
  std::uint64_t den, half, mul = 0;
  unsigned shift;
};

template <typename Acc>
void DivideRow(const Acc* __restrict sums, std::uint8_t* __restrict out, std::size_t n,
               const Divider& div) {
  if (div.mul != 0) {
    const std::uint64_t half = div.half, mul = div.mul;
    const unsigned shift = div.shift;
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = static_cast<std::uint8_t>(((sums[i] + half) * mul) >> shift);
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = static_cast<std::uint8_t>((sums[i] + div.half) / div.den);
    }
  }
}

// Where the stored grid's row v lands: the destination address of its pixel 0, and the step in
// bytes to its pixel u + 1. gw x gh are the grid's sides (the destination's, transposed for
// the transposed orientations).
struct Line {
  std::uint8_t* start;
  std::ptrdiff_t step;
};

Line Place(const MutablePixelView& d, ImageOrientation orientation, std::int64_t v, std::int64_t gw,
           std::int64_t gh) {
  const auto bpr = static_cast<std::ptrdiff_t>(d.layout.bytes_per_row);
  switch (orientation) {
    case kOrientationDown:
      return {Row(d, gh - 1 - v) + 4 * (gw - 1), -4};
    case kOrientationLeft:
      return {Row(d, gw - 1) + 4 * v, -bpr};
    case kOrientationRight:
      return {Row(d, 0) + 4 * (gh - 1 - v), bpr};
    case kOrientationUpMirrored:
      return {Row(d, v) + 4 * (gw - 1), -4};
    case kOrientationDownMirrored:
      return {Row(d, gh - 1 - v), 4};
    case kOrientationLeftMirrored:
      return {Row(d, 0) + 4 * v, bpr};
    case kOrientationRightMirrored:
      return {Row(d, gw - 1) + 4 * (gh - 1 - v), -bpr};
    default:
      return {Row(d, v), 4};
  }
}

// Rows that run left to right are made in place (Output::Target), so the rows written out here
// run right to left or down a column.
void WriteLine(const std::uint8_t* pixels, std::size_t count, Line line) {
  for (std::size_t u = 0; u < count; ++u) {
    std::memcpy(line.start + static_cast<std::ptrdiff_t>(u) * line.step, pixels + 4 * u, 4);
  }
}

// Grid rows per block: 16 pixels of 4 bytes fill a 64-byte cache line of a destination row
// when the orientation turns grid rows into columns.
constexpr std::uint32_t kBlockRows = 16;

// Where a band's rows go. A row that lands on a destination row in order is made there;
// any other is made in the band's block and written out by Write().
struct Output {
  const MutablePixelView& dst;
  ImageOrientation orientation;
  std::uint32_t gw, gh;

  [[nodiscard]] bool Straight() const { return Place(dst, orientation, 0, gw, gh).step == 4; }
  // Where to make grid row v, the k-th of its block.
  [[nodiscard]] std::uint8_t* Target(std::uint32_t v, std::uint32_t k, std::uint8_t* block) const {
    const Line line = Place(dst, orientation, v, gw, gh);
    return line.step == 4 ? line.start : block + std::size_t{k} * gw * 4;
  }
  // Writes out grid rows v0 .. v0 + count - 1 made in the block.
  void Write(std::uint32_t v0, std::uint32_t count, const std::uint8_t* block) const {
    const std::size_t m = std::size_t{gw} * 4;
    if (Straight()) return;
    if (!IsTransposed(orientation)) {
      for (std::uint32_t k = 0; k < count; ++k) {
        WriteLine(block + k * m, gw, Place(dst, orientation, v0 + k, gw, gh));
      }
      return;
    }
    Line lines[kBlockRows];
    for (std::uint32_t k = 0; k < count; ++k) lines[k] = Place(dst, orientation, v0 + k, gw, gh);
    for (std::size_t u = 0; u < gw; ++u) {
      for (std::uint32_t k = 0; k < count; ++k) {
        std::memcpy(lines[k].start + static_cast<std::ptrdiff_t>(u) * lines[k].step,
                    block + k * m + 4 * u, 4);
      }
    }
  }
};

// Runs rows(v0, v1, scratch) over grid rows [0, gh): in one call, or in bands of whole blocks
// run at once when the destination is large and the calling thread lets its work spread. Every
// band's scratch is made by make() before any band runs, so that running out of memory
// (std::bad_alloc, left to the caller) writes nothing.
template <typename Scratch, typename Make, typename Rows>
void InBands(std::uint32_t gw, std::uint32_t gh, const Make& make, const Rows& rows) {
  // The shared rule (two bands a thread), in whole blocks.
  const std::size_t bands = RowBands(std::uint64_t{gw} * gh, gh);
  std::uint32_t per = gh;
  if (bands > 1) {
    per = static_cast<std::uint32_t>((gh + bands - 1) / bands);
    per = std::min(gh, (per + kBlockRows - 1) / kBlockRows * kBlockRows);
  }
  const std::uint32_t count = (gh + per - 1) / per;
  std::vector<Scratch> scratch;
  scratch.reserve(count);
  for (std::uint32_t b = 0; b < count; ++b) scratch.push_back(make());
  if (count == 1) return rows(0, gh, scratch[0]);
  ApplyConcurrently(count, [&](std::size_t b) {
    const auto v0 = static_cast<std::uint32_t>(b * per);
    rows(v0, std::min(gh, v0 + per), scratch[b]);
  });
}

// Runs one() for every grid row of [v0, v1) with the place to make it, block by block.
template <typename One>
void ByBlocks(const Output& out, std::uint32_t v0, std::uint32_t v1, std::uint8_t* block,
              const One& one) {
  for (std::uint32_t b = v0; b < v1; b += kBlockRows) {
    const std::uint32_t count = std::min(kBlockRows, v1 - b);
    for (std::uint32_t k = 0; k < count; ++k) one(b + k, out.Target(b + k, k, block));
    out.Write(b, count, block);
  }
}

template <typename Acc>
void AddWeightedRow(Acc* __restrict acc, const std::uint8_t* __restrict row, std::size_t n,
                    Acc weight) {
  for (std::size_t i = 0; i < n; ++i) acc[i] += row[i] * weight;
}

// A band's rows while reducing: column sums of the rows, their sums along the row, a block.
template <typename Acc, typename Sum>
struct ReduceScratch {
  std::vector<Acc> acc;
  std::vector<Sum> sums;
  std::vector<std::uint8_t> block;
};

template <typename Acc, typename Sum>
auto MakeReduceScratch(std::size_t n, const Output& out) {
  return [n, &out] {
    return ReduceScratch<Acc, Sum>{
        std::vector<Acc>(n), std::vector<Sum>(std::size_t{out.gw} * 4),
        std::vector<std::uint8_t>(out.Straight() ? 0 : std::size_t{kBlockRows} * out.gw * 4)};
  };
}

// Whole factors on both axes: every source pixel weighs 1, sums of up to 257 rows fit 16 bits.
void ResampleWhole(const PixelView& src, const Output& out, std::uint32_t fx, std::uint32_t fy) {
  using Scratch = ReduceScratch<std::uint16_t, std::uint32_t>;
  const std::size_t n = std::size_t{src.layout.width} * 4, gw = out.gw, m = gw * 4;
  const Divider div(std::uint64_t{fx} * fy);
  const auto rows = [&](std::uint32_t v0, std::uint32_t v1, Scratch& scratch) {
    ByBlocks(out, v0, v1, scratch.block.data(), [&](std::uint32_t v, std::uint8_t* target) {
      std::fill(scratch.acc.begin(), scratch.acc.end(), 0);
      for (std::uint32_t t = 0; t < fy; ++t) {
        AddWeightedRow<std::uint16_t>(scratch.acc.data(), Row(src, std::int64_t{v} * fy + t), n, 1);
      }
      const std::uint16_t* a = scratch.acc.data();
      std::uint32_t* s = scratch.sums.data();
      if (fx == 1) {
        std::copy(a, a + m, s);
      } else if (fx == 2) {
        for (std::size_t u = 0; u < gw; ++u) {
          for (int c = 0; c < 4; ++c) s[4 * u + c] = a[8 * u + c] + a[8 * u + 4 + c];
        }
      } else if (fx == 4) {
        for (std::size_t u = 0; u < gw; ++u) {
          for (int c = 0; c < 4; ++c) {
            s[4 * u + c] =
                a[16 * u + c] + a[16 * u + 4 + c] + a[16 * u + 8 + c] + a[16 * u + 12 + c];
          }
        }
      } else {
        for (std::size_t u = 0; u < gw; ++u) {
          std::uint32_t p[4] = {0, 0, 0, 0};
          for (std::size_t t = 0; t < fx; ++t) {
            for (int c = 0; c < 4; ++c) p[c] += a[4 * (u * fx + t) + c];
          }
          for (int c = 0; c < 4; ++c) s[4 * u + c] = p[c];
        }
      }
      DivideRow(s, target, m, div);
    });
  };
  InBands<Scratch>(out.gw, out.gh, MakeReduceScratch<std::uint16_t, std::uint32_t>(n, out), rows);
}

// Any ratio: weighted rows, then weighted columns. Acc holds 255 x the product of both axes'
// totals.
template <typename Acc>
void ResampleWeighted(const PixelView& src, const Output& out, const Axis& ax, const Axis& ay) {
  using Scratch = ReduceScratch<Acc, Acc>;
  const std::size_t n = std::size_t{src.layout.width} * 4, gw = out.gw, m = gw * 4;
  const Divider div(ax.total * ay.total);
  const auto rows = [&](std::uint32_t v0, std::uint32_t v1, Scratch& scratch) {
    ByBlocks(out, v0, v1, scratch.block.data(), [&](std::uint32_t v, std::uint8_t* target) {
      Acc* acc = scratch.acc.data();
      std::fill(scratch.acc.begin(), scratch.acc.end(), 0);
      if (ay.factor != 0) {
        for (std::uint32_t t = 0; t < ay.factor; ++t) {
          AddWeightedRow<Acc>(acc, Row(src, std::int64_t{v} * ay.factor + t), n, 1);
        }
      } else {
        for (std::uint32_t k = ay.offset[v]; k < ay.offset[v + 1]; ++k) {
          AddWeightedRow<Acc>(acc, Row(src, ay.first[v] + (k - ay.offset[v])), n, ay.weights[k]);
        }
      }
      for (std::size_t u = 0; u < gw; ++u) {
        Acc p[4] = {0, 0, 0, 0};
        if (ax.factor != 0) {
          for (std::size_t t = 0; t < ax.factor; ++t) {
            for (int c = 0; c < 4; ++c) p[c] += acc[4 * (u * ax.factor + t) + c];
          }
        } else {
          const Acc* a = acc + std::size_t{4} * ax.first[u];
          for (std::uint32_t k = ax.offset[u]; k < ax.offset[u + 1]; ++k, a += 4) {
            for (int c = 0; c < 4; ++c) p[c] += a[c] * Acc{ax.weights[k]};
          }
        }
        for (int c = 0; c < 4; ++c) scratch.sums[4 * u + c] = p[c];
      }
      DivideRow(scratch.sums.data(), target, m, div);
    });
  };
  InBands<Scratch>(out.gw, out.gh, MakeReduceScratch<Acc, Acc>(n, out), rows);
}

// The exact reduction, or a copy, of the stored grid gw x gh (no side grows).
void Reduce(const PixelView& source, const Output& out) {
  const Axis ax = MakeAxis(source.layout.width, out.gw),
             ay = MakeAxis(source.layout.height, out.gh);
  const std::uint64_t den = ax.total * ay.total;
  if (ax.factor != 0 && ay.factor != 0 && ay.factor <= 257 && den <= 256) {
    ResampleWhole(source, out, ax.factor, ay.factor);
  } else if (den <= 0xFFFFFFFFu / 256) {
    ResampleWeighted<std::uint32_t>(source, out, ax, ay);
  } else {
    ResampleWeighted<std::uint64_t>(source, out, ax, ay);
  }
}

// ---- enlargement ----------------------------------------------------------------------------

// Four channels of one pixel (the compiler's generic vectors: SSE2 on x86-64, NEON on ARM).
using Pixel4 = float __attribute__((vector_size(16)));

inline Pixel4 Load4(const float* p) {
  Pixel4 v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}

inline void Store4(float* p, Pixel4 v) { std::memcpy(p, &v, sizeof(v)); }

// The taps of one axis: destination pixel i weighs source pixels first[i] .. first[i] +
// count - 1 by weights[i x count ..]; the weights of a pixel sum to 1.
struct Taps {
  std::uint32_t count = 1;
  std::vector<std::uint32_t> first;
  std::vector<float> weights;
};

// The interpolating cubic with a = -0.5 at distance x from a sample.
double Cubic(double x) {
  constexpr double a = -0.5;
  x = std::fabs(x);
  if (x <= 1) return ((a + 2) * x - (a + 3)) * x * x + 1;
  if (x < 2) return ((a * x - 5 * a) * x + 8 * a) * x - 4 * a;
  return 0;
}

// Kept and reduced axes average areas (the units of MakeAxis(), as fractions), enlarged ones
// take `filter`; indices beyond the edges repeat the edge pixels.
Taps MakeTaps(std::uint32_t source, std::uint32_t dest, EnlargeFilter filter) {
  Taps taps;
  const bool grows = dest > source;
  const std::uint64_t s = source, d = dest;
  if (!grows) {
    // A destination pixel covers s / d source pixels, and one more at each end when unaligned.
    taps.count = static_cast<std::uint32_t>(s % d == 0 ? s / d : std::min(s, s / d + 2));
  } else {
    taps.count = std::min<std::uint32_t>(source, filter == EnlargeFilter::kCubic ? 4 : 2);
  }
  taps.first.resize(dest);
  taps.weights.assign(std::size_t{dest} * taps.count, 0.0f);
  std::vector<std::pair<std::int64_t, double>> raw;
  const double scale = static_cast<double>(source) / dest;
  for (std::uint64_t i = 0; i < dest; ++i) {
    raw.clear();
    if (!grows) {
      const std::uint64_t lo = i * s, hi = lo + s;
      for (std::uint64_t k = lo / d; k * d < hi; ++k) {
        raw.emplace_back(k, static_cast<double>(std::min((k + 1) * d, hi) - std::max(k * d, lo)) /
                                static_cast<double>(s));
      }
    } else {
      const double x = (static_cast<double>(i) + 0.5) * scale - 0.5;
      const double x0 = std::floor(x), t = x - x0;
      const auto k0 = static_cast<std::int64_t>(x0);
      if (filter == EnlargeFilter::kCubic) {
        for (int k = -1; k <= 2; ++k) raw.emplace_back(k0 + k, Cubic(t - k));
      } else {
        raw.emplace_back(k0, 1 - t);
        raw.emplace_back(k0 + 1, t);
      }
    }
    std::int64_t low = source;
    for (auto& tap : raw) {
      tap.first = std::clamp<std::int64_t>(tap.first, 0, source - 1);
      low = std::min(low, tap.first);
    }
    const std::int64_t first = std::min<std::int64_t>(low, source - taps.count);
    taps.first[i] = static_cast<std::uint32_t>(first);
    float* w = taps.weights.data() + i * taps.count;
    for (const auto& tap : raw) w[tap.first - first] += static_cast<float>(tap.second);
  }
  return taps;
}

// One source row along the rows: `wide` holds the row as floats; out gets gw pixels, each a
// half above its value so that truncation rounds it (the vertical weights sum to 1).
template <int N>
void Horizontal(const float* __restrict wide, const Taps& tx, float* __restrict out,
                std::size_t gw) {
  const std::uint32_t count = N != 0 ? N : tx.count;
  const float* w = tx.weights.data();
  for (std::size_t u = 0; u < gw; ++u, w += count) {
    const float* p = wide + std::size_t{4} * tx.first[u];
    Pixel4 acc = Pixel4{0.5f, 0.5f, 0.5f, 0.5f};
    for (std::uint32_t k = 0; k < count; ++k) acc += w[k] * Load4(p + 4 * k);
    Store4(out + 4 * u, acc);
  }
}

// Colour bytes of the 4 pixels in `px` held to their alpha byte (at `alpha`, 0 or 3).
#if defined(__SSE2__)
inline __m128i HoldToAlpha(__m128i px, int alpha) {
  __m128i a = alpha == 3 ? _mm_srli_epi32(px, 24) : _mm_and_si128(px, _mm_set1_epi32(0xFF));
  a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
  a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
  return _mm_min_epu8(px, a);
}
#endif

// One destination row from the ring's rows: the weighed sum, truncated (the half is in the
// rows) and held to 0..255 and, when `alpha` is 0 or 3, colours to that byte.
template <int N>
void Vertical(const float* const* rows, const float* weights, std::uint32_t taps, std::size_t n,
              std::uint8_t* __restrict out, int alpha) {
  const std::uint32_t count = N != 0 ? N : taps;
  std::size_t i = 0;
#if defined(__SSE2__)
  __m128 w[N != 0 ? N : 1];
  if constexpr (N != 0) {
    for (int k = 0; k < N; ++k) w[k] = _mm_set1_ps(weights[k]);
  }
  const auto sum = [&](std::size_t at) {
    if constexpr (N != 0) {
      __m128 v = _mm_mul_ps(w[0], _mm_loadu_ps(rows[0] + at));
      for (int k = 1; k < N; ++k) v = _mm_add_ps(v, _mm_mul_ps(w[k], _mm_loadu_ps(rows[k] + at)));
      return _mm_cvttps_epi32(v);
    } else {
      __m128 v = _mm_setzero_ps();
      for (std::uint32_t k = 0; k < count; ++k) {
        v = _mm_add_ps(v, _mm_mul_ps(_mm_set1_ps(weights[k]), _mm_loadu_ps(rows[k] + at)));
      }
      return _mm_cvttps_epi32(v);
    }
  };
  for (; i + 16 <= n; i += 16) {
    __m128i px = _mm_packus_epi16(_mm_packs_epi32(sum(i), sum(i + 4)),
                                  _mm_packs_epi32(sum(i + 8), sum(i + 12)));
    if (alpha >= 0) px = HoldToAlpha(px, alpha);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), px);
  }
#endif
  for (; i < n; i += 4) {
    for (int c = 0; c < 4; ++c) {
      float v = 0;
      for (std::uint32_t k = 0; k < count; ++k) v += weights[k] * rows[k][i + c];
      out[i + c] = static_cast<std::uint8_t>(v >= 255.0f ? 255 : v <= 0.0f ? 0 : int(v));
    }
    if (alpha >= 0) {
      for (int c = 0; c < 4; ++c) out[i + c] = std::min(out[i + c], out[i + alpha]);
    }
  }
}

// A band's rows while enlarging: one source row as floats, the ring of rows along the rows with
// the source row each holds, the ring's rows for the current destination row, a block.
struct EnlargeScratch {
  std::vector<float> wide;
  std::vector<float> ring;
  std::vector<std::int64_t> held;
  std::vector<const float*> rows;
  std::vector<std::uint8_t> block;
};

// The byte of the alpha that bounds the colours, or -1 when the layout has none such.
int AlphaByte(const PixelLayout& layout) {
  const AlphaInfo alpha = layout.alpha_info();
  if (alpha != AlphaInfo::kPremultipliedLast && alpha != AlphaInfo::kPremultipliedFirst) return -1;
  const int at = alpha == AlphaInfo::kPremultipliedLast ? 3 : 0;
  const bool little = (layout.bitmap_info & kBitmapByteOrderMask) == kBitmapByteOrder32Little;
  return little ? 3 - at : at;
}

void Enlarge(const PixelView& src, const Output& out, EnlargeFilter filter) {
  const Taps tx = MakeTaps(src.layout.width, out.gw, filter);
  const Taps ty = MakeTaps(src.layout.height, out.gh, filter);
  const std::size_t n = std::size_t{src.layout.width} * 4, m = std::size_t{out.gw} * 4;
  // Without negative weights each sum rounds no higher than its alpha's (every product and sum
  // of the same weights rounds monotonically), so only the cubic needs holding.
  const int alpha = filter == EnlargeFilter::kCubic ? AlphaByte(src.layout) : -1;
  // A height reduced while the width grows has many taps: its rows are summed one by one into
  // a single row rather than kept in a ring as tall as the taps, which could pass the source's
  // own size.
  const bool summed = ty.count > 4;
  const std::uint32_t ring = summed ? 2 : ty.count;
  const auto make = [&] {
    return EnlargeScratch{
        std::vector<float>(n), std::vector<float>(m * ring), std::vector<std::int64_t>(ring, -1),
        std::vector<const float*>(ring),
        std::vector<std::uint8_t>(out.Straight() ? 0 : std::size_t{kBlockRows} * m)};
  };
  const auto horizontal = tx.count == 1   ? Horizontal<1>
                          : tx.count == 2 ? Horizontal<2>
                          : tx.count == 4 ? Horizontal<4>
                                          : Horizontal<0>;
  const auto vertical = summed || ty.count == 1 ? Vertical<1>
                        : ty.count == 2         ? Vertical<2>
                        : ty.count == 4         ? Vertical<4>
                                                : Vertical<0>;
  const auto along = [&](std::int64_t y, float* row, EnlargeScratch& scratch) {
    const std::uint8_t* bytes = Row(src, y);
    for (std::size_t i = 0; i < n; ++i) scratch.wide[i] = bytes[i];
    horizontal(scratch.wide.data(), tx, row, out.gw);
  };
  const auto rows = [&](std::uint32_t v0, std::uint32_t v1, EnlargeScratch& scratch) {
    ByBlocks(out, v0, v1, scratch.block.data(), [&](std::uint32_t v, std::uint8_t* target) {
      const float* weights = ty.weights.data() + std::size_t{v} * ty.count;
      if (summed) {
        float* __restrict sum = scratch.ring.data();
        float* __restrict row = sum + m;
        std::fill(sum, sum + m, 0.0f);
        for (std::uint32_t k = 0; k < ty.count; ++k) {
          along(std::int64_t{ty.first[v]} + k, row, scratch);
          for (std::size_t i = 0; i < m; ++i) sum[i] += weights[k] * row[i];
        }
        scratch.rows[0] = sum;
        constexpr float kOne = 1.0f;
        return vertical(scratch.rows.data(), &kOne, 1, m, target, alpha);
      }
      for (std::uint32_t k = 0; k < ty.count; ++k) {
        const std::int64_t y = std::int64_t{ty.first[v]} + k;
        const std::size_t slot = static_cast<std::size_t>(y % ty.count);
        float* row = scratch.ring.data() + slot * m;
        if (scratch.held[slot] != y) {
          along(y, row, scratch);
          scratch.held[slot] = y;
        }
        scratch.rows[k] = row;
      }
      vertical(scratch.rows.data(), weights, ty.count, m, target, alpha);
    });
  };
  InBands<EnlargeScratch>(out.gw, out.gh, make, rows);
}

// The checks both forms share; the grid's sides through gw and gh.
bool Accepted(const PixelView& source, const MutablePixelView& destination,
              ImageOrientation orientation, std::uint32_t& gw, std::uint32_t& gh) {
  if (!IsUsable(source) || !IsUsable(destination)) return false;
  if (!source.layout.SameFormat(destination.layout)) return false;
  // An enum can be handed any number of its underlying type.
  if (!ImageOrientationFromInt(ToInt(orientation)) || Overlap(source, destination)) return false;
  const bool transposed = IsTransposed(orientation);
  gw = transposed ? destination.layout.height : destination.layout.width;
  gh = transposed ? destination.layout.width : destination.layout.height;
  return true;
}

}  // namespace

bool ResampleOriented(const PixelView& source, const MutablePixelView& destination,
                      ImageOrientation orientation) noexcept {
  std::uint32_t gw = 0, gh = 0;
  if (!Accepted(source, destination, orientation, gw, gh)) return false;
  if (gw > source.layout.width || gh > source.layout.height) return false;
  try {
    Reduce(source, {destination, orientation, gw, gh});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool ResampleOriented(const PixelView& source, const MutablePixelView& destination,
                      ImageOrientation orientation, EnlargeFilter filter) noexcept {
  std::uint32_t gw = 0, gh = 0;
  if (!Accepted(source, destination, orientation, gw, gh)) return false;
  if (filter != EnlargeFilter::kBilinear && filter != EnlargeFilter::kCubic) return false;
  try {
    const Output out{destination, orientation, gw, gh};
    if (gw > source.layout.width || gh > source.layout.height) {
      Enlarge(source, out, filter);
    } else {
      Reduce(source, out);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Deprecated form, kept for programs built against it: the orientation as its number.
bool ResampleOriented(const PixelBuffer& source, const PixelBuffer& destination,
                      int orientation) noexcept {
  const std::optional<ImageOrientation> checked = ImageOrientationFromInt(orientation);
  if (!checked) return false;
  return ResampleOriented(internal::ViewOf(source), internal::ViewOf(destination), *checked);
}

}  // namespace kelvane::platform
