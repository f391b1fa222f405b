// SPDX-License-Identifier: Apache-2.0
// Writing binary property lists: the keyed archives' own writer against the engine's, over the
// same tree of a keyed archive's shape (records of a class, a key and a value each).
#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bench/ratio.h"
#include "kelvane/platform/archive/internal/binary_plist_writer.h"
#include "kelvane/platform/archive/internal/keyed_coder_support.h"

namespace {

using kelvane::platform::internal::PlistPtr;

// `records` dictionaries of a keyed archive's "$objects": a class reference, a number and a text.
PlistPtr ArchiveTree(int records) {
  PlistPtr top(plist_new_dict());
  plist_t objects = plist_new_array();
  plist_dict_set_item(top.get(), "$objects", objects);
  for (int i = 0; i < records; ++i) {
    plist_t record = plist_new_dict();
    plist_dict_set_item(record, "$class", plist_new_uid(1));
    plist_dict_set_item(record, "ticket", plist_new_uint(static_cast<std::uint64_t>(i) * 7919));
    plist_dict_set_item(record, "symbol",
                        plist_new_string(("EURUSD." + std::to_string(i)).c_str()));
    plist_array_append_item(objects, record);
  }
  return top;
}

void BM_WriteArchiveOurs(benchmark::State& state) {
  const PlistPtr tree = ArchiveTree(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto bytes = kelvane::platform::internal::WriteBinaryPropertyList(tree.get());
    benchmark::DoNotOptimize(bytes);
  }
}

void BM_WriteArchiveEngine(benchmark::State& state) {
  const PlistPtr tree = ArchiveTree(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(tree.get(), &bytes, &length);
    benchmark::DoNotOptimize(bytes);
    plist_to_bin_free(bytes);
  }
}

BENCHMARK(BM_WriteArchiveOurs)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteArchiveEngine)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  using kelvane::bench::Ratio;
  Ratio("Binary property list, 1,000 records, vs libplist", "BM_WriteArchiveOurs/1000",
        "BM_WriteArchiveEngine/1000", "<= 1.5");
  Ratio("Binary property list, 50,000 records, vs libplist", "BM_WriteArchiveOurs/50000",
        "BM_WriteArchiveEngine/50000", "<= 0.5");
  return kelvane::bench::Main(argc, argv);
}
