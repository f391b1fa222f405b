// SPDX-License-Identifier: Apache-2.0
// Array containers against the standard library (and boost's flat containers) in one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#if KELVANE_HAVE_BOOST
#include <boost/container/flat_set.hpp>
#endif

#include "bench/ratio.h"
#include "kelvane/containers/storage.h"

namespace {

using kelvane::ComparatorUInt32;
using kelvane::TArray;

constexpr unsigned int kSorted = 1'000'000;
constexpr unsigned int kInserted = 100'000;
constexpr unsigned int kSaved = 10'000'000;

// Sorted data with gaps (so that half the keys are absent) and a shuffled list of keys.
struct SearchData {
  SearchData() {
    std::mt19937 rng(1);
    values.resize(kSorted);
    for (unsigned int i = 0; i < kSorted; ++i) values[i] = i * 2;
    array.Add(values.data(), kSorted * 4);
    keys.resize(1 << 16);
    for (auto& k : keys) k = rng() % (kSorted * 2);
  }
  std::vector<std::uint32_t> values;
  TArray<std::uint32_t> array;
  std::vector<std::uint32_t> keys;
};

SearchData& Searches() {
  static SearchData data;
  return data;
}

template <typename Find>
void RunSearch(benchmark::State& state, Find find) {
  const auto& keys = Searches().keys;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(find(keys[i++ & (keys.size() - 1)]));
  }
}

void BM_SearchOurs(benchmark::State& state) {
  auto& a = Searches().array;
  RunSearch(state, [&](std::uint32_t k) { return a.Search(ComparatorUInt32, &k); });
}
void BM_SearchStd(benchmark::State& state) {
  const auto& v = Searches().values;
  RunSearch(state, [&](std::uint32_t k) {
    auto it = std::lower_bound(v.begin(), v.end(), k);
    return it != v.end() && *it == k ? &*it : nullptr;
  });
}
void BM_SearchGrOrEqOurs(benchmark::State& state) {
  auto& a = Searches().array;
  RunSearch(state, [&](std::uint32_t k) { return a.SearchGrOrEq(ComparatorUInt32, &k); });
}
void BM_SearchGrOrEqStd(benchmark::State& state) {
  const auto& v = Searches().values;
  RunSearch(state, [&](std::uint32_t k) { return std::lower_bound(v.begin(), v.end(), k); });
}
// A caller's own comparator goes through its function pointer on every probe.
int CallerComparator(const void* a, const void* b) {
  const auto x = *static_cast<const std::uint32_t*>(a), y = *static_cast<const std::uint32_t*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}
void BM_SearchGrOrEqCallerComparator(benchmark::State& state) {
  auto& a = Searches().array;
  RunSearch(state, [&](std::uint32_t k) { return a.SearchGrOrEq(CallerComparator, &k); });
}
void BM_SearchLeOrEqOurs(benchmark::State& state) {
  auto& a = Searches().array;
  RunSearch(state, [&](std::uint32_t k) { return a.SearchLeOrEq(ComparatorUInt32, &k); });
}
void BM_SearchLeOrEqStd(benchmark::State& state) {
  const auto& v = Searches().values;
  RunSearch(state, [&](std::uint32_t k) { return std::upper_bound(v.begin(), v.end(), k); });
}

std::vector<std::uint32_t> RandomValues(unsigned int n) {
  std::mt19937 rng(2);
  std::vector<std::uint32_t> v(n);
  for (auto& x : v) x = rng();
  return v;
}

void BM_OrderedInsertOurs(benchmark::State& state) {
  const auto input = RandomValues(kInserted);
  for (auto _ : state) {
    TArray<std::uint32_t> a;
    for (std::uint32_t v : input) a.Insert(&v, ComparatorUInt32, false);
    benchmark::DoNotOptimize(a.Data());
  }
}
void BM_OrderedInsertStdVector(benchmark::State& state) {
  const auto input = RandomValues(kInserted);
  for (auto _ : state) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t x : input) v.insert(std::lower_bound(v.begin(), v.end(), x), x);
    benchmark::DoNotOptimize(v.data());
  }
}
#if KELVANE_HAVE_BOOST
void BM_OrderedInsertFlatSet(benchmark::State& state) {
  const auto input = RandomValues(kInserted);
  for (auto _ : state) {
    boost::container::flat_multiset<std::uint32_t> s;
    for (std::uint32_t x : input) s.insert(x);
    benchmark::DoNotOptimize(&*s.begin());
  }
}
BENCHMARK(BM_OrderedInsertFlatSet)->Unit(benchmark::kMillisecond);
#endif

struct SaveData {
  SaveData() {
    std::vector<std::uint32_t> v(kSaved);
    for (unsigned int i = 0; i < kSaved; ++i) v[i] = i * 2654435761u;
    array.Add(v.data(), kSaved * 4);
    array.Save(&record);
  }
  TArray<std::uint32_t> array;
  kelvane::Data record;
};

SaveData& Saves() {
  static SaveData data;
  return data;
}

void BM_SaveOurs(benchmark::State& state) {
  auto& d = Saves();
  kelvane::Data buffer;
  buffer.reserve(d.record.size());
  for (auto _ : state) {
    buffer.clear();
    d.array.Save(&buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSaved} * 4);
}
// Reloading into one array, as a client refreshing its data does: the block is reused. The
// array is loaded once before the timing starts, as the peer's destination is allocated and
// touched before it: otherwise the first pass of every run pays the fresh block's page faults
// (about 40 times the copy itself here), which BM_LoadFreshOurs measures on its own.
void BM_LoadOurs(benchmark::State& state) {
  auto& d = Saves();
  TArray<std::uint32_t> a;
  unsigned int first = 0;
  if (!a.Load(&d.record, &first, kSaved)) state.SkipWithError("the record did not load");
  for (auto _ : state) {
    unsigned int offset = 0;
    a.Load(&d.record, &offset, kSaved);
    benchmark::DoNotOptimize(a.Data());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSaved} * 4);
}
// Loading into a new array each time: the cost is the fresh block's first touch.
void BM_LoadFreshOurs(benchmark::State& state) {
  auto& d = Saves();
  for (auto _ : state) {
    TArray<std::uint32_t> a;
    unsigned int offset = 0;
    a.Load(&d.record, &offset, kSaved);
    benchmark::DoNotOptimize(a.Data());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSaved} * 4);
}
void BM_Memcpy(benchmark::State& state) {
  auto& d = Saves();
  std::vector<std::uint8_t> to(d.record.size());
  for (auto _ : state) {
    std::memcpy(to.data(), d.record.data() + 4, std::size_t{kSaved} * 4);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSaved} * 4);
}
// A fresh block per copy, as Load allocates the array's block each time.
void BM_MallocMemcpy(benchmark::State& state) {
  auto& d = Saves();
  for (auto _ : state) {
    void* to = std::malloc(std::size_t{kSaved} * 4);
    std::memcpy(to, d.record.data() + 4, std::size_t{kSaved} * 4);
    benchmark::DoNotOptimize(to);
    std::free(to);
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSaved} * 4);
}

BENCHMARK(BM_SearchOurs);
BENCHMARK(BM_SearchStd);
BENCHMARK(BM_SearchGrOrEqOurs);
BENCHMARK(BM_SearchGrOrEqStd);
BENCHMARK(BM_SearchGrOrEqCallerComparator);
BENCHMARK(BM_SearchLeOrEqOurs);
BENCHMARK(BM_SearchLeOrEqStd);
BENCHMARK(BM_OrderedInsertOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderedInsertStdVector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFreshOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MallocMemcpy)->Unit(benchmark::kMillisecond);

const bool registered = [] {
  using kelvane::bench::Ratio;
  Ratio("Search (1M uint32) vs std::lower_bound", "BM_SearchOurs", "BM_SearchStd", "<= 1.2");
  Ratio("SearchGrOrEq vs std::lower_bound", "BM_SearchGrOrEqOurs", "BM_SearchGrOrEqStd", "<= 1.2");
  Ratio("SearchGrOrEq, caller's comparator, vs std", "BM_SearchGrOrEqCallerComparator",
        "BM_SearchGrOrEqStd", "report");
  Ratio("SearchLeOrEq vs std::upper_bound", "BM_SearchLeOrEqOurs", "BM_SearchLeOrEqStd", "<= 1.2");
  Ratio("ordered Insert (100k) vs vector+lower_bound", "BM_OrderedInsertOurs",
        "BM_OrderedInsertStdVector", "report");
  Ratio("ordered Insert (100k) vs flat_multiset", "BM_OrderedInsertOurs", "BM_OrderedInsertFlatSet",
        "report");
  Ratio("Save (10M x 4 bytes) vs memcpy", "BM_SaveOurs", "BM_Memcpy", "throughput >= 0.8");
  Ratio("Load (10M x 4 bytes) vs memcpy", "BM_LoadOurs", "BM_Memcpy", "throughput >= 0.8");
  Ratio("Load into a new array vs malloc+memcpy", "BM_LoadFreshOurs", "BM_MallocMemcpy", "report");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
