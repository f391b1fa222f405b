// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/text_drawing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>
#include <vector>

#include "kelvane/platform/fonts/text_layout.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/threads.h"
#include "kelvane/text/internal/ceil_single.h"
#include "kelvane/text/internal/checked_drawing.h"

namespace kelvane::NSTools {
namespace {

using platform::Font;
using platform::FontRef;
using platform::Size;

TEST(TextDrawing, CalcDistanceOfFindsTheOccurrenceNearestAWordStart) {
  const MatchRange none{kNotFoundLocation, 0};
  struct Case {
    std::u16string_view text, word;
    unsigned int distance;
    MatchRange range;
  } cases[] = {
      {u"Snapple", u"ap", 2, {2, 2}},
      {u"Snapple apparel", u"ap", 0, {8, 2}},  // a later occurrence at a word start wins
      {u"xap yap", u"ap", 1, {1, 2}},          // of equal distances the first stays
      {u"abc", u"q", kNoDistance, none},
      {u"abc", u"", kNoDistance, none},
      {u"a b cxd exd", u"XD", 1, {5, 2}},  // case does not count; spaces found afresh
      {u"xßyss ßs", u"SS", 0, {6, 1}},     // the search goes on after a folded occurrence
  };
  for (const auto& c : cases) {
    MatchRange range{1, 1};
    EXPECT_EQ(CalcDistanceOf(c.text, c.word, &range), c.distance);
    EXPECT_EQ(range, c.range) << std::string(c.text.begin(), c.text.end());
  }
  EXPECT_EQ(CalcDistanceOf(u"Snapple", u"ap", nullptr), 2u);
}

// 300,000 units with an occurrence every third unit and the best one last. The text after each
// occurrence was once folded again, and the spaces before it sought again: time grew with the
// square of the length.
int LongTextChild() {
  String text;
  for (int i = 0; i < 100000; ++i) text += u"xyA";
  text += u" qa";
  MatchRange range;
  const unsigned int distance = CalcDistanceOf(text, u"a", &range);
  if (distance == 1 && range == MatchRange{300002, 1}) return 0;
  std::fprintf(stderr, "child: distance %u at %llu, length %llu\n", distance,
               static_cast<unsigned long long>(range.location),
               static_cast<unsigned long long>(range.length));
  return 1;
}
[[maybe_unused]] const bool kLongText = testing::ChildProcess("distance-long-text", LongTextChild);

TEST(TextDrawing, CalcDistanceOfSearchesALongTextInLinearTime) {
  const testing::ChildOutcome outcome =
      testing::RunLimitedChild("distance-long-text", {.memory_bytes = 512u << 20, .seconds = 10});
  EXPECT_EQ(outcome.status, 0) << outcome.cpu_seconds << " s of CPU";
}

TEST(TextDrawing, SizesAreRoundedUpInSinglePrecision) {
  // 20.0000001 is 20 as a float: a double round-up would give 21.
  EXPECT_EQ(internal::CeilSingle(20.0000001), 20.0);
  FontRef font = Font::System(13);
  const Size one = SizeWithFont(u"Bid 1.23456", font);
  EXPECT_EQ(one.width, std::ceil(one.width));
  EXPECT_EQ(one.height, std::ceil(one.height));
  const Size boxed = SizeWithFont(u"Bid 1.23456 Ask 1.23470", font, Size{60, 1000});
  EXPECT_LE(boxed.width, 60);
  EXPECT_GT(boxed.height, one.height);
  EXPECT_EQ(SizeWithFont(u"Bid", nullptr, Size{60, 60}), Size{});
}

TEST(TextDrawing, ShrinkingTriesEachWholeSizeDownToTheMinimum) {
  const std::u16string text = u"EUR/USD 1.08542";
  FontRef font = Font::Named(u"DejaVu Sans", 14);
  ASSERT_NE(font, nullptr);
  auto size_at = [&](double size) { return SizeWithFont(text, Font::Named(u"DejaVu Sans", size)); };
  double actual = 0;
  // A 12.5-point font that fits stores 13 and measures at 12.5.
  FontRef half = Font::Named(u"DejaVu Sans", 12.5);
  EXPECT_EQ(SizeWithFont(text, half, 10, &actual, 1000, 0), SizeWithFont(text, half));
  EXPECT_EQ(actual, 13);
  // {minimum, width to fit, whole size measured at, size stored}. 14 fits its own width exactly
  // and is kept. Else 14 does not fit: 13, 12, 11
  // and 10 are tried, and the first that fits is used. When nothing fits, the size at 10 comes
  // back and 10 is stored; a minimum between whole sizes is stored when the last size tried lies
  // below it; a minimum below one point ends at one point, measured and stored, instead of running
  // on.
  // clang-format off
  const std::tuple<double, double, double, double> cases[] = {
      {10, size_at(14).width, 14, 14},
      {10, size_at(13).width, 13, 13}, {10, size_at(10).width, 10, 10},
      {10, 5, 10, 10}, {10.5, 5, 11, 10.5}, {0.5, -1, 1, 1}, {-1e300, -1, 1, 1}};
  // clang-format on
  for (const auto& [minimum, width, at, stored] : cases) {
    EXPECT_EQ(SizeWithFont(text, font, minimum, &actual, width, 0), size_at(at)) << at;
    EXPECT_EQ(actual, stored) << minimum;
  }
  EXPECT_EQ(SizeWithFont(text, font, 10, nullptr, 5, 0), Size{});
}

// The colour and the text's place are tried by the avatars, which draw through DrawInRect; here,
// that without a font or a colour nothing is drawn.
TEST(TextDrawing, DrawInRectWithoutFontOrColourDrawsNothingAndReturnsZero) {
  ASSERT_TRUE(platform::BeginImageContext({80, 40}));
  EXPECT_EQ(DrawInRect(u"unseen", {0, 0, 80, 40}, nullptr, platform::Color::RGB(1, 0, 0, 1)),
            Size{});
  EXPECT_EQ(DrawInRect(u"unseen", {0, 0, 80, 40}, Font::System(12), nullptr), Size{});
  const auto image = platform::GetImageFromCurrentImageContext();
  platform::EndImageContext();
  ASSERT_NE(image, nullptr);
  const platform::Raster& drawn = *image->raster();
  const std::vector<std::uint8_t> bytes(drawn.data(),
                                        drawn.data() + drawn.bytes_per_row() * drawn.height());
  EXPECT_EQ(bytes, std::vector<std::uint8_t>(bytes.size(), 0));
}

// The checked forms the avatars use tell a failure from a text that draws nothing.
TEST(TextDrawing, CheckedFormsTellFailuresFromNothingToDraw) {
  const FontRef font = Font::System(12);
  ASSERT_NE(font, nullptr);
  const std::u16string huge(platform::kMaxLayoutUnits + 1, u'a');
  EXPECT_EQ(internal::CheckedSizeWithFont(u"JD", font), SizeWithFont(u"JD", font));
  EXPECT_EQ(internal::CheckedSizeWithFont(u"", font), Size{});
  EXPECT_EQ(internal::CheckedSizeWithFont(u"JD", nullptr), std::nullopt);
  EXPECT_EQ(internal::CheckedSizeWithFont(huge, font), std::nullopt);
  const platform::ColorRef white = platform::Color::Grey(1, 1);
  EXPECT_FALSE(internal::CheckedDrawInRect(u"JD", {0, 0, 40, 20}, font, white));  // no context
  ASSERT_TRUE(platform::BeginImageContext({40, 20}));
  EXPECT_TRUE(internal::CheckedDrawInRect(u"JD", {0, 0, 40, 20}, font, white));
  EXPECT_TRUE(internal::CheckedDrawInRect(u"", {0, 0, 40, 20}, font, white));
  EXPECT_FALSE(internal::CheckedDrawInRect(u"JD", {0, 0, 40, 20}, nullptr, white));
  EXPECT_FALSE(internal::CheckedDrawInRect(u"JD", {0, 0, 40, 20}, font, nullptr));
  EXPECT_FALSE(internal::CheckedDrawInRect(huge, {0, 0, 40, 20}, font, white));
  platform::EndImageContext();
}

// 60,000 words once measured "0 x 20" within a width, and a wide text measured 0 wide "fitted"
// at full size. Text past the layout's limits measures zero and fits no width.
TEST(TextDrawing, TextPastTheLayoutLimitsMeasuresZeroAndFitsNothing) {
  std::u16string words;
  for (int i = 0; i < 60000; ++i) words += u"word ";
  FontRef font = Font::System(17);
  EXPECT_EQ(SizeWithFont(words, font, Size{100, 1e300}), Size{});
  double actual = 5;
  EXPECT_EQ(SizeWithFont(words, font, 1, &actual, 100, 0), Size{});
  EXPECT_EQ(actual, 0);
  // Within the limits a text wider than the engine's range shrinks to the size that fits.
  std::u16string wide;
  for (int i = 0; i < 200; ++i) wide += u"Wide text ";
  FontRef large = Font::Named(u"DejaVu Sans", Font::kMaxPointSize);
  ASSERT_NE(large, nullptr);
  // The next size up no longer fits: the text was measured, not taken as 0 wide at full size.
  const Size fitted = SizeWithFont(wide, large, 1, &actual, 1e5, 0);
  EXPECT_LE(fitted.width, 1e5);
  EXPECT_EQ(fitted, SizeWithFont(wide, Font::Named(u"DejaVu Sans", actual)));
  EXPECT_GT(SizeWithFont(wide, Font::Named(u"DejaVu Sans", actual + 1)).width, 1e5);
}

TEST(TextDrawing, MeasuringFromTwoThreadsSeesOnlyItsOwnFont) {
  const std::u16string text = u"Balance 10 250.00 USD";
  const FontRef fonts[] = {Font::System(10), Font::BoldSystem(30)};
  const Size sizes[] = {SizeWithFont(text, fonts[0]), SizeWithFont(text, fonts[1])};
  ASSERT_NE(sizes[0], sizes[1]);
  int wrong[2] = {};  // each thread counts its own
  testing::OnThreads(2, [&](int t) {
    for (int i = 0; i < 300; ++i) {
      double actual = 0;
      if (SizeWithFont(text, fonts[t], 8, &actual, 1e6, 0) != sizes[t]) ++wrong[t];
    }
  });
  EXPECT_EQ(std::tuple(wrong[0], wrong[1]), std::tuple(0, 0));
}

}  // namespace
}  // namespace kelvane::NSTools
