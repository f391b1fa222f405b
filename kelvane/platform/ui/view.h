// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/ui/view.h
//
// The view: a rectangle of the interface, as a plain model with no window system behind it.
// Its geometry lives in its layer, as on the phone: bounds() is the layer's bounds and frame()
// is where those bounds sit in the superview's space (the layer's position is the frame's
// centre). A view has a background colour (none by default), an opaque flag and an
// autoresizing mask, which says how its frame follows a change of its superview's size.
//
// Ownership: views are shared as ViewRef (or a ref of a subclass); the same ref is the same
// view. A view owns its layer for its whole life; layer() never changes and is never null.
//
// Threads: a view belongs to one thread at a time, as interface objects do on the phone. The
// application hands one over to another thread with its own synchronisation; two threads never
// use one view (or its layer) at once.
#pragma once

#include <memory>
#include <new>
#include <utility>

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/ui/layer.h"

namespace kelvane::platform {

// Autoresizing mask bits, in the platform's numbering.
enum AutoresizingMask : unsigned {
  kAutoresizingNone = 0,                   // the frame keeps its place and size
  kAutoresizingFlexibleLeftMargin = 1,     // the left margin follows the superview's width
  kAutoresizingFlexibleWidth = 2,          // the width follows the superview's width
  kAutoresizingFlexibleRightMargin = 4,    // the right margin follows the superview's width
  kAutoresizingFlexibleTopMargin = 8,      // the top margin follows the superview's height
  kAutoresizingFlexibleHeight = 16,        // the height follows the superview's height
  kAutoresizingFlexibleBottomMargin = 32,  // the bottom margin follows the superview's height
};

class View;
// Views are shared: the same ref is the same view.
using ViewRef = std::shared_ptr<View>;

// A rectangle of the interface, with its layer (see the opening block).
class KELVANE_EXPORT View {
 protected:
  // Keeps construction to the factories, which never throw.
  struct Token {
    explicit Token() = default;
  };

 public:
  // A view with `frame` (see set_frame) and a fresh layer; null only when memory runs out.
  [[nodiscard]] static ViewRef Make(Rect frame) noexcept;

  // For the factories only (the token is the views' own). REQUIRES: `layer` is not null.
  View(Token, Rect frame, LayerRef layer) noexcept;
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Where the view's bounds sit in the superview's space.
  [[nodiscard]] Rect frame() const noexcept;
  // Moves and sizes the view; the bounds keep their origin and take the frame's size. Sides are
  // kept non-negative; a rectangle with an edge that is not finite is ignored.
  void set_frame(Rect frame) noexcept;
  // The view's own coordinate space: its layer's bounds.
  [[nodiscard]] Rect bounds() const noexcept { return layer_->bounds(); }
  // Changes the bounds around the frame's fixed centre.
  void set_bounds(Rect bounds) noexcept { layer_->set_bounds(bounds); }

  // The view's layer: never null, the same for the view's whole life.
  [[nodiscard]] const LayerRef& layer() const noexcept { return layer_; }

  // Null: no background of its own (what lies behind shows through).
  [[nodiscard]] const ColorRef& background_color() const noexcept { return background_color_; }
  void set_background_color(ColorRef color) noexcept { background_color_ = std::move(color); }
  // True promises that the view paints every one of its pixels opaquely. Views start opaque.
  [[nodiscard]] bool opaque() const noexcept { return opaque_; }
  void set_opaque(bool opaque) noexcept { opaque_ = opaque; }
  // kAutoresizing... bits; views start with none.
  [[nodiscard]] unsigned autoresizing_mask() const noexcept { return autoresizing_mask_; }
  void set_autoresizing_mask(unsigned mask) noexcept { autoresizing_mask_ = mask; }

 protected:
  // A new T (a View or a subclass) with `frame` and a fresh layer; null when memory runs out.
  template <class T>
  [[nodiscard]] static std::shared_ptr<T> MakeAs(Rect frame) noexcept {
    try {
      LayerRef layer = Layer::Make();
      if (layer == nullptr) return nullptr;
      return std::make_shared<T>(Token(), frame, std::move(layer));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

 private:
  LayerRef layer_;
  ColorRef background_color_;
  bool opaque_ = true;
  unsigned autoresizing_mask_ = kAutoresizingNone;
};

}  // namespace kelvane::platform
