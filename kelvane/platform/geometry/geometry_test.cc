#include "kelvane/platform/geometry/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kelvane::platform {
namespace {

void ExpectNear(Point actual, Point expected) {
  EXPECT_NEAR(actual.x, expected.x, 1e-12);
  EXPECT_NEAR(actual.y, expected.y, 1e-12);
}

TEST(Geometry, TransformStepsActOnThePointFirst) {
  // Translate then rotate by pi: the rotation acts first, then the translation, as the
  // platform's builders do; the "down" orientation transform of a 40 x 30 picture.
  const AffineTransform down = AffineTransform::Identity().Translate(40, 30).Rotate(M_PI);
  ExpectNear(down.Apply({0, 0}), {40, 30});
  ExpectNear(down.Apply({10, 5}), {30, 25});
  // Translate (w, 0) then scale (-1, 1): a mirror about the vertical centre line.
  const AffineTransform mirror = AffineTransform::Identity().Translate(40, 0).Scale(-1, 1);
  EXPECT_EQ(mirror, (AffineTransform{-1, 0, 0, 1, 40, 0}));
  // Concat(a, b) applies a first.
  const AffineTransform both = AffineTransform::Concat(AffineTransform::MakeScale(2, 2),
                                                       AffineTransform::MakeTranslation(1, 0));
  EXPECT_EQ(both.Apply({3, 4}), (Point{7, 8}));
  ExpectNear(both.Inverted().Apply({7, 8}), {3, 4});
  EXPECT_FALSE(AffineTransform::MakeScale(0, 1).IsInvertible());
  EXPECT_EQ(AffineTransform::MakeScale(0, 1).Inverted(), AffineTransform::MakeScale(0, 1));
}

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
