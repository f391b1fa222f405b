#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kelvane/containers/file_tools.h"
#include "kelvane/containers/storage.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane {
namespace {

using platform::FileHandle;

TArray<std::uint32_t> Ints(std::initializer_list<std::uint32_t> values) {
  TArray<std::uint32_t> a;
  for (std::uint32_t v : values) EXPECT_TRUE(a.Add(v));
  return a;
}

Data Record(std::uint32_t count, std::initializer_list<std::uint8_t> payload = {}) {
  Data d = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)};
  for (std::uint8_t b : payload) d.push_back(b);
  return d;
}

TEST(ArrayRecord, SaveWritesCountThenRawItems) {
  Data buffer;
  TArray<std::uint16_t>().Save(&buffer);
  EXPECT_EQ(buffer, (Data{0, 0, 0, 0}));
  TArray<std::uint16_t> a;
  for (std::uint16_t v : {0x0102, 0x0304, 0x0506}) ASSERT_TRUE(a.Add(v));
  buffer.clear();
  a.Save(&buffer);
  EXPECT_EQ(buffer, (Data{3, 0, 0, 0, 2, 1, 4, 3, 6, 5}));
  a.Save(nullptr);  // ignored
}

TEST(ArrayRecord, LoadsRecordsInTurnWithOneOffset) {
  Data buffer;
  const auto first = Ints({1, 2, 3});
  TArray<std::uint16_t> second;
  ASSERT_TRUE(second.Add(std::uint16_t{7}));
  first.Save(&buffer);
  second.Save(&buffer);

  unsigned int offset = 0;
  TArray<std::uint32_t> a;
  TArray<std::uint16_t> b;
  ASSERT_TRUE(a.Load(&buffer, &offset, 100));
  EXPECT_EQ(offset, 16u);
  EXPECT_TRUE(a.Compare(first));
  ASSERT_TRUE(b.Load(&buffer, &offset, 100));
  EXPECT_EQ(offset, buffer.size());
  EXPECT_TRUE(b.Compare(second));
  // Nothing left: the header is missing and the array keeps what it had.
  EXPECT_FALSE(b.Load(&buffer, &offset, 100));
  EXPECT_TRUE(b.Compare(second));

  TArray<std::uint32_t> again;
  ASSERT_TRUE(again.Load(&buffer, nullptr, 100));  // a null offset reads the record at 0
  EXPECT_TRUE(again.Compare(first));
}

TEST(ArrayRecord, LoadTakesAtMostMaxCountAndSkipsTheRest) {
  Data buffer;
  Ints({1, 2, 3, 4, 5}).Save(&buffer);
  unsigned int offset = 0;
  TArray<std::uint32_t> a;
  ASSERT_TRUE(a.Load(&buffer, &offset, 2));
  EXPECT_TRUE(a.Compare(Ints({1, 2})));
  EXPECT_EQ(offset, 24u);
  offset = 0;
  ASSERT_TRUE(a.Load(&buffer, &offset, 0));
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_EQ(offset, 24u);
}

TEST(ArrayRecord, LoadRefusesShortAndCraftedRecords) {
  TArray<std::uint32_t> a = Ints({9});
  const Data three = {1, 0, 0};
  unsigned int offset = 0;
  EXPECT_FALSE(a.Load(&three, &offset, 10));
  EXPECT_FALSE(a.Load(nullptr, &offset, 10));
  EXPECT_TRUE(a.Compare(Ints({9})));

  // Two items promised, one present.
  const Data truncated = Record(2, {1, 0, 0, 0});
  EXPECT_FALSE(a.Load(&truncated, &offset, 10));
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_EQ(offset, 0u);

  // 0x40000001 items of 4 bytes are 4 bytes in 32-bit arithmetic: the count must not wrap past
  // the length check.
  const Data wrapped = Record(0x40000001u, {1, 0, 0, 0});
  EXPECT_FALSE(a.Load(&wrapped, &offset, 0xFFFFFFFFu));
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_EQ(offset, 0u);
  // Skipping such a record would put the offset beyond what 32 bits can say.
  EXPECT_FALSE(a.Load(&wrapped, &offset, 0));
  EXPECT_EQ(offset, 0u);
  // An offset beyond the buffer is refused before anything is read.
  offset = 0xFFFFFFFEu;
  EXPECT_FALSE(a.Load(&wrapped, &offset, 1));
}

TEST(ArrayRecord, WritesAndReadsFiles) {
  testing::TempDir dir;
  auto file = FileHandle::Create(dir.File("records"));
  ASSERT_TRUE(file.has_value());
  const auto first = Ints({10, 20, 30});
  const TArray<std::uint32_t> empty;
  const auto third = Ints({40});
  ASSERT_TRUE(first.Write(&*file));
  ASSERT_TRUE(empty.Write(&*file));
  ASSERT_TRUE(third.Write(&*file));
  EXPECT_FALSE(first.Write(nullptr));
  EXPECT_EQ(NSTools::FileSize(*file), 16u + 4u + 8u);

  ASSERT_TRUE(NSTools::SeekToFileOffset(*file, 0));
  TArray<std::uint32_t> a;
  ASSERT_TRUE(a.Read(&*file, 0));  // skip the first record
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_EQ(file->Offset(), 16u);
  ASSERT_TRUE(a.Read(&*file, 100));
  EXPECT_EQ(a.Count(), 0u);
  ASSERT_TRUE(a.Read(&*file, 100));
  EXPECT_TRUE(a.Compare(third));
  EXPECT_FALSE(a.Read(&*file, 100));  // no header left
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_FALSE(a.Read(nullptr, 100));

  ASSERT_TRUE(NSTools::SeekToFileOffset(*file, 0));
  ASSERT_TRUE(a.Read(&*file, 2));
  EXPECT_TRUE(a.Compare(Ints({10, 20})));
  EXPECT_EQ(file->Offset(), 16u);  // behind the whole record

  auto read_only = FileHandle::Open(dir.File("records"), FileHandle::Mode::kRead);
  ASSERT_TRUE(read_only.has_value());
  EXPECT_FALSE(first.Write(&*read_only));
}

TEST(ArrayRecord, ReadRefusesACutPayload) {
  testing::TempDir dir;
  const Data cut = Record(3, {1, 0, 0, 0, 2, 0, 0, 0});  // three items promised, two present
  const std::string path = dir.Write("cut", std::string(cut.begin(), cut.end()));
  auto file = FileHandle::Open(path, FileHandle::Mode::kRead);
  ASSERT_TRUE(file.has_value());
  TArray<std::uint32_t> a = Ints({5});
  EXPECT_FALSE(a.Read(&*file, 100));
  EXPECT_EQ(a.Count(), 0u);

  // A huge count in a tiny file is refused without reserving memory for it.
  const Data huge = Record(0xFFFFFFFFu, {1, 2, 3, 4});
  const std::string path2 = dir.Write("huge", std::string(huge.begin(), huge.end()));
  auto file2 = FileHandle::Open(path2, FileHandle::Mode::kRead);
  ASSERT_TRUE(file2.has_value());
  EXPECT_FALSE(a.Read(&*file2, 0xFFFFFFFFu));
  EXPECT_EQ(a.Count(), 0u);
}

}  // namespace
}  // namespace kelvane
