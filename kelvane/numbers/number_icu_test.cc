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

NumberOptions With(NumberStyle style, int digits = -1, const char* tick = nullptr,
                   Rounding rounding = Rounding::kHalfEven) {
  NumberOptions options;
  options.style = style;
  options.digits = digits;
  if (tick != nullptr) options.tick = testing::Dec(tick);
  options.rounding = rounding;
  return options;
}

NumberOptions Always(NumberOptions options) {
  options.sign = SignDisplay::kAlways;
  return options;
}

NumberOptions Money(const std::string& currency, CurrencyDisplay display) {
  NumberOptions options = With(NumberStyle::kMoney);
  options.currency = currency;
  options.currency_display = display;
  return options;
}

std::vector<Style> Styles(const std::string& own_currency) {
  return {
      {"price", With(NumberStyle::kPrice, 2), ".00 sign-negative"},
      {"price 5", With(NumberStyle::kPrice, 5), ".00000 sign-negative"},
      {"price half-up", With(NumberStyle::kPrice, 2, nullptr, Rounding::kHalfUp),
       ".00 sign-negative rounding-mode-half-up"},
      {"tick 0.25", With(NumberStyle::kPrice, -1, "0.25"),
       "precision-increment/0.25 sign-negative"},
      {"tick 0.0001", With(NumberStyle::kPrice, -1, "0.0001"),
       "precision-increment/0.0001 sign-negative"},
      {"tick 0.05", With(NumberStyle::kPrice, -1, "0.05"),
       "precision-increment/0.05 sign-negative"},
      {"change", With(NumberStyle::kChange), ".00 sign-except-zero"},
      {"change always", Always(With(NumberStyle::kChange)), ".00 sign-always"},
      {"percent", With(NumberStyle::kPercent), "percent .00 sign-except-zero"},
      {"compact", With(NumberStyle::kCompact), "compact-short sign-negative"},
      {"money CHF", Money("CHF", CurrencyDisplay::kSymbol),
       "currency/CHF unit-width-short sign-negative"},
      {"money CHF code", Money("CHF", CurrencyDisplay::kCode),
       "currency/CHF unit-width-iso-code sign-negative"},
      {"compact .00", With(NumberStyle::kCompact, 2), "compact-short .00 sign-negative"},
      {"compact floor", With(NumberStyle::kCompact, -1, nullptr, Rounding::kFloor),
       "compact-short sign-negative rounding-mode-floor"},
      {"money JPY", Money("JPY", CurrencyDisplay::kSymbol),
       "currency/JPY unit-width-short sign-negative"},
      {"money BHD code", Money("BHD", CurrencyDisplay::kCode),
       "currency/BHD unit-width-iso-code sign-negative"},
      {"money USD", Money("USD", CurrencyDisplay::kSymbol),
       "currency/USD unit-width-short sign-negative"},
      {"money EUR", Money("EUR", CurrencyDisplay::kSymbol),
       "currency/EUR unit-width-short sign-negative"},
      {"money own", Money("", CurrencyDisplay::kSymbol),
       "currency/" + own_currency + " unit-width-short sign-negative"},
  };
}

// Decimals of every size from 1e-6 to 1e12 with 1 to 15 significant digits, both signs, and
// ties at two digits and at a quarter.
std::vector<std::string> Values() {
  std::mt19937_64 random(1234567);
  std::uniform_int_distribution<int> exponent(-6, 12);
  std::uniform_int_distribution<int> length(1, 15);
  std::uniform_int_distribution<int> digit(0, 9);
  std::vector<std::string> values = {"0", "1", "-1", "999.995", "999999.5", "1000", "999"};
  for (int i = 0; i < 3000; ++i) {
    // A leading digit at 10^magnitude, then more digits down to 10^point.
    std::string digits(1, static_cast<char>('1' + digit(random) % 9));
    const int magnitude = exponent(random);
    for (int n = length(random); n > 1; --n) digits += static_cast<char>('0' + digit(random));
    int point = magnitude - static_cast<int>(digits.size()) + 1;
    for (; point < -Decimal::kMaxScale; ++point) digits.pop_back();
    if (i % 5 == 3) {
      digits = std::to_string(random() % 100000 + 1) + "125";  // x.125: a tie of quarters
      point = -3;
    } else if (i % 5 == 4) {
      digits = std::to_string(random() % 100000 + 1) + "5";  // x.xx5: a tie at two digits
      point = -3;
    }
    std::string text;
    if (point >= 0) {
      text = digits + std::string(static_cast<std::size_t>(point), '0');
    } else {
      const auto fraction = static_cast<std::size_t>(-point);
      if (digits.size() <= fraction) digits.insert(0, fraction - digits.size() + 1, '0');
      text = digits.substr(0, digits.size() - fraction) + "." +
             digits.substr(digits.size() - fraction);
    }
    values.push_back(i % 2 == 0 ? text : "-" + text);
  }
  return values;
}

std::u16string IcuText(const icu::number::LocalizedNumberFormatter& formatter,
                       const std::string& value, bool as_double) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text =
      as_double ? formatter.formatDouble(testing::Dec(value).ToDouble(), status).toString(status)
                : formatter.formatDecimal(value.c_str(), status).toString(status);
  if (U_FAILURE(status)) return u"<ICU: " + testing::Utf16(u_errorName(status)) + u">";
  return std::u16string(text.getBuffer(), static_cast<std::size_t>(text.length()));
}

// Every text compared is also read back by the formatter that wrote it.
TEST(NumberIcu, AgreesWithIcuInEveryLocaleAndStyle) {
  const std::vector<std::string> values = Values();
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
        const bool as_double = i % 2 == 1;
        const Decimal value = testing::Dec(values[i]);
        const std::u16string text =
            as_double ? ours->Format(value.ToDouble()) : ours->Format(value);
        const std::u16string expected = IcuText(icu, values[i], as_double);
        ++compared;
        if (text != expected && disagreements.size() < 40) {
          disagreements.push_back(std::string(locale) + " " + style.name + " " + values[i] +
                                  (as_double ? " (double)" : "") + ": ours \"" + Utf8(text) +
                                  "\", ICU \"" + Utf8(expected) + "\"");
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
          unread.push_back(std::string(locale) + " " + style.name + " \"" + Utf8(text) + "\": " +
                           (read.value ? read.value->ToString()
                                       : std::string(NumberParseErrorText(read.error)) + " at " +
                                             std::to_string(read.position)));
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
  const auto swiss = NumberFormatter::Make("de-CH", With(NumberStyle::kPrice, 2));
  ASSERT_NE(swiss, nullptr);
  EXPECT_EQ(NumberFormatter::Make("de-CH", With(NumberStyle::kPrice, 2)), swiss);
  EXPECT_NE(NumberFormatter::Make("de-CH", With(NumberStyle::kPrice, 3)), swiss);
  EXPECT_EQ(swiss->locale(), "de-CH");
  EXPECT_EQ(swiss->options(), With(NumberStyle::kPrice, 2));
  EXPECT_EQ(Utf8(swiss->Format(1234.5)), "1\u2019234.50");
  EXPECT_EQ(CurrencyForLocale("de-CH"), "CHF");
  EXPECT_EQ(CurrencyForLocale("en"), std::nullopt);
  // Money takes the region's currency, or the one given; a language alone has none.
  const auto own = NumberFormatter::Make("ja-JP", Money("", CurrencyDisplay::kCode));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(Utf8(own->Format(1234.5)), "JPY\u00A01,234");
  EXPECT_EQ(NumberFormatter::Make("en", Money("", CurrencyDisplay::kSymbol)), nullptr);
  EXPECT_NE(NumberFormatter::Make("en", Money("eur", CurrencyDisplay::kSymbol)), nullptr);
  const struct {
    const char* why;
    std::string locale;
    NumberOptions options;
  } refused[] = {
      {"an empty locale", "", {}},
      {"not a locale", "not a locale!!", {}},
      {"a locale of 1000 letters", "en-" + std::string(997, 'a'), {}},
      {"digits past 18", "en-US", With(NumberStyle::kPrice, 19)},
      {"a currency of four letters", "en-US", Money("USDX", CurrencyDisplay::kSymbol)},
  };
  for (const auto& row : refused) {
    SCOPED_TRACE(row.why);
    EXPECT_EQ(NumberFormatter::Make(row.locale, row.options), nullptr);
  }
}

TEST(NumberIcu, MakeKeepsWhatCallersHoldWhileBounded) {
  const auto held = NumberFormatter::Make("en-US", With(NumberStyle::kPrice, 0));
  ASSERT_NE(held, nullptr);
  // More formatters than the cache keeps, none of them held.
  int made = 0;
  for (const NumberStyle style :
       {NumberStyle::kPrice, NumberStyle::kChange, NumberStyle::kPercent, NumberStyle::kCompact}) {
    for (int digits = 0; digits <= Decimal::kMaxScale; ++digits) {
      for (const Rounding rounding :
           {Rounding::kHalfEven, Rounding::kHalfUp, Rounding::kFloor, Rounding::kCeiling}) {
        made += NumberFormatter::Make("en-GB", With(style, digits, nullptr, rounding)) != nullptr;
      }
    }
  }
  EXPECT_EQ(made, 4 * 19 * 4);
  EXPECT_EQ(NumberFormatter::Make("en-US", With(NumberStyle::kPrice, 0)), held);
}

TEST(NumberIcu, FormattersAreSharedBetweenThreads) {
  const std::vector<std::string> values = Values();
  const auto reference = NumberFormatter::Make("hi-IN", With(NumberStyle::kCompact));
  ASSERT_NE(reference, nullptr);
  std::vector<std::u16string> expected;
  for (const std::string& value : values)
    expected.push_back(reference->Format(testing::Dec(value)));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (std::size_t i = 0; i < values.size(); ++i) {
        const auto formatter = NumberFormatter::Make("hi-IN", With(NumberStyle::kCompact));
        // Another formatter made meanwhile, so that the cache is written while it is read.
        const auto other = NumberFormatter::Make("fr-FR", With(NumberStyle::kPrice, int(i % 19)));
        if (formatter != reference || other == nullptr ||
            formatter->Format(testing::Dec(values[i])) != expected[i]) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kelvane
