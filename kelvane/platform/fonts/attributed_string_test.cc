#include "kelvane/platform/fonts/attributed_string.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace kelvane::platform {
namespace {

TextAttributes Offset(double offset) {
  TextAttributes a;
  a.baseline_offset = offset;
  return a;
}

TEST(MutableAttributedString, RangesPastTheEndChangeNothing) {
  MutableAttributedString s(u"abc", Offset(1));
  EXPECT_FALSE(s.AddAttributes(Offset(2), {2, 2}));
  EXPECT_FALSE(s.SetAttributes({}, {4, 0}));
  EXPECT_FALSE(s.SetAttributes({}, {1, static_cast<std::size_t>(-1)}));  // no wrap-around
  ASSERT_EQ(s.runs().size(), 1u);
  EXPECT_EQ(s.runs()[0].attributes, Offset(1));
  // Within a batch runs stay split; its end joins equal neighbours.
  s.BeginEditing();
  ASSERT_TRUE(s.SetAttributes(Offset(1), {1, 1}));
  s.Append(u"d");  // plain text carries the last character's attributes on
  s.EndEditing();
  ASSERT_EQ(s.runs().size(), 1u);
  EXPECT_EQ(s.runs()[0].range, (TextRange{0, 4}));
}

}  // namespace
}  // namespace kelvane::platform
