// SPDX-License-Identifier: Apache-2.0
// Exact decimals from doubles and to text, each beside what a caller without them would write:
// std::to_chars of the double in fixed notation at the same number of digits. The exact way of
// FromDouble (shortest text, then integer rounding) runs too, to show what the quick way saves.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/numbers/decimal.h"
#include "kelvane/numbers/internal/exact_double.h"

namespace {

using kelvane::Decimal;
using kelvane::Rounding;

constexpr std::size_t kCount = 4096;  // a power of two: the index wraps with a mask

// Half quoted prices (whole numbers of 10^-5, as a feed sends them), half computed ones (means,
// converted amounts) with every bit of the double in use; between 0.5 and 2000.
const std::vector<double>& Prices() {
  static const std::vector<double> prices = [] {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> computed(0.5, 2000.0);
    std::vector<double> p;
    for (std::size_t i = 0; i < kCount; ++i) {
      const double value = computed(rng);
      p.push_back(i % 2 == 0 ? static_cast<double>(static_cast<std::int64_t>(value * 1e5)) / 1e5
                             : value);
    }
    return p;
  }();
  return prices;
}

// Quoted prices of five digits in the tens of thousands (an index, a coin).
const std::vector<double>& LargePrices() {
  static const std::vector<double> prices = [] {
    std::mt19937_64 rng(11);
    std::vector<double> p;
    for (std::size_t i = 0; i < kCount; ++i) {
      p.push_back(static_cast<double>(1000000000 + rng() % 9000000000) / 1e5);
    }
    return p;
  }();
  return prices;
}

template <typename F>
void Run(benchmark::State& state, const std::vector<double>& values, F f) {
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f(values[i++ & (kCount - 1)]));
  }
}

void BM_FromDoubleOurs(benchmark::State& state) {
  const int digits = static_cast<int>(state.range(0));
  Run(state, Prices(), [digits](double v) { return Decimal::FromDouble(v, digits); });
}
void BM_FromDoubleExactWay(benchmark::State& state) {
  const int digits = static_cast<int>(state.range(0));
  Run(state, Prices(), [digits](double v) {
    return kelvane::internal::FromDoubleExact(v, digits, Rounding::kHalfEven);
  });
}
void BM_FromDoubleLargeOurs(benchmark::State& state) {
  Run(state, LargePrices(), [](double v) { return Decimal::FromDouble(v, 5); });
}
void BM_ToCharsFixedPeer(benchmark::State& state) {
  const int digits = static_cast<int>(state.range(0));
  char text[64];
  Run(state, Prices(), [digits, &text](double v) {
    return std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, digits).ptr;
  });
}
void BM_FromDoubleLargePeer(benchmark::State& state) {
  char text[64];
  Run(state, LargePrices(), [&text](double v) {
    return std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 5).ptr;
  });
}
BENCHMARK(BM_FromDoubleOurs)->Arg(2)->Arg(5);
BENCHMARK(BM_FromDoubleExactWay)->Arg(2)->Arg(5);
BENCHMARK(BM_ToCharsFixedPeer)->Arg(2)->Arg(5);
BENCHMARK(BM_FromDoubleLargeOurs);
BENCHMARK(BM_FromDoubleLargePeer);

// The prices as decimals at `digits`, and the doubles nearest to those decimals.
struct Converted {
  std::vector<Decimal> decimals;
  std::vector<double> doubles;
};

Converted Convert(int digits) {
  Converted c;
  for (double v : Prices()) {
    c.decimals.push_back(*Decimal::FromDouble(v, digits));
    c.doubles.push_back(c.decimals.back().ToDouble());
  }
  return c;
}

// REQUIRES: digits is 2 or 5.
const Converted& ConvertedAt(int digits) {
  static const Converted at[2] = {Convert(2), Convert(5)};
  return at[digits == 2 ? 0 : 1];
}

void BM_ToCharsOurs(benchmark::State& state) {
  const auto& decimals = ConvertedAt(static_cast<int>(state.range(0))).decimals;
  char text[Decimal::kMaxChars];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(decimals[i++ & (kCount - 1)].ToChars(text, text + sizeof text));
  }
}
void BM_ToCharsDoublePeer(benchmark::State& state) {
  const int digits = static_cast<int>(state.range(0));
  char text[64];
  Run(state, ConvertedAt(digits).doubles, [digits, &text](double v) {
    return std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, digits).ptr;
  });
}
BENCHMARK(BM_ToCharsOurs)->Arg(2)->Arg(5);
BENCHMARK(BM_ToCharsDoublePeer)->Arg(2)->Arg(5);

const int kRatios = [] {
  using kelvane::bench::Ratio;
  Ratio("Decimal::FromDouble, 2 digits vs to_chars fixed", "BM_FromDoubleOurs/2",
        "BM_ToCharsFixedPeer/2", "<= 1.0");
  Ratio("Decimal::FromDouble, 5 digits vs to_chars fixed", "BM_FromDoubleOurs/5",
        "BM_ToCharsFixedPeer/5", "<= 1.0");
  Ratio("Decimal::FromDouble, 5 digits, 1e4..1e5 vs to_chars", "BM_FromDoubleLargeOurs",
        "BM_FromDoubleLargePeer", "<= 1.0");
  Ratio("FromDouble quick way vs exact way, 2 digits", "BM_FromDoubleOurs/2",
        "BM_FromDoubleExactWay/2", "for information");
  Ratio("FromDouble quick way vs exact way, 5 digits", "BM_FromDoubleOurs/5",
        "BM_FromDoubleExactWay/5", "for information");
  Ratio("Decimal::ToChars, 2 digits vs to_chars fixed", "BM_ToCharsOurs/2",
        "BM_ToCharsDoublePeer/2", "<= 1.0");
  Ratio("Decimal::ToChars, 5 digits vs to_chars fixed", "BM_ToCharsOurs/5",
        "BM_ToCharsDoublePeer/5", "<= 1.0");
  return 0;
}();

}  // namespace

KELVANE_BENCH_MAIN()
