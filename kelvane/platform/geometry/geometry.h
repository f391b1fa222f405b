// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/geometry/geometry.h
//
// Points, sizes, rectangles and affine transforms in the platform's conventions: doubles,
// rectangles as an origin and a size, transforms as six numbers (a, b, c, d, tx, ty) that map a
// point (x, y) to (a·x + c·y + tx, b·x + d·y + ty).
//
// Translate, Rotate and Scale build on an existing transform the way the platform's functions
// do: the new step acts on a point first and the transform built so far afterwards. Concat(t1,
// t2) applies t1 first and t2 second.
//
// Threads: plain values; no shared state.
#pragma once

#include <cmath>

#include "kelvane/export.h"

namespace kelvane::platform {

// A point: x to the right, y down in image surfaces and up in bitmap contexts.
struct Point {
  double x = 0.0;  // horizontal, growing to the right
  double y = 0.0;  // vertical, growing down or up as the space says
  // Equal when both coordinates are equal.
  friend bool operator==(const Point&, const Point&) = default;
};

// A width and a height; either may be negative (a rectangle that extends the other way).
struct Size {
  double width = 0.0;   // along x
  double height = 0.0;  // along y
  // Equal when both dimensions are equal.
  friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle as its origin and its size. A negative width or height extends the rectangle to
// the left of or above its origin; the Min and Max edges account for that.
struct Rect {
  double x = 0.0;       // the origin's x
  double y = 0.0;       // the origin's y
  double width = 0.0;   // along x from the origin; negative extends towards smaller x
  double height = 0.0;  // along y from the origin; negative extends towards smaller y

  // The empty rectangle at the origin.
  constexpr Rect() = default;
  // The rectangle at (x_, y_) of size w x h.
  constexpr Rect(double x_, double y_, double w, double h) : x(x_), y(y_), width(w), height(h) {}
  // The rectangle at `origin` of `size`.
  constexpr Rect(Point origin, Size size)
      : x(origin.x), y(origin.y), width(size.width), height(size.height) {}

  // The smallest x of the rectangle, also for a negative width.
  [[nodiscard]] double MinX() const { return width < 0 ? x + width : x; }
  // The smallest y of the rectangle, also for a negative height.
  [[nodiscard]] double MinY() const { return height < 0 ? y + height : y; }
  // The largest x of the rectangle, also for a negative width.
  [[nodiscard]] double MaxX() const { return width < 0 ? x : x + width; }
  // The largest y of the rectangle, also for a negative height.
  [[nodiscard]] double MaxY() const { return height < 0 ? y : y + height; }
  // The width and height as they are (not standardized).
  [[nodiscard]] Size size() const { return {width, height}; }
  // True when the width or the height is 0 (a NaN dimension counts as not 0).
  [[nodiscard]] bool IsEmpty() const { return !(width != 0 && height != 0); }

  // The same rectangle with a non-negative width and height.
  [[nodiscard]] Rect Standardized() const {
    return {MinX(), MinY(), MaxX() - MinX(), MaxY() - MinY()};
  }

  // The smallest rectangle with whole-number edges that contains this one (the width and height
  // come out rounded up; a 10.2 x 10.7 rectangle at the origin becomes 11 x 11).
  [[nodiscard]] Rect Integral() const {
    const Rect s = Standardized();
    const double x0 = std::floor(s.x), y0 = std::floor(s.y);
    return {x0, y0, std::ceil(s.x + s.width) - x0, std::ceil(s.y + s.height) - y0};
  }

  // Moves every edge inwards by dx and dy (outwards for negative values).
  [[nodiscard]] Rect Inset(double dx, double dy) const {
    const Rect s = Standardized();
    return {s.x + dx, s.y + dy, s.width - 2 * dx, s.height - 2 * dy};
  }

  // Equal when origin and size are equal as stored: a rectangle with a negative width is not
  // equal to its standardized form.
  friend bool operator==(const Rect&, const Rect&) = default;
};

// An affine transform: (x, y) maps to (a·x + c·y + tx, b·x + d·y + ty).
struct AffineTransform {
  // The six numbers of the transform; the identity by default.
  double a = 1.0, b = 0.0, c = 0.0, d = 1.0, tx = 0.0, ty = 0.0;

  // The transform that leaves every point where it is.
  [[nodiscard]] static constexpr AffineTransform Identity() { return {}; }
  // Moves every point by (x, y).
  [[nodiscard]] static constexpr AffineTransform MakeTranslation(double x, double y) {
    return {1, 0, 0, 1, x, y};
  }
  // Scales by sx horizontally and sy vertically, about the origin.
  [[nodiscard]] static constexpr AffineTransform MakeScale(double sx, double sy) {
    return {sx, 0, 0, sy, 0, 0};
  }
  // Rotates by `angle` radians about the origin, from the x axis towards the y axis.
  [[nodiscard]] static AffineTransform MakeRotation(double angle) {
    const double s = std::sin(angle), c = std::cos(angle);
    return {c, s, -s, c, 0, 0};
  }

  // `first` applied to a point, then `second`.
  [[nodiscard]] static constexpr AffineTransform Concat(const AffineTransform& first,
                                                        const AffineTransform& second) {
    return {first.a * second.a + first.b * second.c,
            first.a * second.b + first.b * second.d,
            first.c * second.a + first.d * second.c,
            first.c * second.b + first.d * second.d,
            first.tx * second.a + first.ty * second.c + second.tx,
            first.tx * second.b + first.ty * second.d + second.ty};
  }

  // This transform with a translation by (x, y) applied to a point first.
  [[nodiscard]] AffineTransform Translate(double x, double y) const {
    return Concat(MakeTranslation(x, y), *this);
  }
  // This transform with a scaling by (sx, sy) applied to a point first.
  [[nodiscard]] AffineTransform Scale(double sx, double sy) const {
    return Concat(MakeScale(sx, sy), *this);
  }
  // This transform with a rotation by `angle` radians applied to a point first.
  [[nodiscard]] AffineTransform Rotate(double angle) const {
    return Concat(MakeRotation(angle), *this);
  }

  // Where the transform maps `p`.
  [[nodiscard]] constexpr Point Apply(Point p) const {
    return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty};
  }

  // The inverse; the transform itself when it cannot be inverted (as the platform does).
  [[nodiscard]] AffineTransform Inverted() const {
    const double det = a * d - b * c;
    if (det == 0 || !std::isfinite(det)) return *this;
    return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
  }

  // True when Inverted() gives a true inverse: the determinant is neither 0 nor infinite or NaN,
  // and the translation is finite.
  [[nodiscard]] bool IsInvertible() const {
    const double det = a * d - b * c;
    return det != 0 && std::isfinite(det) && std::isfinite(tx) && std::isfinite(ty);
  }

  // Equal when all six numbers are equal.
  friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

}  // namespace kelvane::platform
