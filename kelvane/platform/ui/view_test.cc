#include "kelvane/platform/ui/view.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kelvane::platform {
namespace {

TEST(View, FrameAndBoundsShareTheLayersGeometry) {
  const ViewRef view = View::Make({10, 20, 30, 40});
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->bounds(), (Rect{0, 0, 30, 40}));
  EXPECT_EQ(view->layer()->position(), (Point{25, 40}));
  // Bounds change around the fixed centre; their origin stays through a new frame.
  view->set_bounds({5, 5, 10, 20});
  EXPECT_EQ(view->frame(), (Rect{20, 30, 10, 20}));
  view->set_frame({-4, -6, -8, 12});  // a negative width moves the origin
  EXPECT_EQ(view->frame(), (Rect{-12, -6, 8, 12}));
  EXPECT_EQ(view->bounds(), (Rect{5, 5, 8, 12}));
  view->set_frame({0, 0, NAN, 1});
  EXPECT_EQ(view->frame(), (Rect{-12, -6, 8, 12}));
}

TEST(Layer, RefusesMasksThatWouldFormACycle) {
  const LayerRef a = Layer::Make(), b = Layer::Make(), c = ShapeLayer::Make();
  EXPECT_FALSE(a->set_mask(a));
  ASSERT_TRUE(a->set_mask(b));
  ASSERT_TRUE(b->set_mask(c));
  EXPECT_FALSE(c->set_mask(a));  // c -> a -> b -> c
  EXPECT_EQ(c->mask(), nullptr);
  EXPECT_TRUE(b->set_mask(nullptr));
  EXPECT_TRUE(c->set_mask(a));  // no longer a cycle
  EXPECT_EQ(c->mask(), a);
  EXPECT_EQ(a->mask(), b);
}

}  // namespace
}  // namespace kelvane::platform
