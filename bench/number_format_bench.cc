// SPDX-License-Identifier: Apache-2.0
// The number formatter and reader against ICU's number formatter (made once, as a client would)
// and against std::to_chars for the plain C-locale case: a million prices at 2 and 5 digits in
// en-US and de-CH, compact quantities, money, and reading prices back.
#include <benchmark/benchmark.h>
#include <unicode/decimfmt.h>
#include <unicode/fmtable.h>
#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/parsepos.h>
#include <unicode/unistr.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/numbers/number_format.h"

namespace {

using kelvane::NumberFormatter;
using kelvane::NumberOptions;
using kelvane::NumberStyle;

constexpr std::size_t kPrices = 1 << 20;  // about a million
constexpr std::size_t kCount = 4096;      // a power of two: the index wraps with a mask
constexpr const char* kLocales[] = {"en-US", "de-CH"};

// Prices between 0.5 and 20,000: half quoted (whole numbers of 10^-5), half computed (every bit
// of the double in use).
const std::vector<double>& Prices() {
  static const std::vector<double> prices = [] {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> computed(0.5, 20000.0);
    std::vector<double> p;
    p.reserve(kPrices);
    for (std::size_t i = 0; i < kPrices; ++i) {
      const double value = computed(rng);
      p.push_back(i % 2 == 0 ? static_cast<double>(static_cast<std::int64_t>(value * 1e5)) / 1e5
                             : value);
    }
    return p;
  }();
  return prices;
}

// Traded quantities from 1 to 10^12, spread over the magnitudes.
const std::vector<double>& Quantities() {
  static const std::vector<double> quantities = [] {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> exponent(0, 12);
    std::vector<double> q;
    for (std::size_t i = 0; i < kCount; ++i) {
      q.push_back(static_cast<double>(static_cast<std::int64_t>(std::pow(10, exponent(rng)))));
    }
    return q;
  }();
  return quantities;
}

std::shared_ptr<const NumberFormatter> Ours(const char* locale, NumberStyle style, int digits,
                                            bool grouping = true) {
  NumberOptions options;
  options.style = style;
  options.digits = digits;
  options.grouping = grouping;
  if (style == NumberStyle::kMoney) options.currency = "USD";
  auto formatter = NumberFormatter::Make(locale, options);
  if (formatter == nullptr) std::abort();
  return formatter;
}

icu::number::LocalizedNumberFormatter Icu(const char* locale, const char* skeleton) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError error;
  auto formatter =
      icu::number::NumberFormatter::forSkeleton(icu::UnicodeString(skeleton), error, status)
          .locale(icu::Locale::forLanguageTag(locale, status));
  if (U_FAILURE(status)) std::abort();
  return formatter;
}

// ---- a million prices ----
// Every price once an iteration; what `f` wrote is summed so that nothing is optimised away.
template <typename F>
void RunPrices(benchmark::State& state, F f) {
  const std::vector<double>& prices = Prices();
  for (auto _ : state) {
    std::size_t written = 0;
    for (const double price : prices) written += static_cast<std::size_t>(f(price));
    benchmark::DoNotOptimize(written);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * prices.size()));
}

void BM_PricesOurs(benchmark::State& state) {
  const auto formatter =
      Ours(kLocales[state.range(0)], NumberStyle::kPrice, static_cast<int>(state.range(1)));
  std::array<char16_t, NumberFormatter::kMaxUnits> text;
  RunPrices(state, [&](double price) { return formatter->Format(price, text); });
}
void BM_PricesIcu(benchmark::State& state) {
  const auto formatter = Icu(kLocales[state.range(0)], state.range(1) == 2 ? ".00" : ".00000");
  RunPrices(state, [&](double price) {
    UErrorCode status = U_ZERO_ERROR;
    return formatter.formatDouble(price, status).toTempString(status).length();
  });
}
// The C locale: ours without grouping against to_chars in fixed notation.
void BM_PricesPlainOurs(benchmark::State& state) {
  const auto formatter = Ours("en-US-POSIX", NumberStyle::kPrice, 2, false);
  std::array<char16_t, NumberFormatter::kMaxUnits> text;
  RunPrices(state, [&](double price) { return formatter->Format(price, text); });
}
void BM_PricesToChars(benchmark::State& state) {
  char text[64];
  RunPrices(state, [&](double price) {
    return std::to_chars(text, text + sizeof text, price, std::chars_format::fixed, 2).ptr - text;
  });
}
BENCHMARK(BM_PricesOurs)->Args({0, 2})->Args({0, 5})->Args({1, 2})->Args({1, 5});
BENCHMARK(BM_PricesIcu)->Args({0, 2})->Args({0, 5})->Args({1, 2})->Args({1, 5});
BENCHMARK(BM_PricesPlainOurs);
BENCHMARK(BM_PricesToChars);

// ---- compact quantities and money, one value per iteration ----
template <typename F>
void Run(benchmark::State& state, const std::vector<double>& values, F f) {
  std::size_t i = 0;
  std::int64_t sum = 0;
  for (auto _ : state) {
    sum += static_cast<std::int64_t>(f(values[i++ & (kCount - 1)]));
    benchmark::DoNotOptimize(sum);
  }
}

void BM_CompactOurs(benchmark::State& state) {
  const auto formatter = Ours("en-US", NumberStyle::kCompact, -1);
  std::array<char16_t, NumberFormatter::kMaxUnits> text;
  Run(state, Quantities(), [&](double v) { return formatter->Format(v, text); });
}
void BM_CompactIcu(benchmark::State& state) {
  const auto formatter = Icu("en-US", "compact-short");
  Run(state, Quantities(), [&](double v) {
    UErrorCode status = U_ZERO_ERROR;
    return formatter.formatDouble(v, status).toTempString(status).length();
  });
}
void BM_MoneyOurs(benchmark::State& state) {
  const auto formatter = Ours(kLocales[state.range(0)], NumberStyle::kMoney, -1);
  std::array<char16_t, NumberFormatter::kMaxUnits> text;
  Run(state, Prices(), [&](double v) { return formatter->Format(v, text); });
}
void BM_MoneyIcu(benchmark::State& state) {
  const auto formatter = Icu(kLocales[state.range(0)], "currency/USD");
  Run(state, Prices(), [&](double v) {
    UErrorCode status = U_ZERO_ERROR;
    return formatter.formatDouble(v, status).toTempString(status).length();
  });
}
BENCHMARK(BM_CompactOurs);
BENCHMARK(BM_CompactIcu);
BENCHMARK(BM_MoneyOurs)->Arg(0)->Arg(1);
BENCHMARK(BM_MoneyIcu)->Arg(0)->Arg(1);

// ---- reading prices back: the texts each side wrote ----
void BM_ParseOurs(benchmark::State& state) {
  const auto formatter = Ours(kLocales[state.range(0)], NumberStyle::kPrice, 2);
  std::vector<std::u16string> texts;
  for (std::size_t i = 0; i < kCount; ++i) texts.push_back(formatter->Format(Prices()[i]));
  std::size_t i = 0;
  std::int64_t sum = 0;
  for (auto _ : state) {
    const kelvane::NumberParse read = formatter->Parse(texts[i++ & (kCount - 1)]);
    sum += read.value ? read.value->mantissa() : 0;
    benchmark::DoNotOptimize(sum);
  }
}
void BM_ParseIcu(benchmark::State& state) {
  UErrorCode status = U_ZERO_ERROR;
  const std::unique_ptr<icu::NumberFormat> parser(icu::NumberFormat::createInstance(
      icu::Locale::forLanguageTag(kLocales[state.range(0)], status), status));
  if (U_FAILURE(status)) std::abort();
  parser->setMinimumFractionDigits(2);
  parser->setMaximumFractionDigits(2);
  std::vector<icu::UnicodeString> texts;
  for (std::size_t i = 0; i < kCount; ++i) {
    icu::UnicodeString text;
    texts.push_back(parser->format(Prices()[i], text));
  }
  std::size_t i = 0;
  double sum = 0;
  for (auto _ : state) {
    icu::Formattable result;
    icu::ParsePosition position(0);
    parser->parse(texts[i++ & (kCount - 1)], result, position);
    UErrorCode get_status = U_ZERO_ERROR;
    sum += result.getDouble(get_status);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ParseOurs)->Arg(0)->Arg(1);
BENCHMARK(BM_ParseIcu)->Arg(0)->Arg(1);

const int kRatios = [] {
  using kelvane::bench::Ratio;
  Ratio("1M prices, en-US, 2 digits vs ICU formatDouble", "BM_PricesOurs/0/2", "BM_PricesIcu/0/2",
        "<= 0.5");
  Ratio("1M prices, en-US, 5 digits vs ICU formatDouble", "BM_PricesOurs/0/5", "BM_PricesIcu/0/5",
        "<= 0.5");
  Ratio("1M prices, de-CH, 2 digits vs ICU formatDouble", "BM_PricesOurs/1/2", "BM_PricesIcu/1/2",
        "<= 0.5");
  Ratio("1M prices, de-CH, 5 digits vs ICU formatDouble", "BM_PricesOurs/1/5", "BM_PricesIcu/1/5",
        "<= 0.5");
  Ratio("1M prices, C locale, 2 digits vs to_chars fixed", "BM_PricesPlainOurs", "BM_PricesToChars",
        "<= 1.5");
  Ratio("compact quantities, en-US vs ICU compact-short", "BM_CompactOurs", "BM_CompactIcu",
        "<= 0.5");
  Ratio("money USD, en-US vs ICU currency/USD", "BM_MoneyOurs/0", "BM_MoneyIcu/0", "<= 0.5");
  Ratio("money USD, de-CH vs ICU currency/USD", "BM_MoneyOurs/1", "BM_MoneyIcu/1", "<= 0.5");
  Ratio("parse prices, en-US vs ICU DecimalFormat::parse", "BM_ParseOurs/0", "BM_ParseIcu/0",
        "<= 0.5");
  Ratio("parse prices, de-CH vs ICU DecimalFormat::parse", "BM_ParseOurs/1", "BM_ParseIcu/1",
        "<= 0.5");
  return 0;
}();

}  // namespace

KELVANE_BENCH_MAIN()
