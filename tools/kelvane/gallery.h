// tools/kelvane/gallery.h
//
// The demo's gallery: one picture of what the library draws (initials avatars across scripts in
// the three clips, the palette in light and dark, the blur presets, the picture fit modes),
// labelled with the library's own text drawing.
#pragma once

#include <string>

namespace kelvane::cli {

// Draws the gallery and writes it as a PNG to `path`. `picture` is a PNG or JPEG to show the
// effects and the fit modes on; when it is empty or unreadable, the gallery draws its own.
bool DrawGallery(const std::string& path, const std::string& picture);

}  // namespace kelvane::cli
