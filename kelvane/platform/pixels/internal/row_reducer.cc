// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/pixels/internal/row_reducer.h"

#include <algorithm>
#include <numeric>

namespace kelvane::platform::internal {

AreaAxis MakeAreaAxis(std::uint32_t source, std::uint32_t dest) {
  AreaAxis axis;
  const std::uint64_t g = std::gcd(source, dest);
  const std::uint64_t s = source / g, d = dest / g;
  axis.source_units = s;
  axis.dest_units = d;
  if (d == 1) return axis;  // a whole factor: every source pixel weighs 1
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

RowReducer::RowReducer(std::uint32_t source_width, std::uint32_t source_height,
                       const MutablePixelView& destination)
    : destination_(destination), source_width_(source_width), source_height_(source_height) {
  const PixelLayout& d = destination.layout;
  if (destination.data == nullptr || d.width == 0 || d.height == 0 || d.width > source_width ||
      d.height > source_height || d.BytesPerPixel() != 4 ||
      d.bytes_per_row < std::size_t{d.width} * 4) {
    return;
  }
  ax_ = MakeAreaAxis(source_width, d.width);
  ay_ = MakeAreaAxis(source_height, d.height);
  divisor_ = ax_.source_units * ay_.source_units;
  wide_ = divisor_ > 0xFFFFFFFFu / 255;
  // (n + den / 2) / den as a multiply and a shift while 2^shift >= 256 x den^2 fits: the error
  // term then stays under 1 / den, so the quotient is exact for every n up to 255 x den.
  unsigned bits = 0;
  while ((std::uint64_t{1} << bits) < divisor_) ++bits;
  shift_ = 8 + 2 * bits;
  if (shift_ <= 54) mul_ = ((std::uint64_t{1} << shift_) + divisor_ - 1) / divisor_;
  const std::size_t m = std::size_t{d.width} * 4;
  if (wide_) {
    row64_.assign(m, 0);
    acc64_.assign(2 * m, 0);
  } else {
    row32_.assign(m, 0);
    acc32_.assign(2 * m, 0);
  }
  valid_ = true;
}

template <typename Acc>
void RowReducer::Across(const std::uint8_t* row, Acc* sums) const noexcept {
  const std::size_t width = destination_.layout.width;
  if (ax_.dest_units == 1) {
    const std::size_t factor = ax_.source_units;
    if (factor == 1) {
      for (std::size_t i = 0; i < width * 4; ++i) sums[i] = row[i];
      return;
    }
    for (std::size_t u = 0; u < width; ++u) {
      Acc p[4] = {0, 0, 0, 0};
      const std::uint8_t* a = row + 4 * u * factor;
      for (std::size_t t = 0; t < factor; ++t, a += 4) {
        for (int c = 0; c < 4; ++c) p[c] += a[c];
      }
      for (int c = 0; c < 4; ++c) sums[4 * u + c] = p[c];
    }
    return;
  }
  for (std::size_t u = 0; u < width; ++u) {
    Acc p[4] = {0, 0, 0, 0};
    const std::uint8_t* a = row + std::size_t{4} * ax_.first[u];
    for (std::uint32_t k = ax_.offset[u]; k < ax_.offset[u + 1]; ++k, a += 4) {
      const Acc w = ax_.weights[k];
      for (int c = 0; c < 4; ++c) p[c] += a[c] * w;
    }
    for (int c = 0; c < 4; ++c) sums[4 * u + c] = p[c];
  }
}

template <typename Acc>
void RowReducer::Finish(std::uint32_t v, const Acc* acc) noexcept {
  std::uint8_t* out = destination_.Row(v);
  const std::size_t m = std::size_t{destination_.layout.width} * 4;
  const std::uint64_t den = divisor_, half = den / 2;
  if (mul_ != 0) {
    const std::uint64_t mul = mul_;
    const unsigned shift = shift_;
    for (std::size_t i = 0; i < m; ++i) {
      out[i] = static_cast<std::uint8_t>(((acc[i] + half) * mul) >> shift);
    }
    return;
  }
  for (std::size_t i = 0; i < m; ++i) out[i] = static_cast<std::uint8_t>((acc[i] + half) / den);
}

template <typename Acc>
void RowReducer::Add(const std::uint8_t* row, std::vector<Acc>& across,
                     std::vector<Acc>& acc) noexcept {
  const std::size_t m = std::size_t{destination_.layout.width} * 4;
  Across(row, across.data());
  // Source row k spans units [k D, (k + 1) D) of the axis, destination row v [v S, (v + 1) S):
  // with D <= S a source row lies under one destination row or straddles two.
  const std::uint64_t k = next_row_++, s = ay_.source_units, d = ay_.dest_units;
  const std::uint64_t lo = k * d, hi = lo + d;
  auto v = static_cast<std::uint32_t>(lo / s);
  const std::uint64_t end = (std::uint64_t{v} + 1) * s;
  const Acc first = static_cast<Acc>(std::min(hi, end) - lo);
  Acc* sum = acc.data() + (v & 1) * m;
  for (std::size_t i = 0; i < m; ++i) sum[i] += across[i] * first;
  if (hi < end) return;
  Finish(v, sum);
  std::fill(sum, sum + m, Acc{0});
  if (hi > end) {
    Acc* next = acc.data() + ((v + 1) & 1) * m;
    const Acc second = static_cast<Acc>(hi - end);
    for (std::size_t i = 0; i < m; ++i) next[i] += across[i] * second;
  }
}

void RowReducer::AddRow(const std::uint8_t* row) noexcept {
  if (wide_) {
    Add(row, row64_, acc64_);
  } else {
    Add(row, row32_, acc32_);
  }
}

}  // namespace kelvane::platform::internal
