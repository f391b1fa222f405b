// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/geometry/geometry.h"

#include <gtest/gtest.h>

namespace kelvane::platform {
namespace {

TEST(Geometry, RectanglesRoundOutwardAndInset) {
  EXPECT_EQ((Rect{0, 0, 10.2, 10.7}.Integral()), (Rect{0, 0, 11, 11}));
  EXPECT_EQ((Rect{0.5, -0.5, 1, 1}.Integral()), (Rect{0, -1, 2, 2}));
  EXPECT_EQ((Rect{10, 10, -4, -2}.Standardized()), (Rect{6, 8, 4, 2}));
  EXPECT_EQ((Rect{0, 0, 40, 40}.Inset(1, 1)), (Rect{1, 1, 38, 38}));
  EXPECT_TRUE((Rect{1, 1, 0, 5}.IsEmpty()));
  EXPECT_EQ((Rect{2, 3, 4, 5}.MaxY()), 8);
}

}  // namespace
}  // namespace kelvane::platform
