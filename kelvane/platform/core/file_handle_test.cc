// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/file_handle.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <set>
#include <span>
#include <string>

#include "kelvane/platform/core/internal/file_bytes.h"
#include "kelvane/testing/save_faults.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

// A failure raises FileError with the system's error. The writes, truncations and seeks that fail
// are met through NSTools in kelvane/containers/file_tools_test.cc, which catches FileError alone.
// A move hands the descriptor over; the last owner closes it.
TEST(FileHandle, FailuresRaiseFileErrorAndMovingHandsOverTheDescriptor) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  FileHandle reader(fds[0], true);
  FileHandle writer(fds[1], true);
  EXPECT_THAT([&] { (void)writer.Offset(); },  // a pipe has no position
              ::testing::Throws<FileError>(::testing::Property(&FileError::error, ESPIPE)));
  FileHandle moved(std::move(writer));
  EXPECT_EQ(moved.Descriptor(), fds[1]);
  EXPECT_EQ(writer.Descriptor(), -1);  // NOLINT(bugprone-use-after-move)
  { FileHandle last(std::move(moved)); }
  EXPECT_EQ(::fcntl(fds[1], F_GETFD), -1);  // closed with its last owner
}

TEST(FileHandle, TryOpenAndTryCreateSayWhyAFileCannotBeOpened) {
  testing::TempDir dir;
  const std::string file = dir.Write("file", "12345");
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);

  Result<FileHandle> opened = FileHandle::TryOpen(file, FileHandle::Mode::kRead);
  ASSERT_TRUE(opened.ok()) << opened.error().message;
  EXPECT_EQ(opened->ReadToEnd(), (Data{'1', '2', '3', '4', '5'}));
  // Created with the permissions asked for, or truncated when it exists.
  ::umask(022);
  Result<FileHandle> created = FileHandle::TryCreate(dir.File("new"), 0600);
  ASSERT_TRUE(created.ok()) << created.error().message;
  struct stat status {};
  ASSERT_EQ(::fstat(created->Descriptor(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  Result<FileHandle> truncated = FileHandle::TryCreate(file);
  ASSERT_TRUE(truncated.ok()) << truncated.error().message;
  EXPECT_EQ(truncated->SeekToEnd(), 0u);

  struct Case {
    const char* what;
    std::function<Result<FileHandle>()> open;
    Error error;
  } cases[] = {
      {"missing",
       [&] { return FileHandle::TryOpen(dir.File("none"), FileHandle::Mode::kRead); },
       {ErrorKind::kMissing, "No such file or directory"}},
      {"below a file",
       [&] { return FileHandle::TryOpen(file + "/below", FileHandle::Mode::kUpdate); },
       {ErrorKind::kMissing, "Not a directory"}},
      {"a folder for writing",
       [&] { return FileHandle::TryOpen(dir.File("folder"), FileHandle::Mode::kWrite); },
       {ErrorKind::kIo, "Is a directory"}},
      {"created in no folder",
       [&] { return FileHandle::TryCreate(dir.File("none/new")); },
       {ErrorKind::kMissing, "No such file or directory"}},
      {"created over a folder",
       [&] { return FileHandle::TryCreate(dir.File("folder")); },
       {ErrorKind::kIo, "Is a directory"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result<FileHandle> failed = c.open();
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), c.error);
  }
  // The optional forms fail alike, with errno telling why.
  errno = 0;
  EXPECT_FALSE(FileHandle::Open(dir.File("none"), FileHandle::Mode::kRead).has_value());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(FileHandle::Create(dir.File("folder")).has_value());
  EXPECT_EQ(errno, EISDIR);
}

TEST(ReadRegularFile, ReadsWholeFilesWithinTheLimitAndSaysWhyOthersAreRefused) {
  testing::TempDir dir;
  const std::string exact = dir.Write("exact", "12345");
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);

  // Whole files up to the limit, an empty one under a limit of 0 included. The pictures' reader
  // reads the same bytes into an unzeroed block (an empty file's block is shrunk to nothing,
  // which realloc must not be asked for as zero bytes).
  for (const std::string text : {"12345", ""}) {
    SCOPED_TRACE(text);
    const std::string path = dir.Write(text.empty() ? "empty" : "exact", text);
    EXPECT_EQ(ReadRegularFile(path, text.size()).value(), Data(text.begin(), text.end()));
    Result<internal::FileBytes> block = internal::ReadRegularFileBytes(path, text.size());
    ASSERT_TRUE(block.ok()) << block.error().message;
    EXPECT_EQ(std::string(block->bytes().begin(), block->bytes().end()), text);
  }

  struct Case {
    std::string path;
    std::uint64_t limit;
    Error error;
  } cases[] = {
      {exact, 4, {ErrorKind::kTooLarge, "over the limit of 4 bytes"}},
      {dir.File("missing"), 10, {ErrorKind::kMissing, "No such file or directory"}},
      {exact + "/below", 10, {ErrorKind::kMissing, "Not a directory"}},
      // Neither waits for a writer nor reads a folder's entries.
      {dir.File("pipe"), 10, {ErrorKind::kNotRegularFile, "a named pipe, not a regular file"}},
      {dir.File("folder"), 10, {ErrorKind::kNotRegularFile, "a folder, not a regular file"}},
      {"/dev/null", 10, {ErrorKind::kNotRegularFile, "a device, not a regular file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Result<Data> read = ReadRegularFile(c.path, c.limit);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error(), c.error);
  }
  EXPECT_EQ(FileHandle::OpenRegular(dir.File("pipe")).error().kind, ErrorKind::kNotRegularFile);
  // The handle of a regular file reads normally: the open's non-blocking flag is cleared.
  Result<FileHandle> handle = FileHandle::OpenRegular(exact);
  ASSERT_TRUE(handle.ok());
  EXPECT_EQ(::fcntl(handle->Descriptor(), F_GETFL) & O_NONBLOCK, 0);
}

TEST(WriteFileWhole, ReplacesFilesWholeWritesPipesInPlaceAndLeavesNothingOnFailure) {
  testing::TempDir dir;
  const auto bytes = [](std::string_view text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  const auto read = [](const std::string& path) {
    Result<Data> data = ReadRegularFile(path, 100);
    return data ? std::string(data->begin(), data->end()) : "(" + data.error().message + ")";
  };
  // A new file, then the same file replaced: its mode stays, through a link too.
  const std::string file = dir.File("file");
  ASSERT_TRUE(WriteFileWhole(file, bytes("first")).ok());
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(file.c_str(), dir.File("link").c_str()), 0);
  ASSERT_TRUE(WriteFileWhole(dir.File("link"), bytes("second")).ok());
  EXPECT_EQ(read(file), "second");
  struct stat status {};
  ASSERT_EQ(::lstat(dir.File("link").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  // A named pipe is written in place, never replaced by a file: with a reader the bytes go
  // through it, without one the write is refused at once.
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_TRUE(WriteFileWhole(pipe, bytes("through")).ok());
  char got[16] = {};
  EXPECT_EQ(::read(reader, got, sizeof(got)), 7);
  EXPECT_EQ(std::string(got), "through");
  ::close(reader);
  EXPECT_EQ(WriteFileWhole(pipe, bytes("nobody")).error(),
            (Error{ErrorKind::kIo, "No such device or address"}));
  ASSERT_EQ(::stat(pipe.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));

  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);
  EXPECT_EQ(WriteFileWhole(dir.File("folder"), bytes("x")).error(),
            (Error{ErrorKind::kNotRegularFile, "a folder, not a regular file"}));
  EXPECT_EQ(WriteFileWhole(dir.File("none/file"), bytes("x")).error(),
            (Error{ErrorKind::kMissing, "No such file or directory"}));
  // Nothing but what was made above is left in the folder.
  EXPECT_EQ(testing::Names(dir.path()), (std::set<std::string>{"file", "folder", "link", "pipe"}));
}

}  // namespace
}  // namespace kelvane::platform
