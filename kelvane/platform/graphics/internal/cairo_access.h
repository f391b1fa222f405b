// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/internal/cairo_access.h
//
// For platform modules that draw through Cairo themselves (text on PangoCairo): the engine's
// context behind a GraphicsContext. Not a public header.
#pragma once

#include <cairo.h>

#include <functional>

#include "kelvane/platform/graphics/context.h"

namespace kelvane::platform::internal {

// The Cairo context itself, for measuring and state queries. Drawing straight into it skips
// the mask clip and the pixel bookkeeping of bitmap contexts: draw with DrawWithCairo.
[[nodiscard]] cairo_t* CairoOf(GraphicsContext& context) noexcept;

// Runs `draw` as one drawing operation of the context: the fill colour is the source, the
// current path is kept aside, a mask clip applies and bitmap memory stays in step. Nothing
// runs while the transform cannot be inverted.
void DrawWithCairo(GraphicsContext& context, const std::function<void(cairo_t*)>& draw) noexcept;

}  // namespace kelvane::platform::internal
