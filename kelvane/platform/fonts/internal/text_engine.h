// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/fonts/internal/text_engine.h
//
// The engine objects behind text_layout.h, for tests and benchmarks that look at what Pango
// made of a text. Not a public header.
#pragma once

#include <pango/pango.h>

#include "kelvane/platform/fonts/attributed_string.h"

namespace kelvane::platform::internal {

// The calling thread's measuring layout, filled with `text` laid out on one line (as
// MeasureText does); null when the engine could not be set up. Valid until the thread's next
// measuring call.
[[nodiscard]] PangoLayout* MeasuredLayout(const AttributedString& text) noexcept;

// The calling thread's measuring context: metrics not hinted, glyph positions not rounded.
[[nodiscard]] PangoContext* MeasuringContext() noexcept;

}  // namespace kelvane::platform::internal
