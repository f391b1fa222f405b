#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/testing/fixed_device.h"
#include "kelvane/testing/text.h"
#include "kelvane/time/internal/state.h"
#include "kelvane/time/time_tools.h"

namespace kelvane {
namespace {

using testing::FixedDevice;

constexpr std::int64_t kNow = 1751371200;             // 2025-07-01 12:00:00 UTC, 14:00 in Berlin
constexpr std::int64_t kBerlinMidnight = 1751320800;  // 2025-07-01 00:00 in Berlin, in UTC
constexpr std::int64_t kDay = 86400;

using testing::Contains;
using testing::HasDigit;

// The text with every kind of space made a plain one: locale data moves between them (a
// narrow no-break space before "PM"), and which one is not what these tests are about.
String Plain(String s) {
  std::replace_if(
      s.begin(), s.end(), [](char16_t c) { return c == 0xA0 || c == 0x202F; }, u' ');
  return s;
}

TEST(TimeText, TodayShowsTheTimeAndOtherDaysTheDate) {
  FixedDevice device(kNow, "Europe/Berlin", "en-US", "en-US");
  ASSERT_EQ(STime::LocalTimeOffset(), 7200);
  // The device's day runs from its local midnight to the second before the next, both kept.
  const String midnight = STime::StringTimeForUser(kBerlinMidnight);
  const String last = STime::StringTimeForUser(kBerlinMidnight + kDay - 1);
  EXPECT_TRUE(Contains(midnight, u"12:00") && Contains(midnight, u"AM")) << midnight.size();
  EXPECT_TRUE(Contains(last, u"11:59") && Contains(last, u"PM"));
  EXPECT_FALSE(Contains(last, u"/"));  // a time of day only, no date
  EXPECT_EQ(STime::StringTimeForUser(kNow), STime::StringTimeForUser(kNow + 30));  // same minute
  // One second earlier is yesterday: the relative date formatter writes a word for it, no
  // digits (the words themselves are the formatter's, tested with it).
  EXPECT_FALSE(HasDigit(STime::StringTimeForUser(kBerlinMidnight - 1)));
  EXPECT_TRUE(Contains(STime::StringTimeForUser(kNow - 3 * kDay), u"6/28/25") &&
              Contains(STime::StringTimeForUser(0), u"1/1/70"));
}

TEST(TimeText, UserTextsSpeakTheFirstPreferredLanguage) {
  FixedDevice device(kNow, "Europe/Berlin", "de-DE", "en-US");
  EXPECT_EQ(STime::StringTimeForUser(kNow), u"14:00");
  EXPECT_TRUE(Contains(STime::StringTimeForUser(kNow - 3 * kDay), u"28.06.25"));
  // The formatters were fixed at initialisation: a later change of language does not reach them.
  platform::ScopedDeviceOverrides english({.preferred_languages = std::vector<std::string>{"en"}});
  EXPECT_EQ(STime::StringTimeForUser(kNow), u"14:00");
}

TEST(TimeText, ShortDateTextUsesTheCurrentLocaleAndZone) {
  {
    FixedDevice device(kNow, "UTC", "en-US", "de-DE");
    EXPECT_EQ(STime::StringFromShortDate(STime::ShortDateYear(2024, 3, 15)), u"15.03.24");
    // Only the low 16 bits count.
    EXPECT_EQ(STime::StringFromShortDate(0x7FFF0000 | STime::ShortDateYear(2024, 3, 15)),
              u"15.03.24");
  }
  // Midnight UTC is still the evening before in New York.
  FixedDevice device(kNow, "America/New_York", "de-DE", "en-US");
  EXPECT_EQ(STime::StringFromShortDate(STime::ShortDateYear(2024, 3, 15)), u"3/14/24");
}

TEST(TimeText, StringFromUTCFormatsTheGivenDateOrTheTime) {
  FixedDevice device(kNow, "Asia/Tokyo", "en-US", "de-DE");
  const std::int64_t t = 1710513045;  // 2024-03-15 14:30:45 UTC
  EXPECT_EQ(Plain(STime::StringFromUTC(t, std::nullopt, 0, 1, 0)), u"2:30 PM");
  EXPECT_EQ(Plain(STime::StringFromUTC(t, std::nullopt, 0, 1, 3 * 3600)), u"5:30 PM");
  EXPECT_EQ(Plain(STime::StringFromUTC(t, std::nullopt, 0, 1, -(9 * 3600 + 1800))), u"5:00 AM");
  // A date given wins over t.
  EXPECT_EQ(Plain(STime::StringFromUTC(0, 1710513045.0, 0, 1, 0)), u"2:30 PM");
  EXPECT_EQ(STime::StringFromUTC(t, 0.0, 1, 0, 0), u"1/1/70");
  const String full = STime::StringFromUTC(t, std::nullopt, 4, 2, 0);
  EXPECT_TRUE(Contains(full, u"Friday") && Contains(full, u"March") && Contains(full, u"2:30:45"));
  EXPECT_EQ(STime::StringFromUTC(t, std::nullopt, 0, 0, 0), u"");
  // No relative words here: yesterday is written as a date.
  EXPECT_TRUE(HasDigit(STime::StringFromUTC(kNow - kDay, std::nullopt, 1, 0, 0)));
  // An offset no zone can have: the device's zone (Tokyo, UTC+9) instead.
  EXPECT_EQ(Plain(STime::StringFromUTC(t, std::nullopt, 0, 1, 24 * 3600)), u"11:30 PM");
  EXPECT_EQ(Plain(STime::StringFromUTC(t, std::nullopt, 0, 1, INT32_MIN)), u"11:30 PM");
}

}  // namespace
}  // namespace kelvane
