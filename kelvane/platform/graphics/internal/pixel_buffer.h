// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/internal/pixel_buffer.h
//
// Checks and row access shared by the pixel kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelvane/platform/graphics/pixel_kernels.h"

namespace kelvane::platform::internal {

// A buffer's rows and whole block stay within a signed 32-bit byte count, as rasters do.
inline constexpr std::size_t kMaxPixelBytes = kMaxRasterBytes;

// Pixels the kernels take: not null, a valid layout (PixelLayout::IsValid) of 4 bytes per pixel.
[[nodiscard]] bool IsUsable(const PixelView& pixels) noexcept;

// True when the bytes the two usable views span share any address.
[[nodiscard]] bool Overlap(const PixelView& a, const PixelView& b) noexcept;

// The working format over a buffer of the earlier form, for the deprecated entry points.
[[nodiscard]] inline MutablePixelView ViewOf(const PixelBuffer& buffer) noexcept {
  return {PixelLayout::Working(buffer.width, buffer.height, buffer.bytes_per_row), buffer.data};
}

[[nodiscard]] inline const std::uint8_t* Row(const PixelView& pixels, std::int64_t y) noexcept {
  return pixels.Row(static_cast<std::size_t>(y));
}
[[nodiscard]] inline std::uint8_t* Row(const MutablePixelView& pixels, std::int64_t y) noexcept {
  return pixels.Row(static_cast<std::size_t>(y));
}

[[nodiscard]] constexpr std::size_t AlignUp(std::size_t v, std::size_t align) noexcept {
  return (v + align - 1) / align * align;
}

}  // namespace kelvane::platform::internal
