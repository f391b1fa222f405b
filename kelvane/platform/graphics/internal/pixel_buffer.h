// kelvane/platform/graphics/internal/pixel_buffer.h
//
// Checks and row access shared by the pixel kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelvane/platform/graphics/pixel_kernels.h"

namespace kelvane::platform::internal {

// A buffer's rows and whole block stay within a signed 32-bit byte count, as rasters do.
inline constexpr std::size_t kMaxPixelBytes = 0x7FFFFFFF;

[[nodiscard]] bool IsUsable(const PixelBuffer& buffer) noexcept;

// True when the bytes the two usable buffers span share any address.
[[nodiscard]] bool Overlap(const PixelBuffer& a, const PixelBuffer& b) noexcept;

[[nodiscard]] inline std::uint8_t* Row(const PixelBuffer& buffer, std::int64_t y) noexcept {
  return static_cast<std::uint8_t*>(buffer.data) +
         static_cast<std::size_t>(y) * buffer.bytes_per_row;
}

[[nodiscard]] constexpr std::size_t AlignUp(std::size_t v, std::size_t align) noexcept {
  return (v + align - 1) / align * align;
}

}  // namespace kelvane::platform::internal
