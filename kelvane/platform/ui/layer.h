// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/ui/layer.h
//
// Layers, the drawing side of interface objects, as plain models with no window system behind
// them. A layer has bounds (its own coordinate space), a position (where the centre of its
// bounds sits in its superlayer's space) and an optional mask: where a mask is set, only the
// parts of the layer that the mask layer covers show. A shape layer covers the inside of its
// path (non-zero winding) in its fill colour, which is what makes it useful as a mask.
//
// Ownership: layers are shared as LayerRef; the same LayerRef is the same layer. A layer holds
// its mask strongly, so a mask set once lives as long as the layer that uses it.
//
// Threads: a layer belongs to one thread at a time, as interface objects do on the phone. The
// application hands one over to another thread with its own synchronisation; two threads never
// use one layer at once.
#pragma once

#include <memory>
#include <utility>

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/path.h"

namespace kelvane::platform {

class Layer;
// Layers are shared: the same ref is the same layer.
using LayerRef = std::shared_ptr<Layer>;

// The drawing side of an interface object: bounds, position and an optional mask.
class KELVANE_EXPORT Layer {
 protected:
  // Keeps construction to the factories, which never throw.
  struct Token {
    explicit Token() = default;
  };

 public:
  // A layer with empty bounds at the origin and no mask; null only when memory runs out.
  [[nodiscard]] static LayerRef Make() noexcept;

  // For the factories only (the token is the layers' own).
  explicit Layer(Token) noexcept {}
  virtual ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  // The layer's own coordinate space; empty at the origin in a new layer.
  [[nodiscard]] Rect bounds() const noexcept { return bounds_; }
  // Sides are kept non-negative (a negative width moves the origin instead); a rectangle with
  // an edge that is not finite is ignored.
  void set_bounds(Rect bounds) noexcept;
  // Where the centre of the bounds sits in the superlayer's space.
  [[nodiscard]] Point position() const noexcept { return position_; }
  // A position that is not finite is ignored.
  void set_position(Point position) noexcept;

  // The mask layer, or null.
  [[nodiscard]] const LayerRef& mask() const noexcept { return mask_; }
  // Sets the mask, or removes it with null. False, and the old mask kept, when `mask` is this
  // layer or is itself masked (at any depth) by this layer: such a cycle would never be freed.
  bool set_mask(LayerRef mask) noexcept;

 private:
  Rect bounds_;
  Point position_;
  LayerRef mask_;
};

class ShapeLayer;
// Shape layers are shared: the same ref is the same layer.
using ShapeLayerRef = std::shared_ptr<ShapeLayer>;

// A layer that covers the inside of its path in its fill colour.
class KELVANE_EXPORT ShapeLayer : public Layer {
 public:
  // An empty path filled in opaque black; null only when memory runs out.
  [[nodiscard]] static ShapeLayerRef Make() noexcept;

  // For Make() only (the token is the layers' own).
  explicit ShapeLayer(Token token) noexcept : Layer(token) {}

  // The path in the layer's own coordinates; the layer keeps its own copy.
  [[nodiscard]] const Path& path() const noexcept { return path_; }
  void set_path(Path path) noexcept { path_ = std::move(path); }
  // The colour the inside of the path is painted in; null paints nothing.
  [[nodiscard]] const ColorRef& fill_color() const noexcept { return fill_color_; }
  void set_fill_color(ColorRef color) noexcept { fill_color_ = std::move(color); }

 private:
  Path path_;
  ColorRef fill_color_ = Color::RGB(0, 0, 0, 1);
};

}  // namespace kelvane::platform
