// SPDX-License-Identifier: Apache-2.0
// `kelvane records dump`: the array records stored one after another in a file.
// Demo step: an ordered array of price ticks, saved, loaded, searched and compared.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include "kelvane/containers/file_tools.h"
#include "kelvane/containers/storage.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

struct DumpOptions {
  std::string file;
  unsigned int item_size = 0;
  unsigned int max = std::numeric_limits<unsigned int>::max();
};

int RunDump(const DumpOptions& o) {
  platform::Result<platform::FileHandle> opened = platform::FileHandle::OpenRegular(o.file);
  if (!opened) throw Failure(o.file + ": " + Reason(opened.error().message));
  platform::FileHandle& file = *opened;
  const std::uint64_t size = NSTools::FileSize(file);
  CArrayBase items(o.item_size);
  for (unsigned int record = 0; !NSTools::IsEOF(file); ++record) {
    const std::uint64_t at = file.Offset();
    const platform::Result<std::uint32_t> read = items.TryRead(file, o.max);
    if (!read) {
      throw Failure(o.file + ": record " + std::to_string(record) + " at offset " +
                    std::to_string(at) + ": " + Reason(read.error().message));
    }
    const std::uint32_t count = *read;
    const std::uint64_t end = at + 4 + std::uint64_t{count} * o.item_size;
    // Items skipped past --max are not read, so a file cut inside them is found here: refused
    // as a read of every item refuses it.
    if (end > size) {
      const std::uint64_t whole = (size - at - 4) / o.item_size;
      throw Failure(o.file + ": record " + std::to_string(record) + " at offset " +
                    std::to_string(at) + ": cut short: the file ends inside item " +
                    std::to_string(whole + 1) + " of " + std::to_string(count));
    }
    std::cout << "record " << record << " at offset " << at << ": " << count << " item"
              << (count == 1 ? "" : "s") << " of " << o.item_size << " bytes\n";
    for (unsigned int i = 0; i < items.Count(); ++i) {
      std::cout << "  [" << i << "] " << HexBytes(items.Item(i), o.item_size, 1u << 24) << '\n';
    }
    if (items.Count() < count) std::cout << "  ... " << count - items.Count() << " more\n";
  }
  return 0;
}

// A price tick as a trading core keeps it: fixed size, no pointers, ordered by time.
struct PriceTick {
  std::uint32_t time;  // seconds since midnight, the leading field the comparator reads
  char symbol[12];
  double bid;
  double ask;
};

std::string Clock(std::uint32_t t) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02u:%02u:%02u", t / 3600, t / 60 % 60, t % 60);
  return text;
}

std::string Describe(const void* item) {
  if (item == nullptr) return "none";
  PriceTick tick;
  std::memcpy(&tick, item, sizeof(tick));
  char text[96];
  std::snprintf(text, sizeof(text), "%s %s bid %.5f ask %.5f", Clock(tick.time).c_str(),
                tick.symbol, tick.bid, tick.ask);
  return text;
}

PriceTick Tick(std::uint32_t time, double bid) { return {time, "EURUSD", bid, bid + 0.00012}; }

}  // namespace

int DemoRecords(DemoContext& context) {
  std::ostream& out = context.out;
  const std::uint32_t open = 10 * 3600;
  TArray<PriceTick> ticks;
  // Ticks arrive out of order; the ordered insert keeps the array sorted by time.
  for (std::uint32_t second : {20u, 0u, 35u, 10u, 50u, 5u, 40u, 30u}) {
    const PriceTick tick = Tick(open + second, 1.0840 + second * 0.00001);
    if (ticks.Insert(&tick, ComparatorUInt32, true) == nullptr)
      return Fail("records: out of memory");
  }
  out << "Built an ordered array of " << ticks.Count() << " price ticks (" << sizeof(PriceTick)
      << " bytes each) by ordered insertion: " << Clock(ticks.At(0)->time) << " .. "
      << Clock(ticks.Last() ? static_cast<const PriceTick*>(ticks.Last())->time : 0) << ".\n";

  const std::string path = (context.work_dir / "ticks.rec").string();
  std::uint64_t size = 0;
  // Saved whole or not at all: a file that was there stays as it was if the save fails.
  const platform::Status saved =
      platform::WriteFileWholeWith(path, [&](platform::FileHandle& file) -> platform::Status {
        if (!ticks.Write(&file)) return platform::Error::FromErrno(errno);
        size = NSTools::FileSize(file);
        return std::monostate();
      });
  if (!saved) return Fail(path + ": " + Reason(saved.error().message));
  out << "Saved it whole as one record to " << path << " (" << size
      << " bytes: a 4-byte count and the raw items).\n";
  context.facts.records_file = path;

  TArray<PriceTick> loaded;
  platform::Result<platform::FileHandle> file = platform::FileHandle::OpenRegular(path);
  if (!file) return Fail(path + ": " + Reason(file.error().message));
  if (const platform::Result<std::uint32_t> read =
          loaded.TryRead(*file, std::numeric_limits<unsigned int>::max());
      !read) {
    return Fail(path + ": " + Reason(read.error().message));
  }
  out << "Loaded it back: " << loaded.Count()
      << " ticks, identical to the original: " << (loaded.Compare(ticks) ? "yes" : "no") << ".\n";

  const std::uint32_t key = open + 25;
  out << "First tick at or after " << Clock(key) << ": "
      << Describe(loaded.SearchGrOrEq(ComparatorUInt32, &key)) << '\n';
  out << "Last tick at or before " << Clock(key) << ": "
      << Describe(loaded.SearchLeOrEq(ComparatorUInt32, &key)) << '\n';

  // A newer version of the same series: one tick withdrawn, two late ones arrived.
  TArray<PriceTick> newer;
  if (!newer.Assign(loaded)) return Fail("records: out of memory");
  const std::uint32_t withdrawn = open + 10;
  newer.Remove(&withdrawn, ComparatorUInt32);
  for (std::uint32_t second : {45u, 55u}) {
    const PriceTick tick = Tick(open + second, 1.0845);
    newer.Insert(&tick, ComparatorUInt32, true);
  }
  TArray<unsigned int> added, removed;
  CArrayBase::Diff(loaded, newer, added, removed, ComparatorUInt32);
  out << "Diff against a newer version: " << removed.Count() << " removed, " << added.Count()
      << " added\n";
  for (unsigned int i : removed) out << "  - " << Describe(loaded.Item(i)) << '\n';
  for (unsigned int i : added) out << "  + " << Describe(newer.Item(i)) << '\n';
  out << "$ kelvane records dump ticks.rec --item-size " << sizeof(PriceTick) << " --max 2\n";
  out.flush();
  return RunDump({path, static_cast<unsigned int>(sizeof(PriceTick)), 2});
}

void AddRecords(Tool& tool) {
  CLI::App* records = tool.app.add_subcommand("records", "array records: a count and raw items");
  records->require_subcommand(1);
  auto o = std::make_shared<DumpOptions>();
  CLI::App* dump = records->add_subcommand("dump", "print the counts and items of every record");
  dump->add_option("FILE", o->file, "file of records written one after another")
      ->required()
      ->type_name("FILE");
  dump->add_option("--item-size", o->item_size, "bytes per item")
      ->required()
      ->check(Integer(1, 1 << 24));
  dump->add_option("--max", o->max, "items to print per record, the rest skipped (default: all)")
      ->check(Integer(0, std::numeric_limits<unsigned int>::max()));
  tool.Runs(dump, [o] { return RunDump(*o); });
}

}  // namespace kelvane::cli
