// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/internal/drawing_failed.h
//
// For the library's own code that reads a context's pixels through Data(): whether the engine
// finished every drawing. Not a public header.
#pragma once

#include "kelvane/platform/graphics/context.h"

namespace kelvane::platform::internal {

// True when a drawing since the context was made could not be done whole: the engine ran out of
// memory on the way, and as its drawing stops at the first such failure, the pixels hold part of
// the picture. CreateImage() and TakeImage() give null then; a caller that reads the pixels
// through Data() asks this first.
[[nodiscard]] bool DrawingFailed(GraphicsContext& context) noexcept;

}  // namespace kelvane::platform::internal
