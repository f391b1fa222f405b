// SPDX-License-Identifier: Apache-2.0
// Form encoding and MIME types of file names.
//
//   URLEncoded     1 MB (of UTF-8) mixed text, vs libcurl's curl_easy_escape on the same text.
//                  Ours reads the UTF-16 String and writes a String (its contract); curl reads
//                  the UTF-8 bytes and writes bytes. Both escape every byte outside the unreserved
//                  set (curl writes "%20" for a space where ours writes '+').
//   MimeFromPath   100,000 file paths with a mix of common, upper-case, unknown and missing
//                  extensions, reported in ns per call. The peer is a plain std::unordered_map
//                  from lower-cased UTF-8 extension to MIME type over the same paths, to show what
//                  the String results and the database's general lookups cost.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/locale/uti.h"
#include "kelvane/platform/i18n/unicode.h"
#include "kelvane/text/url_tools.h"

#if defined(KELVANE_HAVE_CURL)
#include <curl/curl.h>
#endif

namespace {

using kelvane::String;

const std::u16string_view kWords[] = {
    u"order", u"price=1.0842", u"EURUSD", u"stop&limit", u"Market", u"a/b?c", u"100%",
    u"ордер", u"цена",         u"注文",   u"東京市場",   u"café",   u"naïve", u"\U0001F4C8"};

// About 1 MB of UTF-8: words of several scripts, separated by spaces.
const String& MixedText() {
  static const String text = [] {
    std::mt19937 random(11);
    String out;
    std::string utf8;
    while (true) {
      out += kWords[random() % std::size(kWords)];
      out += u' ';
      if (out.size() % 64 == 0) {
        if (!kelvane::platform::Utf16ToUtf8(out, utf8)) break;
        if (utf8.size() >= 1000000) break;
      }
    }
    return out;
  }();
  return text;
}

const std::string& MixedTextUtf8() {
  static const std::string utf8 = [] {
    std::string bytes;
    (void)kelvane::platform::Utf16ToUtf8(MixedText(), bytes);
    return bytes;
  }();
  return utf8;
}

void BM_URLEncoded_Ours(benchmark::State& state) {
  const String& text = MixedText();
  for (auto _ : state) {
    std::optional<String> encoded = kelvane::NSTools::URLEncoded(text);
    benchmark::DoNotOptimize(encoded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(MixedTextUtf8().size()));
}
BENCHMARK(BM_URLEncoded_Ours)->Unit(benchmark::kMillisecond);

#if defined(KELVANE_HAVE_CURL)
void BM_URLEncoded_Curl(benchmark::State& state) {
  const std::string& bytes = MixedTextUtf8();
  CURL* curl = curl_easy_init();
  for (auto _ : state) {
    char* encoded = curl_easy_escape(curl, bytes.data(), static_cast<int>(bytes.size()));
    benchmark::DoNotOptimize(encoded);
    curl_free(encoded);
  }
  curl_easy_cleanup(curl);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_URLEncoded_Curl)->Unit(benchmark::kMillisecond);
#endif

constexpr std::size_t kPaths = 100000;

const std::vector<String>& Paths() {
  static const std::vector<String> paths = [] {
    const std::u16string_view names[] = {
        u"report.pdf",      u"IMG_0042.JPG", u"statement.xlsx", u"notes.txt",        u"movie.mp4",
        u"/tmp/archive.7z", u"song.mp3",     u"backup.tar.gz",  u"photo.heic",       u"README",
        u"data.json",       u"page.html",    u"chart.png",      u"x/y/unknown.qqzz", u"slides.pptx",
        u"clip.MOV",        u"doc.docx",     u"trace.log",      u"font.woff2",       u"image.webp"};
    std::mt19937 random(5);
    std::vector<String> out;
    out.reserve(kPaths);
    for (std::size_t i = 0; i < kPaths; ++i) {
      out.emplace_back(u"/home/trader/files/" + String(names[random() % std::size(names)]));
    }
    return out;
  }();
  return paths;
}

// Seconds per path, scaled so that the inverted rate reads as nanoseconds per call.
void SetNsPerCall(benchmark::State& state) {
  state.counters["ns_per_call"] = benchmark::Counter(
      static_cast<double>(kPaths) / 1e9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MimeFromPath_Ours(benchmark::State& state) {
  const std::vector<String>& paths = Paths();
  (void)kelvane::UTIType::MimeFromPath(u"warm.up");  // the database is built outside the timing
  for (auto _ : state) {
    for (const String& path : paths) {
      String mime = kelvane::UTIType::MimeFromPath(path);
      benchmark::DoNotOptimize(mime);
    }
  }
  SetNsPerCall(state);
}
BENCHMARK(BM_MimeFromPath_Ours)->Unit(benchmark::kMillisecond);

void BM_MimeFromPath_Map(benchmark::State& state) {
  static const std::unordered_map<std::string, std::string> map = {
      {"pdf", "application/pdf"},
      {"jpg", "image/jpeg"},
      {"txt", "text/plain"},
      {"mp4", "video/mp4"},
      {"7z", "application/x-7z-compressed"},
      {"mp3", "audio/mpeg"},
      {"gz", "application/gzip"},
      {"heic", "image/heic"},
      {"json", "application/json"},
      {"html", "text/html"},
      {"png", "image/png"},
      {"mov", "video/quicktime"},
      {"log", "text/x-log"},
      {"woff2", "font/woff2"},
      {"webp", "image/webp"},
      {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
      {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"}};
  std::vector<std::string> paths;
  for (const String& path : Paths()) paths.emplace_back(path.begin(), path.end());  // ASCII
  for (auto _ : state) {
    for (const std::string& path : paths) {
      const std::size_t slash = path.rfind('/');
      const std::size_t dot = path.rfind('.');
      std::string extension;
      if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        extension = path.substr(dot + 1);
        for (char& c : extension)
          c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
      const auto it = map.find(extension);
      std::string mime = it == map.end() ? "application/octet-stream" : it->second;
      benchmark::DoNotOptimize(mime);
    }
  }
  SetNsPerCall(state);
}
BENCHMARK(BM_MimeFromPath_Map)->Unit(benchmark::kMillisecond);

const bool kRatios = [] {
#if defined(KELVANE_HAVE_CURL)
  kelvane::bench::Ratio("URLEncoded, 1 MB mixed text", "BM_URLEncoded_Ours", "BM_URLEncoded_Curl",
                        "<= 1.0 (throughput >= curl_easy_escape)");
#endif
  kelvane::bench::Ratio("MimeFromPath, 100,000 paths", "BM_MimeFromPath_Ours",
                        "BM_MimeFromPath_Map", "report (ns per call)");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
