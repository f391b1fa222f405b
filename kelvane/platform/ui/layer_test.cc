// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/ui/layer.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kelvane::platform {
namespace {

TEST(Layer, RefusesMasksThatWouldFormACycle) {
  const LayerRef a = Layer::Make(), b = Layer::Make(), c = ShapeLayer::Make();
  EXPECT_FALSE(a->set_mask(a));
  ASSERT_EQ(std::tuple(a->set_mask(b), b->set_mask(c)), std::tuple(true, true));
  EXPECT_EQ((std::tuple{c->set_mask(a), c->mask()}),
            std::tuple(false, nullptr));  // c -> a -> b -> c
  ASSERT_TRUE(b->set_mask(nullptr));
  EXPECT_TRUE(c->set_mask(a));  // no longer a cycle
}

}  // namespace
}  // namespace kelvane::platform
