// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "kelvane/platform/device/device.h"
#include "kelvane/testing/fixed_device.h"
#include "kelvane/testing/text.h"
#include "kelvane/time/time_tools.h"

namespace kelvane {
namespace {

using testing::Contains;
using testing::FixedDevice;
using testing::HasDigit;

constexpr std::int64_t kNow = 1751371200;             // 2025-07-01 12:00:00 UTC, 14:00 in Berlin
constexpr std::int64_t kBerlinMidnight = 1751320800;  // 2025-07-01 00:00 in Berlin, in UTC
constexpr std::int64_t kDay = 86400;

// The text with every kind of space made a plain one: locale data moves between them (a
// narrow no-break space before "PM"), and which one is not what these tests are about.
String Plain(String s) {
  std::replace_if(
      s.begin(), s.end(), [](char16_t c) { return c == 0xA0 || c == 0x202F; }, u' ');
  return s;
}

TEST(TimeText, TodayShowsTheTimeAndOtherDaysTheDateInTheFirstPreferredLanguage) {
  {
    FixedDevice device(kNow, "Europe/Berlin", "en-US", "en-US");
    // The device's day runs from its local midnight to the second before the next, both kept.
    const String midnight = STime::StringTimeForUser(kBerlinMidnight);
    const String last = STime::StringTimeForUser(kBerlinMidnight + kDay - 1);
    EXPECT_EQ(std::tuple(Contains(midnight, u"12:00"), Contains(midnight, u"AM")),
              std::tuple(true, true));
    EXPECT_EQ(std::tuple(Contains(last, u"11:59"), Contains(last, u"PM"), Contains(last, u"/")),
              std::tuple(true, true, false));
    // One second earlier is yesterday: the relative date formatter writes a word for it, no
    // digits (the words themselves are the formatter's, tested with it).
    EXPECT_FALSE(HasDigit(STime::StringTimeForUser(kBerlinMidnight - 1)));
    EXPECT_TRUE(Contains(STime::StringTimeForUser(kNow - 3 * kDay), u"6/28/25"));
  }
  FixedDevice device(kNow, "Europe/Berlin", "de-DE", "en-US");
  EXPECT_EQ(STime::StringTimeForUser(kNow), u"14:00");
  // The formatters were fixed at initialisation: a later change of language does not reach them.
  platform::ScopedDeviceOverrides english({.preferred_languages = std::vector<std::string>{"en"}});
  EXPECT_EQ(STime::StringTimeForUser(kNow), u"14:00");
}

TEST(TimeText, ShortDateTextUsesTheCurrentLocaleAndZone) {
  const std::int64_t march15 = STime::ShortDateYear(2024, 3, 15);
  {
    FixedDevice device(kNow, "UTC", "en-US", "de-DE");
    EXPECT_EQ(STime::StringFromShortDate(march15), u"15.03.24");
    EXPECT_EQ(STime::StringFromShortDate(0x7FFF0000 | march15), u"15.03.24");  // low 16 bits
  }
  // Midnight UTC is still the evening before in New York.
  FixedDevice device(kNow, "America/New_York", "de-DE", "en-US");
  EXPECT_EQ(STime::StringFromShortDate(march15), u"3/14/24");
}

TEST(TimeText, StringFromUTCFormatsTheGivenDateOrTheTimeInTheGivenOffset) {
  FixedDevice device(kNow, "Asia/Tokyo", "en-US", "de-DE");
  const std::int64_t t = 1710513045;  // 2024-03-15 14:30:45 UTC
  // {t, date, offset, text}: a date given wins over t; an offset no zone can have gives the
  // device's zone (Tokyo, UTC+9).
  const std::tuple<std::int64_t, std::optional<double>, std::int32_t, std::u16string_view> cases[] =
      {{t, std::nullopt, 0, u"2:30 PM"},          {t, std::nullopt, 3 * 3600, u"5:30 PM"},
       {t, std::nullopt, -34200, u"5:00 AM"},     {0, 1710513045.0, 0, u"2:30 PM"},
       {t, std::nullopt, 24 * 3600, u"11:30 PM"}, {t, std::nullopt, INT32_MIN, u"11:30 PM"}};
  for (const auto& [at, date, offset, text] : cases) {
    EXPECT_EQ(Plain(STime::StringFromUTC(at, date, 0, 1, offset)), text) << offset;
  }
  // Date styles reach the formatter in the current language, not the locale; and no relative
  // words here: yesterday is written as a date.
  EXPECT_EQ(STime::StringFromUTC(t, 0.0, 1, 0, 0), u"1/1/70");
  EXPECT_TRUE(HasDigit(STime::StringFromUTC(kNow - kDay, std::nullopt, 1, 0, 0)));
}

}  // namespace
}  // namespace kelvane
