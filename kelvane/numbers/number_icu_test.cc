// SPDX-License-Identifier: Apache-2.0
// The formatter against ICU's own number formatter, in the same process, over many locales,
// styles and generated values: both read the same CLDR data, so every text must agree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/unistr.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/numbers/number_format.h"
#include "kelvane/testing/number_symbols.h"

namespace kelvane {
namespace {

using testing::Utf8;

constexpr const char* kLocales[] = {"en-US", "en-GB",           "en-IN", "de-DE", "de-CH", "de-AT",
                                    "fr-FR", "fr-CH",           "it-IT", "es-ES", "es-MX", "pt-BR",
                                    "nl-NL", "sv-SE",           "nb-NO", "fi-FI", "pl-PL", "ru-RU",
                                    "uk-UA", "tr-TR",           "ja-JP", "zh-CN", "zh-TW", "ko-KR",
                                    "hi-IN", "hi-IN-u-nu-deva", "bn-BD", "ar-EG", "ar-SA", "fa-IR",
                                    "he-IL", "th-TH",           "id-ID", "vi-VN", "el-GR"};

// One of our styles and the ICU skeleton that writes the same. Our kNegative is ICU's
// sign-negative: a value that rounds to zero shows no minus.
struct Style {
  const char* name;
  NumberOptions options;
  std::string skeleton;
};

std::vector<Style> Styles(const std::string& own_currency) {
  using S = NumberStyle;
  using D = CurrencyDisplay;
  const Rounding half_up = Rounding::kHalfUp;
  return {
      {"price", {.digits = 2}, ".00 sign-negative"},
      {"price 5", {.digits = 5}, ".00000 sign-negative"},
      {"price half-up",
       {.digits = 2, .rounding = half_up},
       ".00 sign-negative rounding-mode-half-up"},
      {"tick 0.25", {.tick = testing::Dec("0.25")}, "precision-increment/0.25 sign-negative"},
      {"tick 0.0001", {.tick = testing::Dec("0.0001")}, "precision-increment/0.0001 sign-negative"},
      {"tick 0.05", {.tick = testing::Dec("0.05")}, "precision-increment/0.05 sign-negative"},
      {"change", {.style = S::kChange}, ".00 sign-except-zero"},
      {"change always", {.style = S::kChange, .sign = SignDisplay::kAlways}, ".00 sign-always"},
      {"percent", {.style = S::kPercent}, "percent .00 sign-except-zero"},
      {"compact", {.style = S::kCompact}, "compact-short sign-negative"},
      {"compact .00", {.style = S::kCompact, .digits = 2}, "compact-short .00 sign-negative"},
      {"compact floor",
       {.style = S::kCompact, .rounding = Rounding::kFloor},
       "compact-short sign-negative rounding-mode-floor"},
      {"money CHF",
       {.style = S::kMoney, .currency = "CHF"},
       "currency/CHF unit-width-short sign-negative"},
      {"money CHF code",
       {.style = S::kMoney, .currency = "CHF", .currency_display = D::kCode},
       "currency/CHF unit-width-iso-code sign-negative"},
      {"money JPY",
       {.style = S::kMoney, .currency = "JPY"},
       "currency/JPY unit-width-short sign-negative"},
      {"money BHD code",
       {.style = S::kMoney, .currency = "BHD", .currency_display = D::kCode},
       "currency/BHD unit-width-iso-code sign-negative"},
      {"money own",
       {.style = S::kMoney},
       "currency/" + own_currency + " unit-width-short sign-negative"},
  };
}

// Decimals of 1 to 15 digits from 1e-6 to 1e12, both signs, and ties at two digits and at a
// quarter (x.xx5, x.125).
std::vector<Decimal> Values() {
  std::mt19937_64 random(1234567);
  std::vector<Decimal> values = {Decimal(), testing::Dec("999.995"), testing::Dec("999999.5")};
  for (int i = 0; i < 3000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 15);
    const int magnitude = -6 + static_cast<int>(random() % 19);
    std::int64_t low = 1;
    for (int d = 1; d < digits; ++d) low *= 10;
    std::int64_t mantissa = low + static_cast<std::int64_t>(random() % (9 * low));
    int scale = digits - 1 - magnitude;
    for (; scale < 0; ++scale) mantissa *= 10;
    for (; scale > Decimal::kMaxScale; --scale) mantissa /= 10;
    if (i % 5 == 3) mantissa = static_cast<std::int64_t>(random() % 100000) * 1000 + 125;
    if (i % 5 == 4) mantissa = static_cast<std::int64_t>(random() % 1000000) * 10 + 5;
    if (i % 5 >= 3) scale = 3;
    values.push_back(*Decimal::Make(i % 2 == 0 ? mantissa : -mantissa, scale));
  }
  return values;
}

std::u16string IcuText(const icu::number::LocalizedNumberFormatter& formatter, Decimal value,
                       bool as_double) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text =
      as_double ? formatter.formatDouble(value.ToDouble(), status).toString(status)
                : formatter.formatDecimal(value.ToString().c_str(), status).toString(status);
  if (U_FAILURE(status)) return u"<ICU: " + testing::Utf16(u_errorName(status)) + u">";
  return std::u16string(text.getBuffer(), static_cast<std::size_t>(text.length()));
}

// Every text compared is also read back by the formatter that wrote it.
TEST(NumberIcu, AgreesWithIcuInEveryLocaleAndStyle) {
  const std::vector<Decimal> values = Values();
  std::size_t compared = 0;
  std::size_t styles_compared = 0;
  std::vector<std::string> disagreements;
  std::vector<std::string> unread;
  const Decimal tiny_negative = *Decimal::Make(-1, Decimal::kMaxScale);
  for (const char* locale : kLocales) {
    const auto own = CurrencyForLocale(locale);
    ASSERT_TRUE(own.has_value()) << locale;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale icu_locale = icu::Locale::forLanguageTag(locale, status);
    ASSERT_TRUE(U_SUCCESS(status)) << locale;
    for (const Style& style : Styles(*own)) {
      SCOPED_TRACE(std::string(locale) + " " + style.name);
      const auto ours = NumberFormatter::Make(locale, style.options);
      ASSERT_NE(ours, nullptr);
      UParseError parse_error;
      const auto icu = icu::number::NumberFormatter::forSkeleton(
                           icu::UnicodeString::fromUTF8(style.skeleton), parse_error, status)
                           .locale(icu_locale);
      ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
      ++styles_compared;
      for (std::size_t i = 0; i < values.size(); ++i) {
        const Decimal value = values[i];
        const bool as_double = i % 2 == 1;
        const std::u16string text =
            as_double ? ours->Format(value.ToDouble()) : ours->Format(value);
        const std::u16string expected = IcuText(icu, value, as_double);
        ++compared;
        const std::string where = std::string(locale) + " " + style.name + " " + value.ToString() +
                                  (as_double ? " (double): " : ": ");
        if (text != expected && disagreements.size() < 40) {
          disagreements.push_back(where + Utf8(text) + " but ICU " + Utf8(expected));
        }
        // What we wrote reads back as a value that writes the same text (a negative value that
        // rounds to zero reads as zero); a price at two digits reads back as the value rounded
        // to them exactly.
        const NumberParse read = ours->Parse(text);
        const bool same =
            read.value &&
            (ours->Format(*read.value) == text ||
             (read.value->sign() == 0 && text == ours->Format(tiny_negative))) &&
            (style.skeleton != ".00 sign-negative" || read.value->Identical(*value.Rescale(2)));
        if (!same && unread.size() < 40) {
          unread.push_back(where + Utf8(text) + " reads as " +
                           (read.value ? read.value->ToString()
                                       : std::string(NumberParseErrorText(read.error))));
        }
      }
    }
  }
  std::printf("compared %zu texts: %zu values x %zu locales x %zu styles\n", compared,
              values.size(), std::size(kLocales), styles_compared / std::size(kLocales));
  EXPECT_THAT(disagreements, ::testing::IsEmpty());
  EXPECT_THAT(unread, ::testing::IsEmpty());
}

TEST(NumberIcu, MakeKeepsOneFormatterPerLocaleAndOptions) {
  const auto swiss = NumberFormatter::Make("de-CH", {.digits = 2});
  ASSERT_NE(swiss, nullptr);
  EXPECT_EQ(NumberFormatter::Make("de-CH", {.digits = 2}), swiss);
  EXPECT_NE(NumberFormatter::Make("de-CH", {.digits = 3}), swiss);
  EXPECT_EQ(swiss->locale(), "de-CH");
  EXPECT_EQ(swiss->options(), NumberOptions{.digits = 2});
  EXPECT_EQ(Utf8(swiss->Format(1234.5)), "1\u2019234.50");
  EXPECT_EQ(CurrencyForLocale("de-CH"), "CHF");
  // Money takes the region's currency, or the one given; a language alone has none.
  const NumberOptions money{.style = NumberStyle::kMoney,
                            .currency_display = CurrencyDisplay::kCode};
  const auto own = NumberFormatter::Make("ja-JP", money);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(Utf8(own->Format(1234.5)), "JPY\u00A01,234");
  EXPECT_EQ(NumberFormatter::Make("en", money), nullptr);
  EXPECT_NE(NumberFormatter::Make("en", {.style = NumberStyle::kMoney, .currency = "eur"}),
            nullptr);
  const struct {
    const char* why;
    std::string locale;
    NumberOptions options;
  } refused[] = {
      {"an empty locale", "", {}},
      {"not a locale", "not a locale!!", {}},
      {"a locale of 1000 letters", "en-" + std::string(997, 'a'), {}},
      {"digits past 18", "en-US", {.digits = 19}},
      {"a currency of four letters", "en-US", {.style = NumberStyle::kMoney, .currency = "USDX"}},
  };
  for (const auto& row : refused) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(NumberFormatter::Make(row.locale, row.options), nullptr);
  }
}

TEST(NumberIcu, MakeKeepsWhatCallersHoldWhileBounded) {
  const auto held = NumberFormatter::Make("en-US", {.digits = 0});
  ASSERT_NE(held, nullptr);
  // More formatters than the cache keeps, none of them held.
  int made = 0;
  for (int style = 0; style < 4; ++style) {
    for (int digits = 0; digits <= Decimal::kMaxScale; ++digits) {
      for (int rounding = 0; rounding < 5; ++rounding) {
        const NumberOptions options{.style = static_cast<NumberStyle>(style),
                                    .digits = digits,
                                    .rounding = static_cast<Rounding>(rounding)};
        made += NumberFormatter::Make("en-GB", options) != nullptr;
      }
    }
  }
  EXPECT_EQ(made, 4 * 19 * 5);
  EXPECT_EQ(NumberFormatter::Make("en-US", {.digits = 0}), held);
}

TEST(NumberIcu, FormattersAreSharedBetweenThreads) {
  const std::vector<Decimal> values = Values();
  const NumberOptions compact{.style = NumberStyle::kCompact};
  const auto reference = NumberFormatter::Make("hi-IN", compact);
  ASSERT_NE(reference, nullptr);
  std::vector<std::u16string> expected;
  for (const Decimal value : values) expected.push_back(reference->Format(value));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (std::size_t i = 0; i < values.size(); ++i) {
        // Another formatter made meanwhile, so that the cache is written while it is read.
        const auto other = NumberFormatter::Make("fr-FR", {.digits = static_cast<int>(i % 19)});
        const auto formatter = NumberFormatter::Make("hi-IN", compact);
        wrong += formatter != reference || other == nullptr ||
                 formatter->Format(values[i]) != expected[i];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kelvane
