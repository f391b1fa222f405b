// SPDX-License-Identifier: Apache-2.0
// Wide-string conversions and case-insensitive sorting, against ICU doing the same work.
//
//   UTF32String        String -> UTF-32 over 10 MiB of mixed text, vs u_strToUTF32
//   initWithLWString   UTF-32 -> String over the same text, vs u_strFromUTF32
//   CompareNoCase      std::sort of 200,000 short WStrings, vs u_strCaseCompare as comparator,
//                      and vs u_strCaseCompare after copying both texts into strings the thread
//                      keeps, as the contract has CompareNoCase do
//
// The text is ASCII-heavy with Cyrillic and CJK words mixed in. ICU writes into buffers that
// are allocated once; ours includes whatever allocation its contract needs (initWithLWString
// returns a new String every time).
#include <benchmark/benchmark.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/runtime/scratch_environment.h"
#include "kelvane/text/wide_string.h"

// Counts heap allocations, so that the sort can report allocations per comparison.
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using kelvane::String;

const std::u16string_view kAsciiWords[] = {u"order",  u"price",  u"volume", u"EURUSD", u"bid",
                                           u"ask",    u"stop",   u"limit",  u"Market", u"closed",
                                           u"margin", u"1.0842", u"swap",   u"Account"};
const std::u16string_view kCyrillicWords[] = {u"ордер", u"цена", u"Объём", u"Счёт", u"закрыт"};
const std::u16string_view kCjkWords[] = {u"注文", u"価格", u"東京市場", u"账户", u"保证金"};

// About 70% ASCII words, 20% Cyrillic, 10% CJK, separated by spaces.
String MixedText(std::size_t units) {
  std::mt19937 random(42);
  String text;
  text.reserve(units + 16);
  while (text.size() < units) {
    const unsigned pick = random() % 10;
    if (pick < 7) {
      text += kAsciiWords[random() % std::size(kAsciiWords)];
    } else if (pick < 9) {
      text += kCyrillicWords[random() % std::size(kCyrillicWords)];
    } else {
      text += kCjkWords[random() % std::size(kCjkWords)];
    }
    text += u' ';
  }
  text.resize(units);
  return text;
}

const String& TenMiB() {
  static const String text = MixedText(std::size_t{5} << 20);  // 5 Mi units = 10 MiB
  return text;
}

const std::vector<wchar_t>& TenMiBUtf32() {
  static const std::vector<wchar_t> units = [] {
    const String& text = TenMiB();
    return std::vector<wchar_t>(text.begin(), text.end());  // BMP only: one unit each
  }();
  return units;
}

void BM_UTF32String_Ours(benchmark::State& state) {
  const String& text = TenMiB();
  for (auto _ : state) {
    const wchar_t* units = kelvane::NSTools::UTF32String(text);
    if (units == nullptr) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(units);
  }
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(char16_t));
}

void BM_UTF32String_ICU(benchmark::State& state) {
  const String& text = TenMiB();
  std::vector<UChar32> out(text.size() + 1);
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF32(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                 static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(char16_t));
}

void BM_LWString_Ours(benchmark::State& state) {
  const std::vector<wchar_t>& units = TenMiBUtf32();
  for (auto _ : state) {
    std::optional<String> text =
        kelvane::NSTools::initWithLWString(units.data(), static_cast<unsigned int>(units.size()));
    if (!text) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(text->data());
  }
  state.SetBytesProcessed(state.iterations() * units.size() * sizeof(char16_t));
}

void BM_LWString_ICU(benchmark::State& state) {
  const std::vector<wchar_t>& units = TenMiBUtf32();
  std::vector<UChar> out(units.size() * 2 + 1);
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF32(out.data(), static_cast<int32_t>(out.size()), &length,
                   reinterpret_cast<const UChar32*>(units.data()),
                   static_cast<int32_t>(units.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * units.size() * sizeof(char16_t));
}

// 200,000 words of 3..12 characters, mixed case, a fifth of them Cyrillic.
const std::vector<String>& ShortWords() {
  static const std::vector<String> words = [] {
    std::mt19937 random(7);
    std::vector<String> out;
    out.reserve(200000);
    const std::u16string_view latin = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::u16string_view cyrillic = u"абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЁЖЗИЙКЛМНОПРСТ";
    for (int i = 0; i < 200000; ++i) {
      const std::u16string_view alphabet = (random() % 5 == 0) ? cyrillic : latin;
      String word;
      for (unsigned n = 3 + random() % 10; n > 0; --n) word += alphabet[random() % alphabet.size()];
      out.push_back(std::move(word));
    }
    return out;
  }();
  return words;
}

template <typename Less>
void SortWords(benchmark::State& state, Less less) {
  std::vector<const unsigned short*> pointers;
  for (const String& word : ShortWords()) pointers.push_back(kelvane::NSTools::UTF16String(word));
  std::vector<const unsigned short*> work;
  work.reserve(pointers.size());
  long comparisons = 0;
  long allocations = 0;
  for (auto _ : state) {
    work.assign(pointers.begin(), pointers.end());
    const long before = g_allocations.load(std::memory_order_relaxed);
    std::sort(work.begin(), work.end(), [&](const unsigned short* a, const unsigned short* b) {
      ++comparisons;
      return less(a, b);
    });
    allocations += g_allocations.load(std::memory_order_relaxed) - before;
    benchmark::DoNotOptimize(work.data());
  }
  state.counters["allocs_per_compare"] =
      comparisons == 0 ? 0.0 : static_cast<double>(allocations) / comparisons;
}

void BM_SortNoCase_Ours(benchmark::State& state) {
  kelvane::NSTools::SetEnviromentString(2);
  SortWords(state, [](const unsigned short* a, const unsigned short* b) {
    return kelvane::NSTools::CompareNoCase(a, b) < 0;
  });
}

void BM_SortNoCase_ICU(benchmark::State& state) {
  SortWords(state, [](const unsigned short* a, const unsigned short* b) {
    UErrorCode status = U_ZERO_ERROR;
    return u_strCaseCompare(reinterpret_cast<const UChar*>(a), -1,
                            reinterpret_cast<const UChar*>(b), -1, U_FOLD_CASE_DEFAULT,
                            &status) < 0;
  });
}

// ICU's compare after the two copies the contract asks for (each text into a string the thread
// keeps): what is left between this and ours is our own overhead, the rest is the copies.
void BM_SortNoCase_ICUAfterCopies(benchmark::State& state) {
  thread_local String first, second;
  SortWords(state, [](const unsigned short* a, const unsigned short* b) {
    first.assign(reinterpret_cast<const char16_t*>(a));
    second.assign(reinterpret_cast<const char16_t*>(b));
    UErrorCode status = U_ZERO_ERROR;
    return u_strCaseCompare(first.data(), static_cast<int32_t>(first.size()), second.data(),
                            static_cast<int32_t>(second.size()), U_FOLD_CASE_DEFAULT, &status) < 0;
  });
}

// One pair compared again and again: the cost of the comparison itself, without the cache
// misses of a sort.
void BM_CompareNoCasePair_Ours(benchmark::State& state) {
  kelvane::NSTools::SetEnviromentString(2);
  const String a = u"Margin", b = u"MARGINcall";
  for (auto _ : state) {
    benchmark::DoNotOptimize(kelvane::NSTools::CompareNoCase(kelvane::NSTools::UTF16String(a),
                                                             kelvane::NSTools::UTF16String(b)));
  }
}

void BM_CompareNoCasePair_ICU(benchmark::State& state) {
  const String a = u"Margin", b = u"MARGINcall";
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    benchmark::DoNotOptimize(
        u_strCaseCompare(a.c_str(), -1, b.c_str(), -1, U_FOLD_CASE_DEFAULT, &status));
  }
}

BENCHMARK(BM_CompareNoCasePair_Ours);
BENCHMARK(BM_CompareNoCasePair_ICU);
BENCHMARK(BM_UTF32String_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UTF32String_ICU)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LWString_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LWString_ICU)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNoCase_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNoCase_ICU)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNoCase_ICUAfterCopies)->Unit(benchmark::kMillisecond);

const bool kRatios = [] {
  kelvane::bench::Ratio("UTF32String, 10 MiB mixed text", "BM_UTF32String_Ours",
                        "BM_UTF32String_ICU", "ours/ICU <= 1.0");
  kelvane::bench::Ratio("initWithLWString:length:, 10 MiB mixed text", "BM_LWString_Ours",
                        "BM_LWString_ICU", "ours/ICU <= 1.0");
  kelvane::bench::Ratio("sort 200,000 WStrings, CompareNoCase", "BM_SortNoCase_Ours",
                        "BM_SortNoCase_ICU", "ours/ICU <= 1.3");
  kelvane::bench::Ratio("the same sort, ours against ICU after the contract's two copies",
                        "BM_SortNoCase_Ours", "BM_SortNoCase_ICUAfterCopies", "(reported)");
  kelvane::bench::Ratio("CompareNoCase, one pair, cache hot", "BM_CompareNoCasePair_Ours",
                        "BM_CompareNoCasePair_ICU", "(reported)");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
