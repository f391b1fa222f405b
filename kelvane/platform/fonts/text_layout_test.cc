// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/fonts/text_layout.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "kelvane/images/image_attachment.h"
#include "kelvane/platform/fonts/internal/checked_text.h"
#include "kelvane/platform/fonts/internal/text_engine.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/memory_sweep.h"

namespace kelvane::platform {
namespace {

AttributedString Text(std::u16string_view text, FontRef font, int mode = 0) {
  TextAttributes a;
  a.font = std::move(font);
  a.paragraph_style = ParagraphStyle{kTextAlignmentNatural, mode};
  return AttributedString(text, a);
}

// Draws on a transparent surface of `size` points at scale 1.
ImageRef Render(Size size, const std::function<void()>& draw) {
  EXPECT_TRUE(BeginImageContext(size));
  draw();
  ImageRef image = GetImageFromCurrentImageContext();
  EndImageContext();
  return image;
}

// The topmost row holding a pixel that matches, or -1.
int TopRow(const Image& image, const std::function<bool(std::uint32_t)>& match) {
  const Raster& r = *image.raster();
  for (std::uint32_t y = 0; y < r.height(); ++y) {
    for (std::uint32_t x = 0; x < r.width(); ++x) {
      if (match(r.PremultipliedPixel(x, y))) return static_cast<int>(y);
    }
  }
  return -1;
}

std::u16string Repeated(std::u16string_view piece, std::size_t times) {
  std::u16string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(TextLayout, LineBreakModesShapeTheBoundingRectAndSizesPastTheEnginesRangeMeasureRight) {
  FontRef font = Font::System(12);
  const std::u16string text = u"one two three four five six seven eight nine tén";
  const Size line = MeasureText(Text(text, font));
  ASSERT_GT(line.width, 100);
  // Each run in its own font: a 48-point run makes the line taller and wider.
  MutableAttributedString mixed(Text(u"H", font));
  mixed.Append(Text(u"H", Font::System(48)));
  const Size small = MeasureText(Text(u"HH", font));
  EXPECT_GT(MeasureText(mixed).height, 3 * small.height);
  EXPECT_GT(MeasureText(mixed).width, 2 * small.width);
  const Size limit{100, 0};
  const Rect wrapped = BoundingRect(Text(text, font), limit, kTextUsesLineFragmentOrigin);
  EXPECT_LE(wrapped.width, 100);
  EXPECT_GE(wrapped.height, 3 * line.height);
  for (int mode :
       {kLineBreakByTruncatingHead, kLineBreakByTruncatingTail, kLineBreakByTruncatingMiddle}) {
    const Rect one = BoundingRect(Text(text, font, mode), limit, kTextUsesLineFragmentOrigin);
    EXPECT_EQ(one.height, line.height) << mode;
    EXPECT_LE(one.width, 100) << mode;
  }
  // A height limit leaves out the lines below it, but never the first.
  EXPECT_EQ(
      BoundingRect(Text(text, font), {100, line.height * 2.5}, kTextUsesLineFragmentOrigin).height,
      2 * line.height);
  EXPECT_EQ(BoundingRect(Text(text, font), {100, 1}, kTextUsesLineFragmentOrigin).height,
            line.height);
  // Without the line-fragment origin: one line, origin on the baseline.
  const Rect single = BoundingRect(Text(text, font), limit, 0);
  EXPECT_EQ(single.width, line.width);
  EXPECT_LT(single.y, 0);

  // The engine counts in 32-bit units of 1/1024 point: this text, some 4.2 million points wide,
  // once measured 0 wide, and 2,000 lines at 4,096 points once measured a wrapped height.
  FontRef largest = Font::System(Font::kMaxPointSize);
  const Size two = MeasureText(Text(u"Wide text Wide text ", largest));
  const Size wide = MeasureText(Text(Repeated(u"Wide text ", 200), largest));
  EXPECT_GT(wide.width, 2097152);
  EXPECT_EQ(wide, (Size{100 * two.width, two.height}));
  const Size word = MeasureText(Text(u"word", largest));
  const std::u16string lines = Repeated(u"word\n", 1999) + u"word";
  EXPECT_EQ(MeasureText(Text(lines, largest)), (Size{word.width, 2000 * word.height}));
  const Rect boxed = BoundingRect(Text(lines, largest), {1e5, 0}, kTextUsesLineFragmentOrigin);
  EXPECT_EQ(boxed, (Rect{0, 0, word.width, 2000 * word.height}));
  // Below the range the sum is the engine's own.
  const std::u16string sentence = u"The quick brown fox jumps over the lazy dog, twice: " +
                                  std::u16string(u"The quick brown fox jumps over the lazy dog.");
  PangoLayout* layout = internal::MeasuredLayout(Text(sentence, Font::System(13)));
  ASSERT_NE(layout, nullptr);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  EXPECT_EQ(MeasureText(Text(sentence, Font::System(13))),
            (Size{logical.width / 1024.0, logical.height / 1024.0}));
}

TEST(TextLayout, AttachmentsDrawOnTheBaselineRaisedByTheirOffset) {
  const ImageRef blue = Render({6, 6}, [] {
    GetCurrentContext()->SetFillColor(0, 0, 1, 1);
    GetCurrentContext()->FillRect({0, 0, 6, 6});
  });
  ASSERT_NE(blue, nullptr);
  auto is_blue = [](std::uint32_t p) { return p == 0xFF0000FFu; };
  auto top_of = [&](double offset) {
    // Beside 30-point text, so that the line's height stays that of the text.
    MutableAttributedString text(Text(u"H", Font::System(30)));
    auto attachment = Create::stringBaselineOffset(blue, offset, false);
    EXPECT_TRUE(attachment.has_value());
    text.Append(*attachment);
    const ImageRef drawn = Render({60, 60}, [&] { DrawText(text, {0, 10, 60, 50}); });
    return TopRow(*drawn, is_blue);
  };
  const int level = top_of(0);
  ASSERT_GE(level, 10);  // inside the rectangle
  EXPECT_EQ(top_of(5), level - 5);
  EXPECT_EQ(top_of(-3), level + 3);
}

// Three loads in one child, each of which once took seconds to minutes (the engine's work grew
// with the square of a run of marks, of the lines of a paragraph, or worse for a word broken a
// letter to a line). The child counts the wrong sizes in its status, each told on stderr, and is
// stopped at the CPU limit when a bound breaks.
int Check(const char* what, bool shape, Size got, Size expected) {
  if (shape && got == expected) return 0;
  std::fprintf(stderr, "child: %s: %g x %g, expected %g x %g\n", what, got.width, got.height,
               expected.width, expected.height);
  return 1;
}

int LongTextsChild() {
  // A run of marks is cut to the kept ones, which still leave the "b" measured.
  FontRef font = Font::System(12);
  const std::u16string marks(16000, u'\u0301');
  const std::u16string kept(kMaxCombiningMarks, u'\u0301');
  const Size capped = MeasureText(Text(u"a" + marks + u"b", font));
  const Size expected = MeasureText(Text(u"a" + kept + u"b", font));
  const bool b_measured = expected.width > MeasureText(Text(u"a", font)).width;
  int failed = Check("marks", b_measured, capped, expected);

  // A letter to a line, some with the hyphen the engine adds where it breaks a word.
  FontRef large = Font::System(40);
  const Size letter = MeasureText(Text(u"W", large));
  const Rect lines = BoundingRect(Text(std::u16string(kMaxLayoutUnits, u'W'), large), {1, 0},
                                  kTextUsesLineFragmentOrigin);
  const bool one_letter_wide = lines.width >= letter.width && lines.width < 2 * letter.width;
  failed += Check("letters", one_letter_wide, lines.size(),
                  {lines.width, kMaxLayoutUnits * letter.height});

  // Each paragraph wraps after "Wide text"; the last, empty one is a line too.
  const std::u16string line = u"Wide text tex\n";  // 14 units: 2,047 of them near the unit limit
  const Size one = MeasureText(Text(line.substr(0, 13), font));
  const Rect wrapped = BoundingRect(Text(Repeated(line, kMaxLayoutParagraphs - 1), font),
                                    {one.width * 0.6, 0}, kTextUsesLineFragmentOrigin);
  const bool within = wrapped.width > 0 && wrapped.width <= one.width * 0.6;
  return failed + Check("paragraphs", within, wrapped.size(),
                        {wrapped.width, (2 * (kMaxLayoutParagraphs - 1) + 1) * one.height});
}
[[maybe_unused]] const bool kLongTexts = testing::ChildProcess("layout-long-texts", LongTextsChild);

TEST(TextLayout, LongTextsLayOutInBoundedTime) {
  const testing::ChildOutcome outcome =
      testing::RunLimitedChild("layout-long-texts", {.memory_bytes = 1u << 30, .seconds = 3});
  EXPECT_EQ(outcome.status, 0) << outcome.cpu_seconds << " s of CPU";
}

// Under a limit the engine starts only with room for its work and for the stacks of the two
// threads on which it matches a font it has not met, and a call returns only once those threads
// are gone (fontconfig writes through allocations that failed there). Here no call at new sizes
// leaves a thread behind; with all but 4 MiB of address space taken (room to match, not for a
// stack) measuring and drawing refuse; and once the room is back they give what they gave before.
// 0, or the step that broke.
int NoRoomChild() {
  const rlimit limited{testing::internal::StatusBytes("VmSize") + (256u << 20), RLIM_INFINITY};
  ::setrlimit(RLIMIT_AS, &limited);
  const FontRef font = Font::System(30);
  if (font == nullptr) return 1;
  const AttributedString text = Text(u"JD", font);
  const std::optional<Size> before = internal::MeasureTextChecked(text);
  if (!before || !(before->width > 0)) return 2;
  if (!BeginImageContext({60, 60})) return 3;
  // Four runs at sizes the engine has not met: four matchings in one call.
  const auto measure_new = [&](double size) {
    MutableAttributedString runs(Text(u"JD", font->WithSize(size)));
    for (const double step : {0.25, 0.5, 0.75}) {
      runs.Append(Text(u"KL", font->WithSize(size + step)));
    }
    return internal::MeasureTextChecked(runs).has_value();
  };
  for (int size = 31; size < 91; ++size) {
    if (!measure_new(size)) return 4;
    if (testing::internal::ThreadCount() != 1) return 5;
  }
  std::vector<std::pair<void*, std::size_t>> taken;
  taken.reserve(1u << 16);
  void* spare = ::mmap(nullptr, 4u << 20, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (spare == MAP_FAILED) return 6;
  for (std::size_t block = 16u << 20; block >= 4096; block /= 2) {
    while (taken.size() < taken.capacity()) {
      void* at = ::mmap(nullptr, block, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (at == MAP_FAILED) break;
      taken.emplace_back(at, block);
    }
  }
  ::munmap(spare, 4u << 20);
  const bool measured = measure_new(100);
  const bool drawn = internal::DrawTextChecked(*GetCurrentContext(), text, {0, 0, 60, 60});
  for (const auto& [at, size] : taken) ::munmap(at, size);
  if (measured) return 7;
  if (drawn) return 8;
  if (internal::MeasureTextChecked(text) != before) return 9;
  if (!measure_new(100)) return 10;
  if (!internal::DrawTextChecked(*GetCurrentContext(), text, {0, 0, 60, 60})) return 11;
  EndImageContext();
  return 0;
}

[[maybe_unused]] const bool kNoRoom = testing::ChildProcess("layout-no-room", NoRoomChild);

TEST(TextLayout, TextPastTheLimitsOrWithoutRoomForTheEngineIsRefusedAndLaterLaidOut) {
  FontRef font = Font::System(12);
  // The text and why it is refused (nullptr: laid out).
  const std::pair<std::u16string, const char*> cases[] = {
      {std::u16string(kMaxLayoutUnits, u'x'), nullptr},
      {std::u16string(kMaxLayoutUnits + 1, u'x'),
       "text too long to lay out: 32769 units, over the limit of 32768"},
      {Repeated(u"a\r\n", kMaxLayoutParagraphs - 1), nullptr},
      {Repeated(u"a\r", kMaxLayoutParagraphs),
       "text too long to lay out: 2049 paragraphs, over the limit of 2048"},
      {Repeated(u"a\u2029", kMaxLayoutParagraphs),
       "text too long to lay out: 2049 paragraphs, over the limit of 2048"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.size());
    const auto refused = CheckLayoutLimits(text);
    EXPECT_EQ(refused.has_value() ? refused->message : "", message ? message : "");
    if (message == nullptr) {
      EXPECT_GT(MeasureText(Text(text, font)).width, 0);
      continue;
    }
    EXPECT_EQ(refused->kind, ErrorKind::kTooLarge);
    EXPECT_EQ(MeasureText(Text(text, font)), Size{});
    EXPECT_EQ(BoundingRect(Text(text, font), {100, 0}, kTextUsesLineFragmentOrigin), Rect{});
    EXPECT_EQ(BoundingRect(Text(text, font), {}, 0), Rect{});
    EXPECT_EQ(internal::MeasuredLayout(Text(text, font)), nullptr);
    const ImageRef drawn = Render({40, 40}, [&] { DrawText(Text(text, font), {0, 0, 40, 40}); });
    ASSERT_NE(drawn, nullptr);
    EXPECT_EQ(TopRow(*drawn, [](std::uint32_t p) { return p != 0; }), -1);
  }

  // A rectangle with no room leaves nothing to draw, which is no failure. That empty text
  // measures and draws, and text past the limits fails, the checked forms of the text drawing
  // hold (text_drawing_test), which call these directly.
  ASSERT_TRUE(BeginImageContext({20, 20}));
  EXPECT_TRUE(internal::DrawTextChecked(*GetCurrentContext(), Text(u"A", font), {0, 0, 0, 20}));
  EndImageContext();

  // The rest needs an address-space limit.
  if constexpr (testing::kUnderSanitizer) {
    GTEST_SKIP() << "the sanitizers reserve terabytes of address space: an address-space "
                    "limit cannot be set under them";
  }
  EXPECT_EQ(testing::RunLimitedChild("layout-no-room", {.seconds = 20}).status, 0);
}

}  // namespace
}  // namespace kelvane::platform
