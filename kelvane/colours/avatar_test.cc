#include "kelvane/colours/avatar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace kelvane::Avatar {
namespace {

std::string Hex(const unsigned char* digest) {
  std::string out;
  char byte[3];
  for (int i = 0; i < 16; ++i) {
    std::snprintf(byte, sizeof byte, "%02x", digest[i]);
    out += byte;
  }
  return out;
}

constexpr auto kAbsent = std::nullopt;

TEST(AvatarTest, InitialsSplitTheLoginAndHashThePartsThatGaveThem) {
  struct Case {
    OptionalString login, name, surname;
    std::u16string initials;
    const char* md5;  // of the UTF-8 of the parts that gave initials, from an outside MD5
  };
  const Case cases[] = {
      {u"john smith", kAbsent, kAbsent, u"JS", "cd4388c0c62e65ac8b99e3ec49fd9409"},
      {u"a b charlie", kAbsent, kAbsent, u"AC", "8af7b865f94c38788c97d3880544fe4d"},
      {u"john", kAbsent, kAbsent, u"J", "527bd5b5d689e2c32ae974c6229ff785"},
      {u"john  smith", kAbsent, kAbsent, u"JS", "cd4388c0c62e65ac8b99e3ec49fd9409"},
      // An empty (not absent) name stops the split: the whole login gives the initial.
      {u"john smith", u"", kAbsent, u"J", "2adc83bfb66efdc08b3d049a160c316a"},
      {kAbsent, u"john", u"smith", u"JS", "cd4388c0c62e65ac8b99e3ec49fd9409"},
      {kAbsent, kAbsent, kAbsent, u"", "d41d8cd98f00b204e9800998ecf8427e"},
      {u"", u"", u"", u"", "d41d8cd98f00b204e9800998ecf8427e"},
      // A surrogate pair fills the initials: the surname neither adds one nor is hashed.
      {kAbsent, u"\U0001D49Cbc", u"smith", u"\U0001D49C", nullptr},
      // Full upper-casing, whatever the language: the sharp s becomes two letters.
      {kAbsent, u"\u00DFen", kAbsent, u"SS", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.login.value_or(u"(absent)").size());
    unsigned char digest[16];
    std::fill(std::begin(digest), std::end(digest), 0xAA);
    EXPECT_EQ(InitialsLogin(c.login, c.name, c.surname, digest), c.initials);
    if (c.md5 != nullptr) {
      EXPECT_EQ(Hex(digest), c.md5);
    }
  }
  // The surname skipped after a two-unit initial leaves the digest of the name alone.
  unsigned char with_surname[16], without[16];
  (void)InitialsLogin(kAbsent, u"\U0001D49Cbc", u"smith", with_surname);
  (void)InitialsLogin(kAbsent, u"\U0001D49Cbc", kAbsent, without);
  EXPECT_EQ(Hex(with_surname), Hex(without));
  // A null digest buffer is allowed.
  EXPECT_EQ(InitialsLogin(u"john", kAbsent, kAbsent, nullptr), u"J");
}

TEST(AvatarTest, InitialsAreWholeUserPerceivedCharacters) {
  struct Case {
    std::u16string name, initials;
  };
  const Case cases[] = {
      {u"e\u0301mile", u"E\u0301"},                    // a letter with a combining mark
      {u"\U0001F1E9\U0001F1EA flag", u"\U0001F1E9\U0001F1EA"},  // a regional-indicator flag
      {u"\U0001F468\u200D\U0001F469\u200D\U0001F467 family",
       u"\U0001F468\u200D\U0001F469\u200D\U0001F467"},  // a family joined with ZWJ
      {u"\u0639\u0644\u064A", u"\u0639"},              // Arabic, no case
      {u"\u0436\u0435\u043D\u044F", u"\u0416"},        // Cyrillic upper-cased
  };
  for (const Case& c : cases) {
    // Each of these initials is longer than one unit except the last two, so the surname adds a
    // second initial only for those.
    const String got = InitialsLogin(kAbsent, c.name, u"xy", nullptr);
    const bool surname_adds = c.initials.size() <= 1;
    EXPECT_EQ(got, surname_adds ? c.initials + u"X" : c.initials);
  }
}

TEST(AvatarTest, ColoursFollowTheFirstDigestByte) {
  // All empty: the digest of nothing starts with 0xD4 = 212, index 3.
  EXPECT_EQ(ColorLogin(kAbsent, kAbsent, kAbsent), 0xB3447D);
  EXPECT_EQ(_color(212), 0xB3447D);
  EXPECT_EQ(_color(255), 0xEE292C);  // 255 % 11 = 2
  EXPECT_EQ(_color(0), 0xEC851E);
  EXPECT_EQ(_color(10), 0x627AA6);
  // john smith: 0xCD = 205, 205 % 11 = 7.
  EXPECT_EQ(ColorLogin(u"john smith", kAbsent, kAbsent), 0x1E67E4);

  const GradientRef gradient = _gradient(212);
  ASSERT_NE(gradient, nullptr);
  EXPECT_EQ(gradient, _gradient(3));  // one shared object per index
  ASSERT_EQ(gradient->stops().size(), 2u);
  const auto& top = gradient->stops()[0];
  const auto& bottom = gradient->stops()[1];
  EXPECT_EQ(top.location, 0.0);
  EXPECT_EQ(bottom.location, 1.0);
  EXPECT_EQ(top.red, static_cast<double>(0xB3 / 255.0f));  // B3005D, single precision
  EXPECT_EQ(top.green, 0.0);
  EXPECT_EQ(bottom.blue, static_cast<double>(0x76 / 255.0f));  // F57676
  EXPECT_EQ(bottom.alpha, 1.0);
}

TEST(AvatarTest, GradientsFilledFromSeveralThreadsAreWholeAndShared) {
  std::vector<std::thread> threads;
  std::vector<GradientRef> seen(8 * 11);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&seen, t] {
      for (int i = 0; i < 11; ++i) seen[t * 11 + i] = _gradient(static_cast<std::uint8_t>(i + t * 11));
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) {
    for (int i = 0; i < 11; ++i) {
      ASSERT_NE(seen[t * 11 + i], nullptr);
      EXPECT_EQ(seen[t * 11 + i], seen[i]);
      EXPECT_EQ(seen[t * 11 + i]->stops().size(), 2u);
    }
  }
}

TEST(AvatarTest, GeometryOfClipsAndPictures) {
  EXPECT_EQ(ClipRadius({40, 60}), 4.0);
  EXPECT_EQ(ClipRadius({45, 45}), 5.0);  // 4.5 rounds away from zero
  EXPECT_EQ(ClipRadius({44, 100}), 4.0);
  EXPECT_EQ(static_cast<double>(kInitialsFontScale) * 40, 40 * 0.44999998807907104);

  struct Case {
    std::int64_t mode;
    Size picture, avatar;
    Rect expected;
  };
  const Case cases[] = {
      {kModeFit, {100, 50}, {40, 40}, {0, 10, 40, 20}},
      {kModeFill, {100, 50}, {40, 40}, {-20, 0, 80, 40}},
      {kModeCenter, {20, 10}, {40, 40}, {10, 15, 20, 10}},
      {kModeTop, {20, 10}, {40, 40}, {10, 0, 20, 10}},
      {kModeBottom, {20, 10}, {40, 40}, {10, 30, 20, 10}},
      {kModeBottom, {20, 10.5}, {40, 40}, {10, 29, 20, 10.5}},  // floor of 29.5
      {kModeCenter, {15, 15}, {40, 40}, {13, 13, 15, 15}},      // 12.5 away from zero
      {0, {20, 10}, {40, 30}, {0, 0, 40, 30}},
      {3, {20, 10}, {40, 30}, {0, 0, 40, 30}},
      {-1, {20, 10}, {40, 30}, {0, 0, 40, 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::optional<Rect> got = PictureRect(c.mode, c.picture, c.avatar);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->x, c.expected.x);
    EXPECT_EQ(got->y, c.expected.y);
    EXPECT_EQ(got->width, c.expected.width);
    EXPECT_EQ(got->height, c.expected.height);
  }
  EXPECT_FALSE(PictureRect(kModeFit, {0, 0}, {40, 40}).has_value());
  EXPECT_FALSE(PictureRect(kModeFill, {0, 10}, {40, 40}).has_value());
  EXPECT_TRUE(PictureRect(kModeCenter, {0, 0}, {40, 40}).has_value());
}

}  // namespace
}  // namespace kelvane::Avatar
