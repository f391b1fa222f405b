// SPDX-License-Identifier: Apache-2.0
// kelvane/text/internal/ceil_single.h
//
// The rounding of measured text sizes in kelvane/text/text_drawing.h; for the library and its
// tests, not installed.
#pragma once

namespace kelvane::NSTools::internal {

// Rounds up to a whole number in single precision: the value as a 32-bit float, rounded
// towards plus infinity, back as a double.
[[nodiscard]] double CeilSingle(double value) noexcept;

}  // namespace kelvane::NSTools::internal
