// SPDX-License-Identifier: Apache-2.0
// A localised lookup per call, localizedInBundle of a bundle already in the cache, against a
// std::unordered_map find over the very same entries (one table of 2,000 keys). Both sides hand
// back a copy of the text, as a caller gets it.
//
// The bundle is written into a scratch folder and found along KELVANE_BUNDLE_PATH. A thread is
// started and joined before anything is measured, so that reference counts are atomic from the
// start, as in any application with a worker thread.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/text/localization.h"

namespace {

using kelvane::String;

constexpr int kKeys = 2000;
constexpr std::u16string_view kIdentifier = u"org.kelvane.bench";

String Key(int i) {
  const std::string text = "order.ticket." + std::to_string(i);
  return String(text.begin(), text.end());
}

String Value(int i) {
  const std::string text = "Auftragsschein Nummer " + std::to_string(i);
  return String(text.begin(), text.end());
}

struct Setup {
  Setup() {
    std::thread([] {}).join();
    folder = std::filesystem::temp_directory_path() /
             ("kelvane-strings-bench-" + std::to_string(::getpid()));
    const auto bundle = folder / "Bench.bundle";
    std::filesystem::create_directories(bundle / "de.lproj");
    std::ofstream(bundle / "Info.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
           "<string>org.kelvane.bench</string></dict></plist>";
    std::ofstream table(bundle / "de.lproj" / "Localizable.strings");
    for (int i = 0; i < kKeys; ++i) {
      const String key = Key(i), value = Value(i);
      table << '"' << std::string(key.begin(), key.end()) << "\" = \""
            << std::string(value.begin(), value.end()) << "\";\n";
      peer.emplace(key, value);
      keys.push_back(key);
    }
    table.close();
    ::setenv("KELVANE_BUNDLE_PATH", folder.c_str(), 1);
    kelvane::platform::SetDeviceOverrides({.preferred_languages = std::vector<std::string>{"de"}});
    // Scattered order, so that neither side walks its storage.
    for (int i = 0; i < 4096; ++i) order.push_back((i * 787) % kKeys);
  }
  ~Setup() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  std::filesystem::path folder;
  std::unordered_map<String, String> peer;
  std::vector<String> keys;
  std::vector<int> order;
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

void BM_LocalizedInBundle(benchmark::State& state) {
  Setup& setup = TheSetup();
  if (kelvane::NSTools::localizedInBundle(setup.keys[1], kIdentifier, {}, {}) != Value(1)) {
    state.SkipWithError("the bench bundle was not found");
    return;
  }
  std::size_t i = 0;
  for (auto _ : state) {
    String text = kelvane::NSTools::localizedInBundle(
        setup.keys[setup.order[i++ % setup.order.size()]], kIdentifier, std::nullopt, std::nullopt);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_LocalizedInBundle);

void BM_UnorderedMapFind(benchmark::State& state) {
  Setup& setup = TheSetup();
  std::size_t i = 0;
  for (auto _ : state) {
    const String& key = setup.keys[setup.order[i++ % setup.order.size()]];
    const auto it = setup.peer.find(key);
    String text = it != setup.peer.end() ? it->second : key;
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_UnorderedMapFind);

const bool registered = [] {
  kelvane::bench::Ratio("localizedInBundle of a cached bundle vs unordered_map find",
                        "BM_LocalizedInBundle", "BM_UnorderedMapFind", "<= 2.0");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
