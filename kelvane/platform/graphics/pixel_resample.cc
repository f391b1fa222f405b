// Oriented area resampling (declared in pixel_kernels.h).
//
// The picture is reduced in its stored orientation, one destination row of the stored grid at a
// time (source rows are walked in memory order), and each finished row is written along the
// line of the destination the orientation sends it to. All weights are whole numbers: along an
// axis of S source and D destination pixels (reduced by their common divisor), a source pixel
// is D units long and a destination pixel S units, so every mean is an exact integer quotient.
#include <algorithm>
#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

#include "kelvane/platform/graphics/internal/pixel_buffer.h"
#include "kelvane/platform/graphics/pixel_kernels.h"

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
  Axis axis;
  const std::uint64_t g = std::gcd(source, dest);
  const std::uint64_t s = source / g, d = dest / g;
  axis.total = s;
  axis.factor = d == 1 ? static_cast<std::uint32_t>(s) : 0;
  if (axis.factor != 0) return axis;
  axis.first.resize(dest);
  axis.offset.resize(std::size_t{dest} + 1);
  axis.weights.reserve(std::size_t{source} + dest);
  for (std::uint64_t i = 0; i < dest; ++i) {
    const std::uint64_t lo = i * s, hi = lo + s;
    axis.first[i] = static_cast<std::uint32_t>(lo / d);
    axis.offset[i] = static_cast<std::uint32_t>(axis.weights.size());
    for (std::uint64_t k = lo / d; k * d < hi; ++k) {
      axis.weights.push_back(
          static_cast<std::uint32_t>(std::min((k + 1) * d, hi) - std::max(k * d, lo)));
    }
  }
  axis.offset[dest] = static_cast<std::uint32_t>(axis.weights.size());
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

void WriteLine(const std::uint8_t* pixels, std::size_t count, Line line) {
  if (line.step == 4) {
    std::memcpy(line.start, pixels, count * 4);
    return;
  }
  for (std::size_t u = 0; u < count; ++u) {
    std::memcpy(line.start + static_cast<std::ptrdiff_t>(u) * line.step, pixels + 4 * u, 4);
  }
}

template <typename Acc>
void AddWeightedRow(Acc* __restrict acc, const std::uint8_t* __restrict row, std::size_t n,
                    Acc weight) {
  for (std::size_t i = 0; i < n; ++i) acc[i] += row[i] * weight;
}

// Whole factors on both axes: every source pixel weighs 1, sums of up to 257 rows fit 16 bits.
void ResampleWhole(const PixelView& src, const MutablePixelView& dst, ImageOrientation orientation,
                   std::uint32_t gw, std::uint32_t gh, std::uint32_t fx, std::uint32_t fy) {
  const std::size_t n = std::size_t{src.layout.width} * 4, m = std::size_t{gw} * 4;
  std::vector<std::uint16_t> acc(n);
  std::vector<std::uint32_t> sums(m);
  std::vector<std::uint8_t> line(m);
  const Divider div(std::uint64_t{fx} * fy);
  for (std::uint32_t v = 0; v < gh; ++v) {
    std::fill(acc.begin(), acc.end(), 0);
    for (std::uint32_t t = 0; t < fy; ++t) {
      AddWeightedRow<std::uint16_t>(acc.data(), Row(src, std::int64_t{v} * fy + t), n, 1);
    }
    const std::uint16_t* a = acc.data();
    std::uint32_t* s = sums.data();
    if (fx == 1) {
      std::copy(a, a + m, s);
    } else if (fx == 2) {
      for (std::size_t u = 0; u < gw; ++u) {
        for (int c = 0; c < 4; ++c) s[4 * u + c] = a[8 * u + c] + a[8 * u + 4 + c];
      }
    } else if (fx == 4) {
      for (std::size_t u = 0; u < gw; ++u) {
        for (int c = 0; c < 4; ++c) {
          s[4 * u + c] = a[16 * u + c] + a[16 * u + 4 + c] + a[16 * u + 8 + c] + a[16 * u + 12 + c];
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
    DivideRow(s, line.data(), m, div);
    WriteLine(line.data(), gw, Place(dst, orientation, v, gw, gh));
  }
}

// Any ratio: weighted rows, then weighted columns. Acc holds 255 x the product of both axes'
// totals.
template <typename Acc>
void ResampleWeighted(const PixelView& src, const MutablePixelView& dst,
                      ImageOrientation orientation, std::uint32_t gw, std::uint32_t gh,
                      const Axis& ax, const Axis& ay) {
  const std::size_t n = std::size_t{src.layout.width} * 4, m = std::size_t{gw} * 4;
  std::vector<Acc> acc(n);
  std::vector<Acc> sums(m);
  std::vector<std::uint8_t> line(m);
  const Divider div(ax.total * ay.total);
  for (std::uint32_t v = 0; v < gh; ++v) {
    std::fill(acc.begin(), acc.end(), 0);
    if (ay.factor != 0) {
      for (std::uint32_t t = 0; t < ay.factor; ++t) {
        AddWeightedRow<Acc>(acc.data(), Row(src, std::int64_t{v} * ay.factor + t), n, 1);
      }
    } else {
      for (std::uint32_t k = ay.offset[v]; k < ay.offset[v + 1]; ++k) {
        AddWeightedRow<Acc>(acc.data(), Row(src, ay.first[v] + (k - ay.offset[v])), n,
                            ay.weights[k]);
      }
    }
    for (std::size_t u = 0; u < gw; ++u) {
      Acc p[4] = {0, 0, 0, 0};
      if (ax.factor != 0) {
        for (std::size_t t = 0; t < ax.factor; ++t) {
          for (int c = 0; c < 4; ++c) p[c] += acc[4 * (u * ax.factor + t) + c];
        }
      } else {
        const Acc* a = acc.data() + std::size_t{4} * ax.first[u];
        for (std::uint32_t k = ax.offset[u]; k < ax.offset[u + 1]; ++k, a += 4) {
          for (int c = 0; c < 4; ++c) p[c] += a[c] * Acc{ax.weights[k]};
        }
      }
      for (int c = 0; c < 4; ++c) sums[4 * u + c] = p[c];
    }
    DivideRow(sums.data(), line.data(), m, div);
    WriteLine(line.data(), gw, Place(dst, orientation, v, gw, gh));
  }
}

}  // namespace

bool ResampleOriented(const PixelView& source, const MutablePixelView& destination,
                      ImageOrientation orientation) noexcept {
  if (!IsUsable(source) || !IsUsable(destination)) return false;
  if (!source.layout.SameFormat(destination.layout)) return false;
  // An enum can be handed any number of its underlying type.
  if (!ImageOrientationFromInt(ToInt(orientation)) || Overlap(source, destination)) return false;
  const bool transposed = IsTransposed(orientation);
  const PixelLayout& to = destination.layout;
  const std::uint32_t gw = transposed ? to.height : to.width;
  const std::uint32_t gh = transposed ? to.width : to.height;
  if (gw > source.layout.width || gh > source.layout.height) return false;
  try {
    const Axis ax = MakeAxis(source.layout.width, gw), ay = MakeAxis(source.layout.height, gh);
    const std::uint64_t den = ax.total * ay.total;
    if (ax.factor != 0 && ay.factor != 0 && ay.factor <= 257 && den <= 256) {
      ResampleWhole(source, destination, orientation, gw, gh, ax.factor, ay.factor);
    } else if (den <= 0xFFFFFFFFu / 256) {
      ResampleWeighted<std::uint32_t>(source, destination, orientation, gw, gh, ax, ay);
    } else {
      ResampleWeighted<std::uint64_t>(source, destination, orientation, gw, gh, ax, ay);
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
