// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/fonts/attributed_string.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <utility>
#include <vector>

namespace kelvane::platform {
namespace {

TextAttributes Offset(double offset) {
  TextAttributes a;
  a.baseline_offset = offset;
  return a;
}

TEST(MutableAttributedString, RangesPastTheEndChangeNothingAndSetsComeFromItsOwnRuns) {
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
  // Outside a batch each change joins equal neighbours at once.
  ASSERT_TRUE(s.AddAttributes(Offset(2), {1, 1}));
  EXPECT_EQ(s.runs().size(), 3u);
  ASSERT_TRUE(s.AddAttributes(Offset(1), {1, 1}));
  EXPECT_EQ(s.runs().size(), 1u);

  // Each string below has two runs in a full vector, so the split that follows moves them: the
  // set handed in, one of the string's own, must be read before that (AddressSanitizer catches a
  // read of the moved-from runs).
  TextAttributes red = Offset(1);
  red.foreground_color = Color::RGB(1, 0, 0, 1);
  const auto split = [&] {
    MutableAttributedString s(u"abcd", Offset(2));
    EXPECT_TRUE(s.SetAttributes(red, {0, 1}));
    return s;
  };
  const auto runs_of = [](const AttributedString& s) {
    std::vector<std::pair<TextRange, TextAttributes>> runs;
    for (const auto& run : s.runs()) runs.emplace_back(run.range, run.attributes);
    return runs;
  };
  using Runs = std::vector<std::pair<TextRange, TextAttributes>>;

  MutableAttributedString added = split();
  ASSERT_TRUE(added.AddAttributes(added.runs()[0].attributes, {3, 1}));
  EXPECT_EQ(runs_of(added), (Runs{{{0, 1}, red}, {{1, 2}, Offset(2)}, {{3, 1}, red}}));

  MutableAttributedString set = split();
  ASSERT_TRUE(set.SetAttributes(set.runs()[0].attributes, {2, 1}));
  EXPECT_EQ(runs_of(set),
            (Runs{{{0, 1}, red}, {{1, 1}, Offset(2)}, {{2, 1}, red}, {{3, 1}, Offset(2)}}));
}

}  // namespace
}  // namespace kelvane::platform
