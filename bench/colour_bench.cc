// SPDX-License-Identifier: Apache-2.0
// ColorForRGB on a hit, against the cache a careful caller would write by hand: a std::mutex
// over a std::map from packed key to the same colour objects. One thread, then two threads
// asking for the same keys at once.
//
// Both sides hand out a shared reference, and the standard library counts references without
// atomic instructions while a process has never started a second thread. The setup starts one
// before anything is measured, so that the one-thread runs of both sides count the same way
// (as in any application with a worker thread); otherwise whichever side runs before the first
// two-thread benchmark is measured with the cheap counting and the other with the atomic one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/colours/color_cache.h"
#include "kelvane/colours/internal/color_cache_contents.h"

namespace {

using kelvane::ColorRef;

constexpr std::uint32_t kKeys = 256;  // a full cache

// The RGB values asked for, in a scattered order so that neither side walks its storage.
const std::vector<std::uint32_t>& Requests() {
  static const std::vector<std::uint32_t> requests = [] {
    std::vector<std::uint32_t> r;
    for (std::uint32_t i = 0; i < 4096; ++i) r.push_back(((i * 167) % kKeys) * 0x010203u);
    return r;
  }();
  return requests;
}

// Fills our cache with the 256 keys and builds the peer's map over the very same objects.
class PeerCache {
 public:
  PeerCache() {
    std::thread([] {}).join();  // from here on, references are counted atomically on both sides
    kelvane::internal::ColorCacheClear();
    for (std::uint32_t i = 0; i < kKeys; ++i) {
      const std::uint32_t rgb = i * 0x010203u;
      map_[(rgb & 0xFFFFFFu) | 0xFF000000u] = kelvane::Create::ColorForRGB(rgb);
    }
  }

  ColorRef Get(std::uint32_t rgb, double alpha) {
    // The same key as ours, so both sides do the same arithmetic before the lookup.
    const double a = alpha * 255.0;
    const std::uint32_t byte = a > 0.0 ? static_cast<std::uint32_t>(a) & 0xFF : 0;
    const std::uint32_t key = (rgb & 0xFFFFFFu) | (byte << 24);
    std::lock_guard lock(mutex_);
    const auto it = map_.find(key);
    return it == map_.end() ? nullptr : it->second;
  }

 private:
  std::mutex mutex_;
  std::map<std::uint32_t, ColorRef> map_;
};

PeerCache& Peer() {
  static PeerCache peer;
  return peer;
}

void BM_HitOurs(benchmark::State& state) {
  Peer();  // our cache is filled by the same setup
  const auto& requests = Requests();
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 1000;
  for (auto _ : state) {
    ColorRef c = kelvane::Create::ColorForRGB(requests[i++ % requests.size()]);
    benchmark::DoNotOptimize(c);
  }
}
BENCHMARK(BM_HitOurs)->Threads(1)->Threads(2)->UseRealTime();

void BM_HitPeer(benchmark::State& state) {
  PeerCache& peer = Peer();
  const auto& requests = Requests();
  std::size_t i = static_cast<std::size_t>(state.thread_index()) * 1000;
  for (auto _ : state) {
    ColorRef c = peer.Get(requests[i++ % requests.size()], 1.0);
    benchmark::DoNotOptimize(c);
  }
}
BENCHMARK(BM_HitPeer)->Threads(1)->Threads(2)->UseRealTime();

const bool registered = [] {
  kelvane::bench::Ratio("ColorForRGB hit, 1 thread", "BM_HitOurs/real_time/threads:1",
                        "BM_HitPeer/real_time/threads:1", "<= 1.0");
  kelvane::bench::Ratio("ColorForRGB hit, 2 threads on the same keys",
                        "BM_HitOurs/real_time/threads:2", "BM_HitPeer/real_time/threads:2",
                        "reported");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
