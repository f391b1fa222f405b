// SPDX-License-Identifier: Apache-2.0
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kelvane/containers/file_tools.h"
#include "kelvane/containers/storage.h"
#include "kelvane/testing/arrays.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane {
namespace {

using platform::FileHandle;

using testing::Ints;
using testing::Items;
using U32 = std::vector<std::uint32_t>;

Data Record(std::uint32_t count, std::initializer_list<std::uint8_t> payload = {}) {
  Data d = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)};
  for (std::uint8_t b : payload) d.push_back(b);
  return d;
}

TEST(ArrayRecord, SavedRecordsLoadInTurnWithOneOffset) {
  Data buffer;
  TArray<std::uint16_t>().Save(&buffer);
  EXPECT_EQ(buffer, Record(0));
  TArray<std::uint16_t> second;
  for (std::uint16_t v : {0x0102, 0x0304, 0x0506}) ASSERT_TRUE(second.Add(v));
  buffer.clear();
  const auto first = Ints({1, 2, 3, 4, 5});
  first.Save(&buffer);
  second.Save(&buffer);
  EXPECT_EQ(Data(buffer.begin() + 24, buffer.end()), Record(3, {2, 1, 4, 3, 6, 5}));

  unsigned int offset = 0;
  TArray<std::uint32_t> a;
  TArray<std::uint16_t> b;
  // Two items taken, the record passed over.
  EXPECT_EQ((std::tuple{a.Load(&buffer, &offset, 2), Items(a), offset}),
            std::tuple(true, U32{1, 2}, 24u));
  EXPECT_EQ((std::tuple{b.Load(&buffer, &offset, 100), Items(b), std::size_t{offset}}),
            std::tuple(true, Items(second), buffer.size()));
  // Nothing left: the header is missing and the array keeps what it had.
  EXPECT_EQ((std::tuple{b.Load(&buffer, &offset, 100), Items(b)}),
            std::tuple(false, Items(second)));
  // A null offset reads the record at 0.
  EXPECT_EQ((std::tuple{a.Load(&buffer, nullptr, 100), Items(a)}), std::tuple(true, Items(first)));
  offset = 0;
  EXPECT_EQ((std::tuple{a.Load(&buffer, &offset, 0), a.Count(), offset}),
            std::tuple(true, 0u, 24u));
}

// Records and lengths that claim 256 MiB in a file of a few bytes, the way a reader meets them:
// a count read from the file, then that many bytes asked for. Each must be refused without the
// child's peak growing towards what is claimed; the steps that fail are named.
int ClaimsMoreThanHeldChild() {
  constexpr std::uint32_t kClaimed = 256u << 20;
  testing::TempDir dir;
  const Data claim = Record(kClaimed, {1, 2, 3, 4, 5, 6, 7, 8});
  auto file = FileHandle::Open(dir.Write("claim", std::string(claim.begin(), claim.end())),
                               FileHandle::Mode::kRead);
  if (!file) return 1;
  CArrayBase bytes(1);
  Data buffer;
  unsigned int offset = 0;
  const std::pair<const char*, std::function<bool()>> steps[] = {
      {"Load", [&] { return bytes.Load(&claim, &offset, 0xFFFFFFFFu); }},
      {"Read", [&] { return bytes.Read(&*file, 0xFFFFFFFFu); }},
      {"ReadTo",
       [&] {
         return NSTools::SeekToFileOffset(*file, 4) && NSTools::ReadTo(*file, &buffer, kClaimed);
       }},
      // Twice the claim, so that a peak reached by the step before shows here again.
      {"ReadDataOfLength", [&] {
         return NSTools::SeekToFileOffset(*file, 4) &&
                NSTools::ReadDataOfLength(*file, 2 * kClaimed).has_value();
       }}};
  int failures = 0;
  for (const auto& [name, step] : steps) {
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const bool loaded = step();
    ::getrusage(RUSAGE_SELF, &after);
    const long grown_mib = (after.ru_maxrss - before.ru_maxrss) >> 10;
    if (!loaded && grown_mib < 64) continue;
    std::fprintf(stderr, "child: %s %s, peak grew by %ld MiB\n", name,
                 loaded ? "was not refused" : "was refused", grown_mib);
    ++failures;
  }
  return failures;
}
[[maybe_unused]] const bool kClaimsMoreThanHeld =
    testing::ChildProcess("records-claim-more-than-held", ClaimsMoreThanHeldChild);

TEST(ArrayRecord, LoadRefusesShortAndCraftedRecordsAndHoldsNoMemoryForClaims) {
  TArray<std::uint32_t> a = Ints({9});
  const Data three = {1, 0, 0};
  unsigned int offset = 0;
  EXPECT_EQ((std::tuple{a.Load(&three, &offset, 10), a.Load(nullptr, &offset, 10), Items(a)}),
            std::tuple(false, false, U32{9}));
  // Four bytes are a whole record of no items.
  const Data none = {0, 0, 0, 0};
  EXPECT_EQ((std::tuple{a.Load(&none, &offset, 10), Items(a), offset}),
            std::tuple(true, U32{}, 4u));
  offset = 0;
  // Two items promised, one present; 0x40000001 items of 4 bytes are 4 bytes in 32-bit
  // arithmetic and must not wrap past the length check; skipping such a record would put the
  // offset beyond what 32 bits can say.
  const Data truncated = Record(2, {1, 0, 0, 0});
  const Data wrapped = Record(0x40000001u, {1, 0, 0, 0});
  const std::pair<const Data*, unsigned int> cases[] = {
      {&truncated, 10}, {&wrapped, 0xFFFFFFFFu}, {&wrapped, 0}};
  for (const auto& [data, max_count] : cases) {
    EXPECT_FALSE(a.Load(data, &offset, max_count)) << max_count;
    EXPECT_EQ(std::tuple(a.Count(), offset), std::tuple(0u, 0u));
  }
  offset = 0xFFFFFFFEu;  // an offset beyond the buffer is refused before anything is read
  EXPECT_FALSE(a.Load(&wrapped, &offset, 1));
  const testing::ChildOutcome outcome = testing::RunLimitedChild(
      "records-claim-more-than-held", {.memory_bytes = 1u << 30, .seconds = 10});
  EXPECT_EQ(outcome.status, 0) << "peak " << (outcome.peak_rss_bytes >> 20) << " MiB";
}

TEST(ArrayRecord, WritesAndReadsFiles) {
  testing::TempDir dir;
  auto file = FileHandle::TryCreate(dir.File("records"));
  ASSERT_TRUE(file.ok()) << file.error().message;
  const auto first = Ints({10, 20, 30});
  ASSERT_EQ((std::tuple{first.Write(&*file), Ints({40}).Write(&*file),
                        TArray<std::uint32_t>().Write(&*file)}),
            std::tuple(true, true, true));
  EXPECT_FALSE(first.Write(nullptr));
  EXPECT_EQ(NSTools::FileSize(*file), 16u + 4u + 8u);

  ASSERT_TRUE(NSTools::SeekToFileOffset(*file, 0));
  // A count above the caller's maximum is no failure: the rest is skipped, and the count the
  // record holds is the answer.
  TArray<std::uint32_t> a;
  const platform::Result<std::uint32_t> read = a.TryRead(*file, 2);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(std::tuple(*read, Items(a), file->Offset()), std::tuple(3u, U32{10, 20}, 16u));
  EXPECT_EQ((std::tuple{a.Read(&*file, 100), Items(a)}), std::tuple(true, U32{40}));
  // An empty record whose count ends the file.
  EXPECT_EQ((std::tuple{a.Read(&*file, 100), Items(a)}), std::tuple(true, U32{}));
  // No header left, no file: false, and the array is emptied.
  EXPECT_EQ((std::tuple{a.Read(&*file, 100), a.Read(nullptr, 100), a.Count()}),
            std::tuple(false, false, 0u));

  auto read_only = FileHandle::TryOpen(dir.File("records"), FileHandle::Mode::kRead);
  ASSERT_TRUE(read_only.ok()) << read_only.error().message;
  EXPECT_FALSE(first.Write(&*read_only));
}

TEST(ArrayRecord, TryReadGivesTheReason) {
  using platform::ErrorKind;
  using ::testing::HasSubstr;
  testing::TempDir dir;
  struct Row {
    const char* what;
    Data bytes;  // the file; a folder when `folder`
    ErrorKind kind;
    const char* message;
    bool folder = false;
  };
  const Row rows[] = {
      {"empty file", {}, ErrorKind::kMalformed, "no record: the file ends where its count"},
      {"half a count",
       {3, 0},
       ErrorKind::kMalformed,
       "cut short: the file ends inside the record's count (2 of 4 bytes)"},
      {"two whole items of three", Record(3, {1, 0, 0, 0, 2, 0, 0, 0}), ErrorKind::kMalformed,
       "cut short: the file ends before item 3 of 3"},
      {"inside the third item", Record(3, {1, 0, 0, 0, 2, 0, 0, 0, 3}), ErrorKind::kMalformed,
       "cut short: the file ends inside item 3 of 3"},
      {"past 4 GiB", Record(0x40000000u, {1, 2, 3, 4}), ErrorKind::kTooLarge,
       "1073741824 items of 4 bytes, over the limit of 4 GiB"},
      {"a folder", {}, ErrorKind::kIo, "Is a directory", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string path =
        row.folder ? dir.File(".")
                   : dir.Write("bad", std::string(row.bytes.begin(), row.bytes.end()));
    auto file = FileHandle::TryOpen(path, FileHandle::Mode::kRead);
    ASSERT_TRUE(file.ok()) << file.error().message;
    TArray<std::uint32_t> items = Ints({5});
    const platform::Result<std::uint32_t> read = items.TryRead(*file, 0xFFFFFFFFu);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().kind, row.kind);
    EXPECT_THAT(read.error().message, HasSubstr(row.message));
    EXPECT_EQ(items.Count(), 0u);
  }
}

}  // namespace
}  // namespace kelvane
