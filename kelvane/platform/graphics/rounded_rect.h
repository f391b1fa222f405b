// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/rounded_rect.h
//
// The rounded-rectangle path that the interface's shapes and the avatars' rounded clip share.
//
// Threads: works on the context it is given, which one thread uses at a time.
#pragma once

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/context.h"

namespace kelvane::platform {

// Replaces the current path of `context` by a rounded rectangle: four quarter arcs of `radius`
// joined by the straight edges, clockwise on a y-down surface from (minX, minY + radius),
// closed. Nothing is filled or stroked. A radius that is not a number of at least 0 counts as
// 0 (the plain rectangle).
KELVANE_EXPORT void SetRoundedRectPath(GraphicsContext& context, Rect rect, double radius) noexcept;

}  // namespace kelvane::platform
