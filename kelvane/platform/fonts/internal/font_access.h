// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/fonts/internal/font_access.h
//
// What the text layout code needs of a font: the face as fontconfig lists it and the engine's
// font description. Not a public header.
#pragma once

#include <pango/pango.h>

#include <cstddef>
#include <string>
#include <vector>

#include "kelvane/platform/fonts/font.h"

namespace kelvane::platform {

// One installed face, as fontconfig lists it (UTF-8 names).
struct Font::Face {
  std::vector<std::string> families;  // the first is the face's main family
  std::vector<std::string> styles;    // "Bold", or "Condensed Bold" and "Bold", ...
  std::vector<std::string> full_names;
  std::string postscript_name;
  int weight = 80;  // fontconfig's scale: 80 regular, 200 bold
  int slant = 0;    // 0 roman, 100 italic, 110 oblique
  int width = 100;  // 100 normal, 87 semi-condensed, ...
};

namespace internal {

// False when allocations can fail in this process (an address-space or data limit, or a system
// that commits no more memory than it has) and fewer bytes can be had than fontconfig may take
// for what comes next: loading its configuration when that is not done yet, or matching and
// sorting the installed faces. Called before anything that reaches fontconfig (Pango included),
// which writes through allocations that failed rather than reporting them, and which, when its
// cache files cannot be mapped, scans the font folders again and stores what it found in that
// state (nothing) as the folders' cache, for every later process too.
[[nodiscard]] bool FontEngineHasRoom() noexcept;

// FontEngineHasRoom, with room besides for the stacks of the two threads on which Pango matches
// a font it has not met: GLib stops the process when it cannot start a thread. Called before
// Pango lays out text.
[[nodiscard]] bool TextEngineHasRoom() noexcept;

// True when allocations can fail in this process rather than the system killing it: under an
// address-space or data limit, or where the system commits no more memory than it has.
[[nodiscard]] bool AllocationsCanFail() noexcept;

// The font's description: the face's family, weight, style and stretch, and the point size as
// an absolute size (one point is one unit of the drawing context's user space).
[[nodiscard]] inline const PangoFontDescription* DescriptionOf(const Font& font) noexcept {
  return font.description();
}

}  // namespace internal
}  // namespace kelvane::platform
