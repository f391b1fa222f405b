// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/color.h
//
// The platform colour: an immutable object shared by ColorRef. Four kinds exist:
//
//   RGB      red, green, blue and alpha as doubles (nominally 0..1; other values are kept as
//            given, for extended-range colours);
//   grey     a white level and an alpha, two components; its RGB form has red = green = blue =
//            the white level;
//   pattern  a repeating tile of pixels; it paints, but has no single RGB form;
//   dynamic  a colour that is only known once an appearance is given: a provider maps the
//            appearance to another colour each time the colour is resolved.
//
// Identity matters: code that caches colours hands out the same ColorRef for the same request,
// and callers may compare ColorRefs to tell whether they got the same object.
//
// Ownership: a colour is owned by the ColorRefs that point at it; it holds nothing but its
// components (and, for a dynamic colour, the provider with whatever that captured).
//
// Threads: a colour never changes after it is made, so any number of threads may use one at
// once. A dynamic colour runs its provider on whichever thread resolves it, without any lock
// of its own; the provider must be safe to call from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/device/appearance.h"

namespace kelvane::platform {

class Color;
// Colours are immutable and shared: the same ref is the same colour.
using ColorRef = std::shared_ptr<const Color>;

// A colour's RGB form, as the platform hands it out.
struct ColorComponents {
  double red = 0.0;    // nominally 0..1
  double green = 0.0;  // nominally 0..1
  double blue = 0.0;   // nominally 0..1
  double alpha = 0.0;  // nominally 0..1; 0 is transparent
};

// The pixels of a pattern colour: width x height values 0xAARRGGBB, rows from the top.
struct PatternTile {
  std::uint32_t width = 0;            // pixels per row
  std::uint32_t height = 0;           // rows
  std::vector<std::uint32_t> pixels;  // width x height pixels, row by row
};

// The platform colour (see the opening block).
class KELVANE_EXPORT Color : public std::enable_shared_from_this<Color> {
 public:
  // The four kinds of colour.
  enum class Kind {
    kRGB,      // red, green, blue and alpha
    kGrey,     // a white level and alpha
    kPattern,  // a repeating tile of pixels
    kDynamic,  // resolved for an appearance by a provider
  };

  // Maps an appearance to the colour to show in it. It may return null (the dynamic colour
  // then has no colour in that appearance) and is called again on every resolution.
  using Provider = std::function<ColorRef(Appearance)>;

  // An RGB colour with the components exactly as given. Null only when memory runs out.
  [[nodiscard]] static ColorRef RGB(double red, double green, double blue, double alpha) noexcept;

  // A grey colour: white level and alpha. Null only when memory runs out.
  [[nodiscard]] static ColorRef Grey(double white, double alpha) noexcept;

  // A pattern colour over a copy of `tile`. Null when the tile is empty (a zero side) or its
  // pixel count is not width x height, or when memory runs out.
  [[nodiscard]] static ColorRef Pattern(PatternTile tile) noexcept;

  // A dynamic colour over `provider`. Null when the provider is empty or memory runs out.
  [[nodiscard]] static ColorRef Dynamic(Provider provider) noexcept;

 protected:
  // Keeps construction to the factories, which never throw; the constructor is public so that
  // they can allocate the object in one block.
  struct Token {
    explicit Token() = default;
  };

 public:
  // In the order of Kind: red, green, blue, alpha; white, alpha; the tile; the provider.
  using Value = std::variant<std::array<double, 4>, std::array<double, 2>, PatternTile, Provider>;
  // For the factories only (the token is the colours' own).
  Color(Token, Value value) noexcept : value_(std::move(value)) {}
  Color(const Color&) = delete;
  Color& operator=(const Color&) = delete;

  // The kind of colour.
  [[nodiscard]] Kind kind() const noexcept { return static_cast<Kind>(value_.index()); }

  // The kind's own components: red, green, blue, alpha for an RGB colour; white, alpha for a
  // grey one; none for a pattern or a dynamic colour.
  [[nodiscard]] std::span<const double> Components() const noexcept;

  // The tile of a pattern colour; null for every other kind.
  [[nodiscard]] const PatternTile* Tile() const noexcept;

  // The colour to show in `appearance`. A dynamic colour asks its provider (following a chain
  // of dynamic colours a few steps at most); every other kind returns itself. Null when the
  // provider gives null, throws, or the chain does not end in a fixed colour.
  [[nodiscard]] ColorRef Resolved(Appearance appearance) const noexcept;

  // The RGB form: the components of an RGB colour, those of a grey one spread over red, green
  // and blue, and for a dynamic colour those of its resolution in the current appearance.
  // nullopt when the colour has no RGB form (a pattern, or a dynamic colour that resolves to
  // nothing or to a pattern).
  [[nodiscard]] std::optional<ColorComponents> RGBA() const noexcept;

 private:
  static ColorRef Make(Value value) noexcept;

  Value value_;
};

}  // namespace kelvane::platform
