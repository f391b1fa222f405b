#include "kelvane/platform/core/file_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

TEST(FileHandle, ReadsWritesAndSeeksOnTheDescriptorsPosition) {
  testing::TempDir dir;
  auto file = FileHandle::Create(dir.File("f"), 0600);
  ASSERT_TRUE(file.has_value());
  file->Write("hello world", 11);
  EXPECT_EQ(file->Offset(), 11u);
  EXPECT_EQ(::lseek(file->Descriptor(), 0, SEEK_CUR), 11);
  file->Seek(6);
  char five[5];
  EXPECT_EQ(file->ReadInto(five, 5), 5u);
  EXPECT_EQ(std::string(five, 5), "world");
  EXPECT_EQ(file->ReadInto(five, 5), 0u);  // at the end
  file->Seek(0);
  const Data head = file->Read(1000);  // a long request on a short file returns what is there
  EXPECT_EQ(std::string(head.begin(), head.end()), "hello world");
  file->Truncate(5);
  EXPECT_EQ(file->Offset(), 5u);
  EXPECT_EQ(file->SeekToEnd(), 5u);
  file->Seek(0);
  const Data all = file->ReadToEnd();
  EXPECT_EQ(std::string(all.begin(), all.end()), "hello");
  EXPECT_FALSE(FileHandle::Open(dir.File("missing"), FileHandle::Mode::kRead).has_value());
}

TEST(FileHandle, FailuresRaiseFileError) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  FileHandle reader(fds[0], true);
  FileHandle writer(fds[1], true);
  try {
    (void)writer.Offset();
    FAIL() << "a pipe has no position";
  } catch (const FileError& e) {
    EXPECT_EQ(e.error(), ESPIPE);
  }
  EXPECT_THROW(reader.Write("x", 1), FileError);
  EXPECT_THROW(reader.Truncate(0), FileError);
  EXPECT_THROW(writer.Seek(~std::uint64_t{0}), FileError);
}

TEST(FileHandle, MovingHandsOverTheDescriptor) {
  testing::TempDir dir;
  auto file = FileHandle::Create(dir.File("f"));
  ASSERT_TRUE(file.has_value());
  const int fd = file->Descriptor();
  FileHandle moved(std::move(*file));
  EXPECT_EQ(moved.Descriptor(), fd);
  EXPECT_EQ(file->Descriptor(), -1);  // NOLINT(bugprone-use-after-move)
  { FileHandle last(std::move(moved)); }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // closed with its last owner
}

}  // namespace
}  // namespace kelvane::platform
