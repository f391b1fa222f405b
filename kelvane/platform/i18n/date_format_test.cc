// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/date_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/testing/text.h"

namespace kelvane::platform {
namespace {

constexpr double kJuly1Noon = 1751371200;  // 2025-07-01 12:00:00 UTC, a Tuesday
constexpr double kDay = 86400;

Locale L(std::string_view id) { return Locale::FromIdentifier(id).value(); }
TimeZone Zone(std::string_view id) { return TimeZone::Named(id).value(); }

using testing::Contains;
using testing::HasDigit;

TEST(TimeZone, NamedFixedAndSystemZones) {
  const TimeZone berlin = Zone("Europe/Berlin");
  EXPECT_EQ(berlin.Identifier(), "Europe/Berlin");
  EXPECT_EQ(berlin.OffsetAt(kJuly1Noon), 7200);  // summer time
  EXPECT_FALSE(TimeZone::Named("Nowhere/Atlantis").has_value());
  EXPECT_FALSE(TimeZone::Named("").has_value());

  EXPECT_EQ(TimeZone::FixedOffset(10800)->OffsetAt(kJuly1Noon), 10800);
  EXPECT_EQ(TimeZone::FixedOffset(10800)->Identifier(), "GMT+03:00");
  EXPECT_EQ(TimeZone::FixedOffset(-34200)->Identifier(), "GMT-09:30");
  EXPECT_EQ(TimeZone::FixedOffset(0)->Identifier(), "GMT");
  EXPECT_TRUE(TimeZone::FixedOffset(TimeZone::kMaxFixedOffset).has_value());
  EXPECT_FALSE(TimeZone::FixedOffset(TimeZone::kMaxFixedOffset + 1).has_value());
  EXPECT_FALSE(TimeZone::FixedOffset(-TimeZone::kMaxFixedOffset - 1).has_value());
  EXPECT_EQ(berlin.OffsetAt(NAN), 0);

  // The system zone follows the device fact; a zone the database does not know is resolved like
  // TZ, and the result is still a usable zone.
  {
    ScopedDeviceOverrides device({.time_zone = "Asia/Tokyo"});
    EXPECT_EQ(TimeZone::System().OffsetAt(kJuly1Noon), 9 * 3600);
  }
  ScopedDeviceOverrides device({.time_zone = "Nowhere/Atlantis"});
  EXPECT_FALSE(TimeZone::System().Identifier().empty());
}

TEST(DateFormatter, StylesZonesAndLocalesShapeTheText) {
  const TimeZone utc = Zone("UTC");
  const TimeZone tokyo = Zone("Asia/Tokyo");
  // July 1 at noon UTC is 21:00 in Tokyo: the zone moves the hour, not the date.
  const String short_tokyo =
      FormatDate(kJuly1Noon, L("en-US"), kDateStyleShort, kDateStyleShort, tokyo);
  EXPECT_TRUE(Contains(short_tokyo, u"7/1/25")) << short_tokyo.size();
  EXPECT_TRUE(Contains(short_tokyo, u"9:00"));
  const String fixed = FormatDate(kJuly1Noon, L("de-DE"), kDateStyleNone, kDateStyleShort,
                                  *TimeZone::FixedOffset(-3 * 3600));
  EXPECT_EQ(fixed, u"09:00");
  // No styles at all, styles out of range, and instants the engine cannot place give no text.
  EXPECT_EQ(FormatDate(kJuly1Noon, L("en-US"), kDateStyleNone, kDateStyleNone, utc), u"");
  EXPECT_EQ(FormatDate(kJuly1Noon, L("en-US"), 5, 99, utc), u"");
  EXPECT_EQ(FormatDate(NAN, L("en-US"), kDateStyleShort, kDateStyleNone, utc), u"");
  EXPECT_EQ(FormatDate(INFINITY, L("en-US"), kDateStyleShort, kDateStyleNone, utc), u"");
  (void)FormatDate(9.2e18, L("en-US"), kDateStyleFull, kDateStyleFull, utc);  // must not crash
}

TEST(DateFormatter, RelativeWordsFollowTheLibraryClockInTheFormattersZone) {
  ManualClock clock(kJuly1Noon);
  ScopedClock scoped(clock);
  const TimeZone utc = Zone("UTC");
  auto en = DateFormatter::Create(L("en-US"), kDateStyleShort, kDateStyleNone, utc, true);
  ASSERT_NE(en, nullptr);
  EXPECT_EQ(en->Format(kJuly1Noon - 12 * 3600), u"Today");  // midnight that began today
  EXPECT_EQ(en->Format(kJuly1Noon - kDay), u"Yesterday");
  EXPECT_EQ(en->Format(kJuly1Noon + kDay), u"Tomorrow");
  EXPECT_EQ(en->Format(kJuly1Noon - 12 * 3600 - 1), u"Yesterday");  // one second earlier
  EXPECT_TRUE(HasDigit(en->Format(kJuly1Noon - 2 * kDay)));         // English has no word for it
  // A relative formatter with a time style writes the word and the time.
  auto both = DateFormatter::Create(L("en-US"), kDateStyleShort, kDateStyleShort, utc, true);
  const String text = both->Format(kJuly1Noon - kDay);
  EXPECT_EQ(std::tuple(Contains(text, u"Yesterday"), Contains(text, u"12:00")),
            std::tuple(true, true));

  // 23:00 UTC on June 30 is already July 1 in Tokyo: "today" is the zone's day.
  auto jp =
      DateFormatter::Create(L("en-US"), kDateStyleShort, kDateStyleNone, Zone("Asia/Tokyo"), true);
  EXPECT_EQ(jp->Format(kJuly1Noon - 13 * 3600), u"Today");
  EXPECT_EQ(en->Format(kJuly1Noon - 13 * 3600), u"Yesterday");
  clock.Advance(kDay);  // the words move with the clock
  EXPECT_EQ(en->Format(kJuly1Noon), u"Yesterday");
}

TEST(DateFormatter, OneFormatterServesManyThreads) {
  auto formatter = DateFormatter::Create(L("en-US"), kDateStyleMedium, kDateStyleMedium,
                                         Zone("Europe/Berlin"), true);
  ASSERT_NE(formatter, nullptr);
  const String expected = formatter->Format(kJuly1Noon - 40 * kDay);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int k = 0; k < 300; ++k) {
        if (formatter->Format(kJuly1Noon - 40 * kDay) != expected) ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(expected.empty());
}

}  // namespace
}  // namespace kelvane::platform
