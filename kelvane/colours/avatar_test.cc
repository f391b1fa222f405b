// SPDX-License-Identifier: Apache-2.0
#include "kelvane/colours/avatar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "kelvane/colours/color_cache.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/pixels/raster.h"
#include "kelvane/testing/threads.h"
#include "kelvane/text/hash.h"

namespace kelvane::Avatar {
namespace {

String Hex(const unsigned char* digest) {
  return NSTools::stringFromHash(reinterpret_cast<const char*>(digest), 16, false).value_or(u"");
}

constexpr auto kAbsent = std::nullopt;

TEST(AvatarTest, InitialsSplitTheLoginAndHashThePartsThatGaveThem) {
  // Login, name, surname, the initials and the MD5 of the UTF-8 of the parts that gave them
  // (from an outside MD5).
  const std::tuple<OptionalString, OptionalString, OptionalString, String, String> cases[] = {
      {u"john smith", kAbsent, kAbsent, u"JS", u"cd4388c0c62e65ac8b99e3ec49fd9409"},
      {u"a b charlie", kAbsent, kAbsent, u"AC", u"8af7b865f94c38788c97d3880544fe4d"},
      {u"john", kAbsent, kAbsent, u"J", u"527bd5b5d689e2c32ae974c6229ff785"},
      {u"john  smith", kAbsent, kAbsent, u"JS", u"cd4388c0c62e65ac8b99e3ec49fd9409"},
      // An empty (not absent) name stops the split: the whole login gives the initial.
      {u"john smith", u"", kAbsent, u"J", u"2adc83bfb66efdc08b3d049a160c316a"},
      {kAbsent, u"john", u"smith", u"JS", u"cd4388c0c62e65ac8b99e3ec49fd9409"},
      {kAbsent, kAbsent, kAbsent, u"", u"d41d8cd98f00b204e9800998ecf8427e"},
      // A surrogate pair fills the initials: the surname neither adds one nor is hashed.
      {kAbsent, u"\U0001D49Cbc", u"smith", u"\U0001D49C", u"10e68adf61eb90f1621445ebdb0b2041"},
      // A letter with a combining mark is one initial of two units.
      {kAbsent, u"e\u0301mile", u"xy", u"E\u0301", u"54566f21a91a03f86a12ad899bd1dff1"},
      // Full upper-casing, whatever the language: the sharp s becomes two letters.
      {kAbsent, u"\u00DFen", kAbsent, u"SS", u"d7690b92c5f3af1a3bc6390b081896e7"},
  };
  for (const auto& [login, name, surname, initials, md5] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::tuple(login, name, surname)));
    unsigned char digest[16];
    std::fill(std::begin(digest), std::end(digest), 0xAA);
    EXPECT_EQ(InitialsLogin(login, name, surname, digest), initials);
    EXPECT_EQ(Hex(digest), md5);
  }
  // A null digest buffer is allowed.
  EXPECT_EQ(InitialsLogin(u"john", kAbsent, kAbsent, nullptr), u"J");
}

TEST(AvatarTest, ColoursFollowTheFirstDigestByteAndGradientsFilledFromSeveralThreadsAreShared) {
  // All empty: the digest of nothing starts with 0xD4 = 212, index 3.
  EXPECT_EQ(ColorLogin(kAbsent, kAbsent, kAbsent), 0xB3447D);
  // 255 % 11 = 2; 0 and 10 are the first and the last of the eleven.
  EXPECT_EQ(std::tuple(_color(255), _color(0), _color(10)),
            std::tuple(0xEE292C, 0xEC851E, 0x627AA6));
  // john smith: 0xCD = 205, 205 % 11 = 7.
  EXPECT_EQ(ColorLogin(u"john smith", kAbsent, kAbsent), 0x1E67E4);

  const GradientRef gradient = _gradient(212);
  ASSERT_NE(gradient, nullptr);
  EXPECT_EQ(gradient, _gradient(3));  // one shared object per index
  // B3005D at the top to F57676 at the bottom, components in single precision.
  const auto f = [](int byte) { return static_cast<double>(byte / 255.0f); };
  std::vector<double> values;
  for (const auto& s : gradient->stops()) {
    values.insert(values.end(), {s.location, s.red, s.green, s.blue, s.alpha});
  }
  EXPECT_EQ(values,
            (std::vector<double>{0, f(0xB3), 0, f(0x5D), 1, 1, f(0xF5), f(0x76), f(0x76), 1}));

  // Gradients filled from several threads are whole and shared.
  std::vector<GradientRef> seen(8 * 11);
  testing::OnThreads(8, [&seen](int t) {
    for (int i = t * 11; i < t * 11 + 11; ++i) seen[i] = _gradient(static_cast<std::uint8_t>(i));
  });
  for (std::size_t i = 0; i < seen.size(); ++i) {
    ASSERT_NE(seen[i], nullptr) << i;
    EXPECT_EQ(std::tuple(seen[i], seen[i]->stops().size()), std::tuple(seen[i % 11], 2ul)) << i;
  }
}

TEST(AvatarTest, GeometryOfClipsAndPictures) {
  EXPECT_EQ(ClipRadius({40, 60}), 4.0);
  EXPECT_EQ(ClipRadius({45, 45}), 5.0);  // 4.5 rounds away from zero

  const std::tuple<std::int64_t, Size, Size, std::optional<Rect>> cases[] = {
      {kModeFit, {100, 50}, {40, 40}, Rect{0, 10, 40, 20}},
      {kModeFill, {100, 50}, {40, 40}, Rect{-20, 0, 80, 40}},
      {kModeCenter, {20, 10}, {40, 40}, Rect{10, 15, 20, 10}},
      {kModeTop, {20, 10}, {40, 40}, Rect{10, 0, 20, 10}},
      {kModeBottom, {20, 10}, {40, 40}, Rect{10, 30, 20, 10}},
      {kModeBottom, {20, 10.5}, {40, 40}, Rect{10, 29, 20, 10.5}},  // floor of 29.5
      {kModeCenter, {15, 15}, {40, 40}, Rect{13, 13, 15, 15}},      // 12.5 away from zero
      {3, {20, 10}, {40, 30}, Rect{0, 0, 40, 30}},
      {kModeFit, {0, 0}, {40, 40}, std::nullopt},  // nothing to scale
      {kModeFill, {0, 10}, {40, 40}, std::nullopt},
      {kModeCenter, {0, 0}, {40, 40}, Rect{20, 20, 0, 0}},
  };
  for (const auto& [mode, picture, avatar, expected] : cases) {
    EXPECT_EQ(PictureRect(mode, picture, avatar), expected) << mode << " " << picture.height;
  }
}

// B, G, R, A of a stored pixel (premultiplied).
struct Bgra {
  int b, g, r, a;
};
Bgra At(const ImageRef& image, std::uint32_t x, std::uint32_t y) {
  const std::uint8_t* p = image->raster()->Row(y) + std::size_t{x} * 4;
  return {p[0], p[1], p[2], p[3]};
}

TEST(AvatarTest, AvatarsDrawTheGradientTheClipCentredWhiteTextAndPicturesOverTheBackground) {
  const platform::ScopedScreenOverrides scale1(platform::ScreenOverrides{.scale = 1.0});
  // john smith: index 7, gradient 689AF0 at the top edge to 95CDFB at the bottom edge.
  const ImageRef flat = AvatarLogin(u"john smith", kAbsent, kAbsent, {40, 40}, kClipNone);
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(std::tuple(flat->scale(), flat->raster()->IsOpaque()), std::tuple(1.0, true));
  const Bgra top = At(flat, 0, 0), bottom = At(flat, 0, 39);
  EXPECT_NEAR(top.r, 0x68, 2);
  EXPECT_NEAR(top.b, 0xF0, 2);
  EXPECT_NEAR(bottom.g, 0xCD, 3);

  // Symmetric initials: their white ink is centred across the avatar within a pixel.
  const ImageRef text = Avatar(u"HH", nullptr, 7, {40, 40}, kClipNone);
  ASSERT_NE(text, nullptr);
  int left = 40, right = -1, ink_top = 40, ink_bottom = -1;
  for (std::uint32_t y = 0; y < 40; ++y) {
    for (std::uint32_t x = 0; x < 40; ++x) {
      const Bgra p = At(text, x, y);
      if (std::min({p.r, p.g, p.b}) < 245) continue;
      left = std::min<int>(left, x);
      right = std::max<int>(right, x);
      ink_top = std::min<int>(ink_top, y);
      ink_bottom = std::max<int>(ink_bottom, y);
    }
  }
  ASSERT_GE(right, left) << "no white ink";
  EXPECT_NEAR((left + right + 1) / 2.0, 20.0, 1.0);
  EXPECT_GT(ink_top, 5);
  EXPECT_LT(ink_bottom, 35);

  // Circle: the corners and the inset ring are transparent; the edge's middle is covered.
  const ImageRef circle = AvatarLogin(u"john", kAbsent, kAbsent, {40, 40}, kClipCircle);
  ASSERT_NE(circle, nullptr);
  // (0, 20) lies left of the inset by 1 point.
  EXPECT_EQ(std::tuple(circle->raster()->IsOpaque(), At(circle, 0, 0).a, At(circle, 0, 20).a),
            std::tuple(false, 0, 0));
  EXPECT_GT(At(circle, 1, 20).a, 128);
  // Rounded 40 x 60: radius 4, so (1, 1) is inside the corner arc and (0, 0) is not.
  const ImageRef rounded = AvatarLogin(u"john", kAbsent, kAbsent, {40, 60}, kClipRounded);
  ASSERT_NE(rounded, nullptr);
  EXPECT_EQ(std::tuple(At(rounded, 0, 0).a, At(rounded, 0, 30).a), std::tuple(0, 255));
  EXPECT_GT(At(rounded, 1, 1).a, 100);
  // Other clip kinds clip nothing but are not opaque.
  EXPECT_FALSE(AvatarLogin(u"john", kAbsent, kAbsent, {40, 40}, 9)->raster()->IsOpaque());

  // Pictures over the background.
  // No picture: the modes but fit and fill give the background alone; this one is the picture.
  const ImageRef red =
      Avatar(nullptr, kModeCenter, Create::ColorForRGB(0xFF0000), {100, 50}, kClipNone);
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(std::tuple(At(red, 0, 0).r, At(red, 99, 49).r, At(red, 50, 25).b),
            std::tuple(255, 255, 0));
  const platform::ColorRef blue = Create::ColorForRGB(0x0000FF);
  const ImageRef fit = Avatar(red, kModeFit, blue, {40, 40}, kClipNone);
  ASSERT_NE(fit, nullptr);
  // The background above the picture at (0, 10, 40, 20), then the picture.
  EXPECT_EQ(std::tuple(fit->raster()->IsOpaque(), At(fit, 20, 5).b, At(fit, 20, 20).r),
            std::tuple(true, 255, 255));
  // Without a background the surface is not opaque; fill covers everything.
  const ImageRef fill = Avatar(red, kModeFill, nullptr, {40, 40}, kClipNone);
  ASSERT_NE(fill, nullptr);
  EXPECT_EQ(std::tuple(fill->raster()->IsOpaque(), At(fill, 0, 0).r), std::tuple(false, 255));
  // No picture: fit and fill have nothing to place.
  EXPECT_EQ(Avatar(nullptr, kModeFit, blue, {40, 40}, kClipNone), nullptr);
  EXPECT_EQ(Avatar(nullptr, kModeFill, blue, {40, 40}, kClipNone), nullptr);
  // A surface that cannot be made gives nothing and leaves no context behind.
  EXPECT_EQ(Avatar(red, kModeFit, blue, {0, 0}, kClipNone), nullptr);
  EXPECT_EQ(platform::GetCurrentContext(), nullptr);
}

}  // namespace
}  // namespace kelvane::Avatar
