// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/graphics/path.h
//
// A path built apart from any context (for masks and shapes kept for later), replayed into a
// context with GraphicsContext::AddPath under the context's transform at that moment. The
// elements follow the context's own path operations exactly (angles, arc direction, closed
// rectangles and ellipses).
//
// Threads: a path is a plain value; one thread may change it, any number may read it.
#pragma once

#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::platform {

// A sequence of path elements, as GraphicsContext builds its current path.
class KELVANE_EXPORT Path {
 public:
  // What an element does.
  enum class Op {
    kMove,     // starts a subpath
    kLine,     // a line from the current point
    kArc,      // an arc, as GraphicsContext::AddArc draws it
    kRect,     // a closed rectangle
    kEllipse,  // a closed ellipse in a rectangle
    kClose,    // closes the subpath
    kCurve,    // a cubic Bezier curve
  };
  // One element: its operation and its numbers.
  struct Element {
    Op op;        // what the element does
    double v[6];  // move/line: x, y; arc: x, y, radius, start, end, clockwise; rect/ellipse: x, y,
                  // w, h; curve: the two control points, then the end point
  };

  // Starts a new subpath at (x, y).
  void MoveTo(double x, double y) { elements_.push_back({Op::kMove, {x, y}}); }
  // A line from the current point to (x, y).
  void AddLineTo(double x, double y) { elements_.push_back({Op::kLine, {x, y}}); }
  // See GraphicsContext::AddArc.
  void AddArc(double x, double y, double radius, double start, double end, bool clockwise) {
    elements_.push_back({Op::kArc, {x, y, radius, start, end, clockwise ? 1.0 : 0.0}});
  }
  // A cubic Bezier curve from the current point through the two control points to (x, y).
  void AddCurveToPoint(double cp1x, double cp1y, double cp2x, double cp2y, double x, double y) {
    elements_.push_back({Op::kCurve, {cp1x, cp1y, cp2x, cp2y, x, y}});
  }
  // A closed rectangular subpath.
  void AddRect(Rect r) { elements_.push_back({Op::kRect, {r.x, r.y, r.width, r.height}}); }
  // A closed subpath: the ellipse that fits in `r`.
  void AddEllipseInRect(Rect r) {
    elements_.push_back({Op::kEllipse, {r.x, r.y, r.width, r.height}});
  }
  // Closes the current subpath with a line back to its start.
  void CloseSubpath() { elements_.push_back({Op::kClose, {}}); }

  // True when the path has no elements.
  [[nodiscard]] bool IsEmpty() const noexcept { return elements_.empty(); }
  // The elements, in the order they were added.
  [[nodiscard]] const std::vector<Element>& elements() const noexcept { return elements_; }

 private:
  std::vector<Element> elements_;
};

}  // namespace kelvane::platform
