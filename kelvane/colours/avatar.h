// SPDX-License-Identifier: Apache-2.0
// kelvane/colours/avatar.h
//
// Avatars of chat participants. An initials avatar shows one or two upper-case initials of a
// person, taken from the login, name and surname, in white on a two-colour vertical gradient;
// the gradient (and a matching flat colour) is chosen by the first byte of the MD5 digest of the
// name parts that gave the initials, so the same person always gets the same colours. A picture
// avatar draws an existing image into the avatar's size with a fit mode over an optional
// background colour. Both may be clipped to a circle or a rounded rectangle.
//
// Initials are user-perceived characters (extended grapheme clusters): a letter with its marks,
// a surrogate pair, a flag or an emoji joined with zero-width joiners is one initial, and its
// length in UTF-16 units decides whether the surname still adds one. Initials are upper-cased
// with the full Unicode mapping, whatever the user's language.
//
// Avatars are drawn at the screen's scale (CScreen) on a surface opened and closed within the
// call; the images are not cached. Text is drawn in the system font with font fallback, so any
// script with an installed font shows; right-to-left initials are centred like any other.
//
// Ownership: the caller owns every returned image; gradients from _gradient() belong to the
// process-wide cache and live until the process ends.
//
// Threads: every function may be called from any thread. The gradient cache is filled once, all
// eleven gradients together under a one-time guard, and only read afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/geometry/content_mode.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/gradient.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane::platform {
class GraphicsContext;
}

namespace kelvane::Avatar {

using platform::ColorRef;
using platform::GradientRef;
using platform::ImageRef;
using platform::Rect;
using platform::Size;

// clip kinds. Any other value clips nothing, yet the surface is still not opaque.
inline constexpr std::uint64_t kClipNone = 0;
inline constexpr std::uint64_t kClipCircle = 1;   // ellipse in the bounds inset by 1 point
inline constexpr std::uint64_t kClipRounded = 2;  // corner radius min(W, H) / 10, rounded

// Fit modes of a picture avatar: the content modes of platform/geometry/content_mode.h, by
// their earlier names. Every other value stretches, as platform::kContentModeStretch does.
inline constexpr std::int64_t kModeFit = platform::kContentModeFit;    // all of the picture shows
inline constexpr std::int64_t kModeFill = platform::kContentModeFill;  // the avatar is covered
inline constexpr std::int64_t kModeCenter = platform::kContentModeCenter;  // natural size, centred
inline constexpr std::int64_t kModeTop = platform::kContentModeTop;  // natural size, at the top
inline constexpr std::int64_t kModeBottom = platform::kContentModeBottom;  // natural, at the foot

// The initials' point size is the avatar's height times this single-precision constant
// (0.44999998807907104).
inline constexpr float kInitialsFontScale = 0.45f;

// The initials of a person, upper-cased, possibly empty; the MD5 digest of the UTF-8 bytes of
// the parts that gave initials is written to the 16 bytes at `hash` on every call (the digest of
// nothing, D41D8CD9..., when no part gave one).
// - Only when the login is not empty and both name and surname are absent (nullopt, not merely
//   empty), the login is split at every single space: the first component is the name, the
//   second the surname, and a later component longer than one unit replaces a surname of at
//   most one unit, ending the walk ("a b charlie" -> name "a", surname "charlie").
// - The name gives its first character; the surname adds its first character only while the
//   initials hold at most one UTF-16 unit; the login gives its first character only when
//   neither did. Each part that gave an initial is hashed whole, in that order.
// A null `hash` is allowed: the digest is then not written.
[[nodiscard]] KELVANE_EXPORT String InitialsLogin(OptionalString login, OptionalString name,
                                                  OptionalString surname,
                                                  unsigned char* hash) noexcept;

// The flat colour of a person, 0x00RRGGBB: _color() of the first digest byte.
[[nodiscard]] KELVANE_EXPORT std::int32_t ColorLogin(OptionalString login, OptionalString name,
                                                     OptionalString surname) noexcept;

// The flat colour of index `b` % 11, 0x00RRGGBB.
[[nodiscard]] KELVANE_EXPORT std::int32_t _color(std::uint8_t b) noexcept;

// The top-to-bottom gradient of index `b` % 11 (stops at 0 and 1), built once per process and
// shared; null only when it could not be built (it is then tried again on the next call).
[[nodiscard]] KELVANE_EXPORT GradientRef _gradient(std::uint8_t b) noexcept;

// An initials avatar of `size` points: the initials of the person on the gradient chosen by the
// first digest byte. Null when no surface of that size can be made.
[[nodiscard]] KELVANE_EXPORT ImageRef AvatarLogin(OptionalString login, OptionalString name,
                                                  OptionalString surname, Size size,
                                                  std::uint64_t clip) noexcept;

// `text` in white in the system font of size.height x kInitialsFontScale points, centred without
// rounding on `background` stretched over the avatar, or, without one, on the gradient of
// `preset` (its unsigned byte % 11) from the top edge to the bottom edge. The surface is opaque
// exactly when `clip` is kClipNone. Null when no surface of that size can be made.
[[nodiscard]] KELVANE_EXPORT ImageRef Avatar(std::u16string_view text, const ImageRef& background,
                                             std::int8_t preset, Size size,
                                             std::uint64_t clip) noexcept;

// `picture` placed by `mode` (see PictureRect) over `background_color`, with high-quality
// interpolation. The surface is opaque exactly when `clip` is kClipNone and a background colour
// is given. Null for the fit and fill modes when the picture is absent or 0 x 0, and when no
// surface of that size can be made; in the other modes an absent picture leaves the background.
[[nodiscard]] KELVANE_EXPORT ImageRef Avatar(const ImageRef& picture, std::int64_t mode,
                                             const ColorRef& background_color, Size size,
                                             std::uint64_t clip) noexcept;

// Installs the clip of kind `clip` for an avatar of `size` on `context`: the ellipse in
// (1, 1, W - 2, H - 2), or the rounded rectangle over (0, 0, W, H) with ClipRadius(); other
// kinds install nothing.
KELVANE_EXPORT void _clipContext(platform::GraphicsContext& context, Size size,
                                 std::uint64_t clip) noexcept;

// The corner radius of a rounded avatar: min(W, H) / 10 in single precision, rounded half away
// from zero (4 for 40 x 60, 5 for 45 x 45).
[[nodiscard]] KELVANE_EXPORT double ClipRadius(Size size) noexcept;

// Where a picture of `picture` points lands in an avatar of `avatar` points under `mode`, the
// values rounded half away from zero in single precision: fit (1) and fill (2) scale by the
// smaller or larger ratio and centre; centre (4), top (5) and bottom (6) keep the natural size
// (bottom's y is floor(H - h)); every other mode stretches over the avatar. nullopt when the
// rectangle is not finite: fit and fill of a 0 x 0 picture, or fill of a picture with one side 0
// (such a picture draws nothing; the avatar then shows its background).
[[nodiscard]] KELVANE_EXPORT std::optional<Rect> PictureRect(std::int64_t mode, Size picture,
                                                             Size avatar) noexcept;

}  // namespace kelvane::Avatar
