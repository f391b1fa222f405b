// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/files.h
//
// The files the tool reads and writes, and its standard output.
//
// Reading: regular files only, within a limit, through platform::ReadRegularFile (pictures through
// platform::ReadImageFile), so that a named pipe or a device is refused at once instead of waited
// on, and a missing file, a folder, an oversized or a damaged file each says so. Writing: whole or
// not at all, through platform::WriteFileWhole (a temporary file renamed over the target; a
// device or a pipe written in place). Standard output goes through a buffer that remembers why a
// write failed, so that the tool can report it.
//
// Failures throw Failure with the line "PATH: reason".
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <span>
#include <streambuf>
#include <string>
#include <vector>

#include "kelvane/platform/core/string.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/graphics/image_file.h"

namespace kelvane::cli {

// Files other than pictures are read up to this size.
inline constexpr std::uint64_t kMaxInputBytes = std::uint64_t{256} << 20;

// The bytes of the regular file at `path`, at most `limit` of them.
Data ReadInput(const std::string& path, std::uint64_t limit = kMaxInputBytes);

// The picture in the PNG or JPEG file at `path`, with its EXIF orientation, at scale 1.
platform::ImageRef LoadPicture(const std::string& path);
// LoadPicture() for a picture to be shown at `options`' target: read at
// platform::ReadSize()'s pixels, the decoders leaving out what the target does not need.
platform::ImageRef LoadPicture(const std::string& path, const platform::ReadOptions& options);

// A picture file's bytes, read once for commands that size their read from the picture.
struct PictureFile {
  std::string path;
  Data bytes;
};
// The bytes of the picture file at `path`, refused as LoadPicture() refuses the file.
PictureFile ReadPictureFile(const std::string& path);
// The picture's displayed size (its orientation applied), from its header where it has one.
platform::PixelSize PictureSize(const PictureFile& file);
// LoadPicture() of the file's bytes, with `options` (all of it with options that give no side).
platform::ImageRef LoadPicture(const PictureFile& file, const platform::ReadOptions& options);
// LoadPicture() of the file's bytes at exactly `size` displayed pixels (platform::ReadImageAtSize).
platform::ImageRef LoadPictureAtSize(const PictureFile& file, platform::PixelSize size);

// Writes `bytes` to `path` whole or not at all (see above).
void WriteOutput(const std::string& path, std::span<const std::uint8_t> bytes);

// What a command writes, by the extensions it takes for the file: a picture (.png as PNG; .jpg,
// .jpeg or none as JPEG), JPEG only (.jpg, .jpeg or none), PNG only (.png or none), or anything.
// A name without an extension is taken, for /dev/stdout and the like.
enum class Written { kPicture, kJPEG, kPNG, kAnything };

// Throws UsageError naming the extensions written when `path` has one that `kind` does not take
// ("out.gif"), before any work is done.
void CheckWritable(const std::string& path, Written kind);

// Saves the picture upright: PNG when `path` ends in .png (any case), else JPEG at `quality`.
// Throws UsageError for a name CheckWritable(kPicture) refuses.
void WritePicture(const platform::Image& image, const std::string& path, double quality);
// Saves the picture upright as PNG, whatever the name.
void WritePNG(const platform::Image& image, const std::string& path);

// Says on standard output what a command wrote, in one line: "wrote out.png (384 x 384 px,
// 12.4 KB)", the size read back from the file, `detail` ("384 x 384 px") first when given.
// Nothing when `path` is standard output itself.
void SayWritten(const std::string& path, const std::string& detail = "");
// "384 x 384 px": the picture's size as it is written, upright.
std::string PixelSize(const platform::Image& image);

// The file a command writes: `-o/--output`, or the positional OUT that some commands took before
// the option existed and still take.
class OutputOption {
 public:
  // Adds -o/--output, and the positional OUT with `positional`. Path() refuses a name `kind`
  // does not take.
  void Add(CLI::App* sub, const std::string& help, bool positional,
           Written kind = Written::kAnything);
  // The path given. Throws UsageError when neither or both spellings were given, or when the
  // name has an extension the command does not write.
  [[nodiscard]] const std::string& Path() const;
  // Each spelling's value, empty when not given; for a command that reads its positionals by
  // what the options left to fill.
  [[nodiscard]] const std::string& positional() const { return positional_; }
  [[nodiscard]] const std::string& option() const { return option_; }

 private:
  std::string positional_;
  std::string option_;
  Written kind_ = Written::kAnything;
};

// Adds `--quality Q`, the JPEG quality 0..1 of a picture written as JPEG, with its default.
CLI::Option* AddJPEGQuality(CLI::App* sub, double& quality);

// Standard output, buffered (by line on a terminal), keeping the first failed write's errno.
// Installed under std::cout for the life of the object; the tool writes nothing to standard
// output any other way.
class CheckedStandardOutput : public std::streambuf {
 public:
  CheckedStandardOutput();
  ~CheckedStandardOutput() override;
  CheckedStandardOutput(const CheckedStandardOutput&) = delete;
  CheckedStandardOutput& operator=(const CheckedStandardOutput&) = delete;

  // Flushes and closes standard output. The reason anything written was lost, or empty.
  [[nodiscard]] std::string Finish();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* bytes, std::streamsize size) override;
  int sync() override;

 private:
  bool Drain();

  std::vector<char> buffer_;
  bool line_buffered_;  // standard output is a terminal
  int error_ = 0;
  std::streambuf* previous_ = nullptr;
};

}  // namespace kelvane::cli
