// SPDX-License-Identifier: Apache-2.0
// MD5 of a buffer and of a file, UTF-8 copies of mixed text, parameter lookups and hex text,
// each measured beside the engine a careful caller would otherwise use directly.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/platform/i18n/charset.h"
#include "kelvane/text/buffer_copy.h"
#include "kelvane/text/hash.h"
#include "kelvane/text/param_string.h"

namespace {

constexpr std::size_t kBufferBytes = 64u << 20;
constexpr std::size_t kFileBytes = 256u << 20;

const std::vector<unsigned char>& Buffer() {
  static const std::vector<unsigned char> buffer = [] {
    std::vector<unsigned char> b(kBufferBytes);
    std::uint32_t x = 12345;
    for (auto& byte : b) {
      x = x * 1664525 + 1013904223;
      byte = static_cast<unsigned char>(x >> 24);
    }
    return b;
  }();
  return buffer;
}

// The 256 MiB file, written once under /tmp and removed when the program ends.
class BigFile {
 public:
  BigFile() {
    char name[] = "/tmp/kelvane-hash-bench-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) std::abort();
    path_ = name;
    const auto& chunk = Buffer();
    for (std::size_t written = 0; written < kFileBytes; written += chunk.size()) {
      if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
        std::abort();
      }
    }
    ::close(fd);
  }
  ~BigFile() { ::unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const BigFile& File() {
  static const BigFile file;
  return file;
}

void BM_Md5BufferOurs(benchmark::State& state) {
  const auto& b = Buffer();
  unsigned char digest[16];
  for (auto _ : state) {
    kelvane::CHashMD5 md5;
    md5.Update(b.data(), static_cast<unsigned int>(b.size()));
    md5.Final(digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.size()));
}
BENCHMARK(BM_Md5BufferOurs)->Unit(benchmark::kMillisecond);

void BM_Md5BufferOpenSSL(benchmark::State& state) {
  const auto& b = Buffer();
  unsigned char digest[16];
  unsigned int length = 0;
  for (auto _ : state) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_md5(), nullptr);
    EVP_DigestUpdate(context, b.data(), b.size());
    EVP_DigestFinal_ex(context, digest, &length);
    EVP_MD_CTX_free(context);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.size()));
}
BENCHMARK(BM_Md5BufferOpenSSL)->Unit(benchmark::kMillisecond);

void BM_Md5FileOurs(benchmark::State& state) {
  const std::string& path = File().path();
  const kelvane::String wide(path.begin(), path.end());
  unsigned char digest[16];
  for (auto _ : state) {
    kelvane::CHashMD5 md5;
    if (!kelvane::CHash::HashFile(md5, wide)) state.SkipWithError("HashFile failed");
    md5.Final(digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_Md5FileOurs)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer reads the file as HashFile must (4096-byte chunks) and, as a second reference, in
// 64 KiB chunks, which shows what the chunk size itself costs.
void Md5FileOpenSSL(benchmark::State& state, std::size_t chunk) {
  const std::string& path = File().path();
  std::vector<unsigned char> buffer(chunk);
  unsigned char digest[16];
  unsigned int length = 0;
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_md5(), nullptr);
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
      EVP_DigestUpdate(context, buffer.data(), static_cast<std::size_t>(n));
    }
    EVP_DigestFinal_ex(context, digest, &length);
    EVP_MD_CTX_free(context);
    ::close(fd);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}
void BM_Md5FileOpenSSL4K(benchmark::State& state) { Md5FileOpenSSL(state, 4096); }
void BM_Md5FileOpenSSL64K(benchmark::State& state) { Md5FileOpenSSL(state, 65536); }
BENCHMARK(BM_Md5FileOpenSSL4K)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Md5FileOpenSSL64K)->Unit(benchmark::kMillisecond)->UseRealTime();

// About 10 MB of UTF-16: mostly ASCII words, some Cyrillic and CJK ones, as in chat and news.
const kelvane::String& MixedText() {
  static const kelvane::String text = [] {
    const kelvane::String words[] = {u"order ",
                                     u"price ",
                                     u"volume ",
                                     u"EURUSD ",
                                     u"1.0842 ",
                                     u"buy ",
                                     u"\u0446\u0435\u043D\u0430 ",
                                     u"sell ",
                                     u"limit ",
                                     u"\u4EF7\u683C\u8BA2\u5355 ",
                                     u"stop ",
                                     u"\u0441\u0434\u0435\u043B\u043A\u0430 "};
    kelvane::String t;
    t.reserve(5u << 20);
    std::uint32_t x = 7;
    while (t.size() < (5u << 20)) {
      x = x * 1664525 + 1013904223;
      t += words[(x >> 16) % 12];
    }
    return t;
  }();
  return text;
}

void BM_Utf8Ours(benchmark::State& state) {
  const kelvane::String& text = MixedText();
  std::vector<char> out(text.size() * 3 + 1);
  for (auto _ : state) {
    kelvane::NSTools::CopyToStr(text, out.data(), static_cast<unsigned int>(out.size()));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_Utf8Ours)->Unit(benchmark::kMicrosecond);

void BM_Utf8Icu(benchmark::State& state) {
  const kelvane::String& text = MixedText();
  std::vector<char> out(text.size() * 3 + 1);
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("u_strToUTF8 failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_Utf8Icu)->Unit(benchmark::kMicrosecond);

// A 300-character server line with the wanted key near its end.
const kelvane::String& ParameterLine() {
  static const kelvane::String line = [] {
    kelvane::String l;
    for (int i = 0; l.size() < 270; ++i) {
      const std::string field =
          "field" + std::to_string(i) + "=value" + std::to_string(i * 7) + "|";
      l.append(field.begin(), field.end());
    }
    l += u"ratio=1.5|";
    while (l.size() < 300) l += u'x';
    return l;
  }();
  return line;
}

void BM_FindValue300(benchmark::State& state) {
  const kelvane::String& line = ParameterLine();
  const kelvane::platform::CharacterSet stop =
      kelvane::platform::CharacterSet::FromCharacters(u"|");
  for (auto _ : state) {
    auto value = kelvane::NSTools::FindValue(line, u"ratio=", &stop);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_FindValue300);

void BM_ReadParamDouble300(benchmark::State& state) {
  const kelvane::String& line = ParameterLine();
  const kelvane::platform::CharacterSet stop =
      kelvane::platform::CharacterSet::FromCharacters(u"|");
  double ratio = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kelvane::NSTools::ReadParam(line, u"ratio=", &stop, &ratio));
  }
}
BENCHMARK(BM_ReadParamDouble300);

void BM_FromHash16(benchmark::State& state) {
  const char digest[16] = {'\x01', '\x23', '\x45', '\x67', '\x89', '\xAB', '\xCD', '\xEF',
                           '\xFE', '\xDC', '\xBA', '\x98', '\x76', '\x54', '\x32', '\x10'};
  kelvane::String text;
  for (auto _ : state) {
    kelvane::NSTools::FromHash(text, digest, 16);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_FromHash16);

const int kRatios = [] {
  using kelvane::bench::Ratio;
  Ratio("CHashMD5, 64 MiB buffer vs EVP MD5", "BM_Md5BufferOurs", "BM_Md5BufferOpenSSL",
        "throughput >= 0.95");
  Ratio("CHash::HashFile, 256 MiB vs EVP MD5 (4 KiB reads)", "BM_Md5FileOurs/real_time",
        "BM_Md5FileOpenSSL4K/real_time", "throughput >= 0.95");
  Ratio("CHash::HashFile, 256 MiB vs EVP MD5 (64 KiB reads)", "BM_Md5FileOurs/real_time",
        "BM_Md5FileOpenSSL64K/real_time", "for information");
  Ratio("CopyToStr UTF-8, 10 MB mixed vs u_strToUTF8", "BM_Utf8Ours", "BM_Utf8Icu",
        "throughput >= 1.0");
  return 0;
}();

}  // namespace

KELVANE_BENCH_MAIN()
