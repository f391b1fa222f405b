// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/file_tools.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane {
namespace {

using platform::FileHandle;

// The file opened for `mode`; a failed open is reported, and the handle then holds no descriptor,
// so every operation on it fails.
FileHandle OpenFile(const std::string& path, FileHandle::Mode mode = FileHandle::Mode::kUpdate) {
  auto file = FileHandle::TryOpen(path, mode);
  if (!file.ok()) {
    ADD_FAILURE() << path << ": " << file.error().message;
    return FileHandle(-1);
  }
  return std::move(file).value();
}

// The bytes read as text; "<none>" when the read failed.
std::string Text(const std::optional<Data>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
}

// A read to the end of 600 MB (a sparse file) in a child with 512 MiB of address space: memory
// running out is a failed read, never a buffer taken for the file.
[[maybe_unused]] const bool kReadOutOfMemory = testing::ChildProcess("read-out-of-memory", [] {
  testing::TempDir dir;
  const std::string path = dir.File("sparse");
  if (::truncate(dir.Write("sparse", "").c_str(), off_t{600} << 20) != 0) return 2;
  FileHandle file = OpenFile(path);
  Data buffer;
  return NSTools::ReadToEnd(file, &buffer) ? 1 : 0;
});

TEST(FileTools, HandleAndDescriptorReadsAndWritesOnOneFile) {
  EXPECT_EQ(testing::RunLimitedChild("read-out-of-memory",
                                     {.memory_bytes = std::uint64_t{512} << 20, .seconds = 20})
                .status,
            0)
      << "1: the read said it read; 2: the sparse file could not be made";
  testing::TempDir dir;
  FileHandle file = OpenFile(dir.Write("ten", "0123456789"));
  ASSERT_TRUE(NSTools::SeekToFileOffset(file, 6));
  EXPECT_EQ(Text(NSTools::ReadDataOfLength(file, 10)), "<none>");
  ASSERT_TRUE(NSTools::SeekToFileOffset(file, 2));
  EXPECT_EQ(Text(NSTools::ReadDataOfLength(file, 3)), "234");
  EXPECT_FALSE(NSTools::ReadDataOfLength(file, 0).has_value());
  EXPECT_EQ(Text(NSTools::ReadDataToEndOfFile(file)), "56789");

  // The descriptor family.
  ASSERT_TRUE(NSTools::SeekToFileOffset(file, 50));  // past the end
  EXPECT_EQ(NSTools::LengthToEnd(file), 0u);
  ASSERT_TRUE(NSTools::SeekToFileOffset(file, 4));
  EXPECT_EQ(NSTools::LengthToEnd(file), 6u);  // and the position is kept for the read below
  Data buffer = {9, 9};
  EXPECT_EQ((std::tuple{NSTools::ReadToEnd(file, &buffer), Text(buffer)}),
            std::tuple(true, "456789"));
  EXPECT_EQ((std::tuple{NSTools::ReadToEnd(file, &buffer), Text(buffer)}), std::tuple(false, ""));

  ASSERT_TRUE(NSTools::SeekToFileOffset(file, 0));
  char raw[4] = {};
  EXPECT_EQ(std::tuple(NSTools::ReadTo(file, &buffer, 0), NSTools::ReadToBuf(file, raw, 0)),
            std::tuple(false, false));  // refused without reading: the next read starts at 0
  EXPECT_EQ((std::tuple{NSTools::ReadTo(file, &buffer, 3), Text(buffer)}), std::tuple(true, "012"));
  EXPECT_EQ((std::tuple{NSTools::ReadToBuf(file, raw, 4), std::string(raw, 4)}),
            std::tuple(true, "3456"));
  EXPECT_FALSE(NSTools::ReadToBuf(file, raw, 4));  // only three bytes left: a short read fails

  const Data bytes = {'a', 'b'};
  ASSERT_TRUE(NSTools::SeekToFileOffset(file, 0));
  EXPECT_EQ((std::tuple{NSTools::Write(file, &bytes), NSTools::WriteBuf(file, "cd", 2)}),
            std::tuple(true, true));
  EXPECT_FALSE(NSTools::WriteBuf(file, "cd", 0));
  ASSERT_TRUE(NSTools::SeekToFileOffset(file, 0));
  EXPECT_EQ(Text(NSTools::ReadDataToEndOfFile(file)), "abcd456789");
}

TEST(FileTools, HandleWritesReportFailureAsResults) {
  testing::TempDir dir;
  FileHandle file = OpenFile(dir.Write("f", ""), FileHandle::Mode::kWrite);
  const Data bytes = {1, 2, 3}, empty;
  // The second write starts past the first: whole all the same.
  EXPECT_EQ((std::tuple{NSTools::WriteData(file, &bytes), NSTools::WriteData(file, &bytes),
                        NSTools::WriteData(file, nullptr), NSTools::FileSize(file)}),
            std::tuple(true, true, false, 6u));
  EXPECT_EQ((std::tuple{NSTools::TruncateFileAtOffset(file, 1), NSTools::FileSize(file)}),
            std::tuple(true, 1u));
  EXPECT_EQ((std::tuple{NSTools::SeekToEndOfFile(file), NSTools::IsEOF(file)}),
            std::tuple(true, true));

  FileHandle read_only = OpenFile(dir.File("f"), FileHandle::Mode::kRead);
  EXPECT_EQ(std::tuple(NSTools::WriteData(read_only, &bytes),
                       NSTools::TruncateFileAtOffset(read_only, 0)),
            std::tuple(false, false));

  // The write end of a pipe: a descriptor without a position, on which the handle's seeks fail.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  FileHandle read_end(fds[0], true), no_position(fds[1], true);
  // The handle fails before writing anything; for empty data nothing was lost.
  EXPECT_EQ((std::tuple{NSTools::WriteData(no_position, &empty),
                        NSTools::WriteData(no_position, &bytes)}),
            std::tuple(true, false));
  EXPECT_EQ(NSTools::FileSize(no_position), 0u);
  EXPECT_EQ(
      std::tuple(NSTools::SeekToFileOffset(no_position, 0), NSTools::SeekToEndOfFile(no_position)),
      std::tuple(false, false));
  EXPECT_EQ(NSTools::LengthToEnd(no_position), 0u);
}

TEST(FileTools, ByteBuffers) {
  const std::string secret = "correct horse!";  // 14 bytes
  Data buffer(secret.begin(), secret.end());
  const std::uint8_t* block = buffer.data();
  NSTools::ClearSecured(buffer);
  ASSERT_EQ(buffer.size(), 12u);
  EXPECT_EQ(buffer.data(), block);  // overwritten where it was, not moved away from
  EXPECT_NE(std::memcmp(buffer.data(), secret.data(), 12), 0);

  const std::pair<Data, Data> trims[] = {{{0, 0, 5, 0}, {5, 0}}, {{0, 0}, {}}, {{}, {}}};
  for (auto [bytes, trimmed] : trims) {
    NSTools::TrimBeginningZeros(bytes);
    EXPECT_EQ(bytes, trimmed);
  }
}

TEST(FileTools, TryReadsGiveTheReason) {
  using platform::ErrorKind;
  testing::TempDir dir;
  const std::string abc = dir.Write("abc", "abc");
  const auto at = [](const std::string& path, std::uint64_t offset) {
    FileHandle file = OpenFile(path, FileHandle::Mode::kRead);
    file.Seek(offset);
    return file;
  };
  struct Row {
    const char* what;
    std::function<FileHandle()> open;
    bool into_buffer;  // TryReadToBuf, else TryReadTo
    ErrorKind kind;
    const char* message;
  };
  const Row rows[] = {
      {"a file with 3 bytes left", [&] { return at(abc, 0); }, false, ErrorKind::kMalformed,
       "cut short: the file has 3 of the 8 bytes wanted left"},
      {"a position past the end", [&] { return at(abc, 10); }, false, ErrorKind::kMalformed,
       "cut short: the file has 0 of the 8 bytes wanted left"},
      {"one read of a file with 3 bytes", [&] { return at(abc, 0); }, true, ErrorKind::kMalformed,
       "cut short: one read brought 3 of 8 bytes"},
      {"a folder", [&] { return OpenFile(dir.File("."), FileHandle::Mode::kRead); }, false,
       ErrorKind::kIo, "Is a directory"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FileHandle file = row.open();
    Data buffer = {7};
    std::uint8_t bytes[8] = {};
    const platform::Status read = row.into_buffer ? NSTools::TryReadToBuf(file, bytes, 8)
                                                  : NSTools::TryReadTo(file, buffer, 8);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().kind, row.kind);
    EXPECT_THAT(read.error().message, ::testing::HasSubstr(row.message));
  }
  // A regular file too short is refused before the buffer changes.
  FileHandle file = at(abc, 1);
  Data buffer = {7};
  ASSERT_FALSE(NSTools::TryReadTo(file, buffer, 3).ok());
  EXPECT_EQ(buffer, Data{7});
}

}  // namespace
}  // namespace kelvane
