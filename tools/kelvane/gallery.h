// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/gallery.h
//
// The demo's pictures: a landscape the image steps work on, and the gallery, one picture of what
// the library draws (initials avatars across scripts in the three clips, the palette in light
// and dark, the blur presets, the picture fit modes), labelled with the library's own text
// drawing.
#pragma once

#include <string>

#include "kelvane/platform/graphics/image.h"

namespace kelvane::cli {

// A 240 x 160 point landscape at scale 2 (a sky, a sun top left, hills, a house); null when no
// drawing surface can be made.
platform::ImageRef DrawLandscape();

// Draws the gallery and writes it as a PNG to `path`. `picture` shows the effects and the fit
// modes; without one, the landscape does. Throws Failure.
void DrawGallery(const std::string& path, platform::ImageRef picture);

}  // namespace kelvane::cli
