// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/pixels/internal/row_reducer.h
//
// Area averaging of a picture that arrives one row at a time, so that a decoder can reduce as it
// reads and hold only the destination and two rows of sums, never the source. The arithmetic is
// ResampleOriented()'s (graphics/pixel_kernels.h) for orientation up: along an axis of S source
// and D destination pixels (reduced by their common divisor) a source pixel is D units long and
// a destination pixel S units, each destination pixel is the whole-number sum of the source
// units under it divided by the product of both axes' S, rounded to nearest with halves upward.
// The sums are exact integers whatever the order they are taken in, so a picture reduced here
// has exactly the pixels of the whole picture reduced by ResampleOriented().
//
// Pixels are 4 bytes, each byte weighed alone as it lies (any of the 4-byte layouts).
//
// Threads: one reducer is used by one thread at a time; it owns its sums, not the destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kelvane/platform/pixels/pixel_layout.h"

namespace kelvane::platform::internal {

// The source pixels under each destination pixel of one axis of an area reduction (see above),
// with their units; shared with ResampleOriented() so that both weigh alike.
struct AreaAxis {
  std::uint64_t source_units = 0;     // units of a destination pixel: S
  std::uint64_t dest_units = 0;       // units of a source pixel: D
  std::vector<std::uint32_t> first;   // first source pixel, per destination pixel
  std::vector<std::uint32_t> offset;  // into weights, per destination pixel, plus the end
  std::vector<std::uint32_t> weights;
};

// The axis of `source` pixels reduced to `dest` (REQUIRES: 0 < dest <= source). When D is 1 (a
// whole factor, every source pixel weighing 1) the tables are left empty. Throws std::bad_alloc.
[[nodiscard]] AreaAxis MakeAreaAxis(std::uint32_t source, std::uint32_t dest);

class RowReducer {
 public:
  // Reduces `source_width` x `source_height` pixels into `destination` (its layout's sides).
  // Valid() is false when a view side is 0, a destination side is larger than the source's, or
  // the destination is not of 4-byte pixels. Throws std::bad_alloc when its rows cannot be had.
  RowReducer(std::uint32_t source_width, std::uint32_t source_height,
             const MutablePixelView& destination);

  [[nodiscard]] bool Valid() const noexcept { return valid_; }

  // Takes the next source row, `source_width` pixels. Destination rows are written as soon as
  // every source row under them has come. REQUIRES: Valid(), fewer than source_height rows given.
  void AddRow(const std::uint8_t* row) noexcept;

  // True once every source row has been given, so every destination row is written.
  [[nodiscard]] bool Done() const noexcept { return valid_ && next_row_ == source_height_; }

 private:
  using Axis = AreaAxis;

  template <typename Acc>
  void Across(const std::uint8_t* row, Acc* sums) const noexcept;
  template <typename Acc>
  void Add(const std::uint8_t* row, std::vector<Acc>& across, std::vector<Acc>& acc) noexcept;
  template <typename Acc>
  void Finish(std::uint32_t v, const Acc* acc) noexcept;

  MutablePixelView destination_;
  std::uint32_t source_width_ = 0, source_height_ = 0;
  bool valid_ = false;
  bool wide_ = false;  // 64-bit sums: 255 x both axes' S passes 32 bits
  Axis ax_, ay_;
  std::uint64_t divisor_ = 1;
  std::uint64_t mul_ = 0;  // the divisor's reciprocal for a multiply and a shift, 0 for none
  unsigned shift_ = 0;
  std::uint32_t next_row_ = 0;
  // The source row summed across, and the sums of two destination rows.
  std::vector<std::uint32_t> row32_, acc32_;
  std::vector<std::uint64_t> row64_, acc64_;
};

}  // namespace kelvane::platform::internal
