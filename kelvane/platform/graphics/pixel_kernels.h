// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/pixel_kernels.h
//
// The hot pixel loops of the image operations: a box filter with edge extension, a 4 x 4
// integer colour matrix, and resampling (area averaging down, bilinear or cubic up) with the
// eight axis-aligned orientations baked in.
// They work on views of 4-byte pixels (pixels/pixel_layout.h), in the working format of the
// drawing engine (premultiplied B, G, R, A in memory) or any other layout of 4 bytes whose
// channels may be weighed one by one as they lie, with no conversion and no allocation beyond
// what is documented.
// They are written so that the compiler vectorises them on the baseline instruction set, and
// are measured against OpenCV in bench/images_bench.cc.
//
// Ownership: the caller owns every buffer; the kernels keep no pointer past the call.
// Threads: every function is re-entrant; calls on buffers that no other thread writes may run
// at once. BoxConvolve() and ColorMatrixMultiply() split pictures of 2^18 pixels or more into
// bands of rows that run at once on the worker pool and the calling thread
// (dispatch/apply.h: twice ConcurrencyWidth() bands, none under 64 rows) and return when every
// band is written; the bytes written are the same as on one thread. A caller that spreads its
// own work over the cores, or must not wait on the pool, keeps a call on its thread with a
// KeepOnThisThread living on that thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "kelvane/export.h"
#include "kelvane/platform/pixels/orientation.h"
#include "kelvane/platform/pixels/pixel_layout.h"

namespace kelvane::platform {

// Pixels are usable by a kernel when the pointer is not null and the layout is valid
// (PixelLayout::IsValid) with 4 bytes per pixel. The source and the destination of a call are
// in the same layout (bitmap info and colour space); the kernels convert nothing.

// Deprecated: the earlier description of a block of pixels, `height` rows of `width` 4-byte
// pixels in the working format, row y at data + y x bytes_per_row. The functions taking it are
// kept for programs built against them and do what the view forms do with
// PixelLayout::Working(width, height, bytes_per_row).
struct PixelBuffer {
  void* data = nullptr;           // row 0
  std::uint32_t width = 0;        // pixels per row
  std::uint32_t height = 0;       // rows
  std::size_t bytes_per_row = 0;  // from one row to the next
};

// ---- box filter ----------------------------------------------------------------------------

// The widest and tallest box the filter takes: the sums of a box of 4095 x 4095 bytes still fit
// 32 bits.
inline constexpr std::uint32_t kMaxBoxKernel = 4095;

// Bytes of scratch memory BoxConvolve() needs for pictures `width` pixels wide and a kernel
// that tall, or 0 when the width or the kernel is not accepted. The block may be reused by
// every pass over pictures of that width, one pass at a time. It is enough for one band: a
// block of n times this size serves n bands of a split pass.
[[nodiscard]] KELVANE_EXPORT std::size_t BoxConvolveScratchSize(
    std::uint32_t width, std::uint32_t kernel_width, std::uint32_t kernel_height) noexcept;

// Writes to `destination` the mean of every kernel_width x kernel_height box of `source`
// centred on each pixel, over all four channels; pixels outside the picture repeat the nearest
// edge pixel. Each mean is rounded to the nearest value (a box has an odd number of pixels, so
// there are no halves). `scratch` is a block of at least BoxConvolveScratchSize() bytes, any
// alignment; when it is null the filter allocates its own. A split pass allocates a block for
// each band the caller's block does not hold, and runs as one band when that fails.
// Returns false, and writes nothing, when a view is not usable, the sides or layouts differ, a
// kernel side is even, 0 or above kMaxBoxKernel, the views overlap, the scratch block is too
// small, or the filter's own block cannot be allocated.
[[nodiscard]] KELVANE_EXPORT bool BoxConvolve(const PixelView& source,
                                              const MutablePixelView& destination,
                                              std::uint32_t kernel_width,
                                              std::uint32_t kernel_height, void* scratch,
                                              std::size_t scratch_size) noexcept;
// Deprecated (see PixelBuffer).
[[nodiscard]] KELVANE_EXPORT bool BoxConvolve(const PixelBuffer& source,
                                              const PixelBuffer& destination,
                                              std::uint32_t kernel_width,
                                              std::uint32_t kernel_height, void* scratch,
                                              std::size_t scratch_size) noexcept;

// The box side that three passes need to blur as much as a Gaussian of `radius` points at
// `scale` pixels per point: r = radius x scale; d = ((r x 3 x sqrt(2 pi)) / 4 + 0.5) / 2, or
// 2.1299712059732503 (its value at r = 2) when r - 2 is below the single-precision epsilon;
// then floor(d) with the lowest bit set, so the side is odd and at least 3 for small radii.
// The conversion saturates: not-a-number gives 1 (no blur), d at or above 2^32 gives
// 0xFFFFFFFF (refused by the filter).
[[nodiscard]] KELVANE_EXPORT std::uint32_t BoxKernelSize(double radius, double scale) noexcept;

// ---- colour matrix -------------------------------------------------------------------------

// A 4 x 4 matrix stored row by row: row i weighs source channel i, column j makes destination
// channel j, both in memory order (B, G, R, A). The weights are in 256ths.
using ColorMatrix = std::array<std::int16_t, 16>;

// destination channel j = clamp((sum over i of source channel i x matrix[4i + j] + 128) >> 8,
// 0, 255): the sum is taken in 32 bits and divided by 256 rounding to nearest, halves upward.
// `source` and `destination` may be the same pixels (same data and bytes per row).
// Returns false, and writes nothing, when a view is not usable, the sides or layouts differ,
// or the views overlap otherwise.
[[nodiscard]] KELVANE_EXPORT bool ColorMatrixMultiply(const PixelView& source,
                                                      const MutablePixelView& destination,
                                                      const ColorMatrix& matrix) noexcept;
// Deprecated (see PixelBuffer).
[[nodiscard]] KELVANE_EXPORT bool ColorMatrixMultiply(const PixelBuffer& source,
                                                      const PixelBuffer& destination,
                                                      const ColorMatrix& matrix) noexcept;

// The matrix that scales saturation by `factor` around the luminance grey (0 gives the grey,
// 1 the identity, -1 the opposite hues). Each entry is computed in double precision from the
// single-precision luminance weights, times 256, narrowed to single precision and rounded half
// away from zero; entries beyond the 16-bit range saturate, and not-a-number gives 0.
[[nodiscard]] KELVANE_EXPORT ColorMatrix SaturationMatrix(double factor) noexcept;

// ---- oriented area resampling ---------------------------------------------------------------

// Writes `source` turned by `orientation` (pixels/orientation.h) into `destination`, whose
// sides are the displayed ones (the stored sides exchanged for the transposed orientations),
// scaled down by area averaging: each destination pixel is the mean of the source area it
// covers, fractional edge pixels weighed by the part they cover, rounded to nearest (halves
// upward). Same sides give an exact copy. Large pictures are split into bands of rows that run
// at once, as below; the pixels do not depend on that.
// Returns false, and writes nothing, when a view is not usable, the layouts differ, the
// orientation is none of the eight, a displayed side would grow (the form below enlarges),
// the views overlap, or memory for the bands' rows runs out.
[[nodiscard]] KELVANE_EXPORT bool ResampleOriented(const PixelView& source,
                                                   const MutablePixelView& destination,
                                                   ImageOrientation orientation) noexcept;
// Deprecated (see PixelBuffer): the orientation as its number 0..7, through
// ImageOrientationFromInt(); false for any other number.
[[nodiscard]] KELVANE_EXPORT bool ResampleOriented(const PixelBuffer& source,
                                                   const PixelBuffer& destination,
                                                   int orientation) noexcept;

// ---- oriented resampling with enlargement ---------------------------------------------------

// How ResampleOriented() below makes pixels along an enlarged axis. Both sample the source at
// the destination pixel's centre, (d + 0.5) x source / destination - 0.5 source pixels from the
// first pixel's centre, and repeat the edge pixels beyond the picture.
enum class EnlargeFilter : int {
  kBilinear = 0,  // the two nearest pixels, weighed linearly
  kCubic = 1,     // the four nearest, weighed by the interpolating cubic with a = -0.5
};

// ResampleOriented() above, with sides that may also grow: each displayed side that is reduced
// or kept is averaged over areas as above, each that grows is interpolated with `filter`, the
// two one after the other. Values are rounded to nearest and held within 0..255, and, in the
// premultiplied layouts, every colour within its pixel's alpha (the cubic overshoots at edges).
// When no side grows, the result is exactly that of the function above, for either filter.
// Large pictures are split into bands of rows that run at once (dispatch/apply.h; a
// KeepOnThisThread on the calling thread keeps them on it); the pixels do not depend on that.
// Returns false, and writes nothing, when a view is not usable, the layouts differ, the
// orientation is none of the eight, the filter is neither of the two, the views overlap, or
// memory for the bands' rows runs out.
[[nodiscard]] KELVANE_EXPORT bool ResampleOriented(const PixelView& source,
                                                   const MutablePixelView& destination,
                                                   ImageOrientation orientation,
                                                   EnlargeFilter filter) noexcept;

}  // namespace kelvane::platform
