// SPDX-License-Identifier: Apache-2.0
#include "tools/kelvane/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>

#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/graphics/image_file.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/command.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

[[noreturn]] void Throw(const std::string& path, const std::string& reason) {
  throw Failure(path + ": " + Reason(reason));
}

// The extension of the file's name, lower-case with its dot (".png"); empty when the name has
// none (a name that starts with its only dot has none either).
std::string Extension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= start) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

bool EndsWithPNG(const std::string& path) { return Extension(path) == ".png"; }

// Writes all of `bytes` to standard output; false with errno set on failure. Straight to the
// descriptor, allocating nothing: the buffer above it is called from inside the stream, which
// would swallow an exception and lose the bytes without a word.
bool WriteToStandardOutput(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kMaxWrite = std::size_t{1} << 30;
  while (!bytes.empty()) {
    const ssize_t put = ::write(STDOUT_FILENO, bytes.data(), std::min(bytes.size(), kMaxWrite));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    if (put == 0) {
      errno = EIO;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(put));
  }
  return true;
}

}  // namespace

Data ReadInput(const std::string& path, std::uint64_t limit) {
  platform::Result<Data> bytes = platform::ReadRegularFile(path, limit);
  if (!bytes) Throw(path, bytes.error().message);
  return std::move(bytes).value();
}

platform::ImageRef LoadPicture(const std::string& path) {
  platform::Result<platform::ImageRef> image = platform::ReadImageFile(path);
  if (!image) Throw(path, image.error().message);
  return std::move(image).value();
}

platform::ImageRef LoadPicture(const std::string& path, const platform::ReadOptions& options) {
  platform::Result<platform::ImageRef> image = platform::ReadImageFile(path, options);
  if (!image) Throw(path, image.error().message);
  return std::move(image).value();
}

PictureFile ReadPictureFile(const std::string& path) {
  return {path, ReadInput(path, platform::kMaxImageFileBytes)};
}

platform::PixelSize PictureSize(const PictureFile& file) {
  const platform::Result<platform::PixelSize> size = platform::ReadImageSize(file.bytes);
  if (!size) Throw(file.path, size.error().message);
  return *size;
}

platform::ImageRef LoadPicture(const PictureFile& file, const platform::ReadOptions& options) {
  platform::Result<platform::ImageRef> image = platform::ReadImage(file.bytes, options);
  if (!image) Throw(file.path, image.error().message);
  return std::move(image).value();
}

platform::ImageRef LoadPictureAtSize(const PictureFile& file, platform::PixelSize size) {
  platform::Result<platform::ImageRef> image = platform::ReadImageAtSize(file.bytes, size);
  if (!image) Throw(file.path, image.error().message);
  return std::move(image).value();
}

void WriteOutput(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) throw UsageError("the output file name is empty");
  const platform::Result<std::monostate> written = platform::WriteFileWhole(path, bytes);
  if (!written) Throw(path, written.error().message);
}

void CheckWritable(const std::string& path, Written kind) {
  const std::string extension = Extension(path);
  if (extension.empty() || kind == Written::kAnything) return;
  const bool png = extension == ".png", jpeg = extension == ".jpg" || extension == ".jpeg";
  const char* written = nullptr;
  switch (kind) {
    case Written::kPicture:
      if (png || jpeg) return;
      written = "PNG and JPEG pictures (.png, .jpg, .jpeg)";
      break;
    case Written::kJPEG:
      if (jpeg) return;
      written = "JPEG pictures (.jpg, .jpeg)";
      break;
    case Written::kPNG:
      if (png) return;
      written = "PNG pictures (.png)";
      break;
    case Written::kAnything:
      return;
  }
  throw UsageError(path + ": cannot write a " + extension + " file: the command writes " + written);
}

void WritePicture(const platform::Image& image, const std::string& path, double quality) {
  if (path.empty()) throw UsageError("the output file name is empty");
  // Never JPEG bytes under a name that promises something else.
  CheckWritable(path, Written::kPicture);
  const platform::Result<std::monostate> written =
      EndsWithPNG(path) ? platform::WritePNGFile(image, path)
                        : platform::WriteJPEGFile(image, quality, path);
  if (!written) Throw(path, written.error().message);
}

void WritePNG(const platform::Image& image, const std::string& path) {
  if (path.empty()) throw UsageError("the output file name is empty");
  const platform::Result<std::monostate> written = platform::WritePNGFile(image, path);
  if (!written) Throw(path, written.error().message);
}

void SayWritten(const std::string& path, const std::string& detail) {
  struct stat written {};
  struct stat out {};
  const bool known = ::stat(path.c_str(), &written) == 0;
  // Written to standard output itself (/dev/stdout): the bytes are what it says.
  if (known && ::fstat(STDOUT_FILENO, &out) == 0 && written.st_dev == out.st_dev &&
      written.st_ino == out.st_ino) {
    return;
  }
  std::string facts = detail;
  if (known && S_ISREG(written.st_mode)) {
    facts += (facts.empty() ? "" : ", ") + ShownSize(static_cast<std::uint64_t>(written.st_size));
  }
  std::cout << "wrote " << Printable(path) << (facts.empty() ? "" : " (" + facts + ")") << '\n';
}

std::string PixelSize(const platform::Image& image) {
  const platform::Size size = image.size();
  return std::to_string(std::lround(size.width * image.scale())) + " x " +
         std::to_string(std::lround(size.height * image.scale())) + " px";
}

void OutputOption::Add(CLI::App* sub, const std::string& help, bool positional, Written kind) {
  kind_ = kind;
  if (positional) sub->add_option("OUT", positional_, help + " (or -o)")->type_name("FILE");
  sub->add_option("-o,--output", option_, help)->type_name("FILE");
}

const std::string& OutputOption::Path() const {
  if (!option_.empty() && !positional_.empty()) {
    throw UsageError("give the output file once: OUT or -o/--output");
  }
  if (option_.empty() && positional_.empty()) {
    throw UsageError("the output file is required: -o/--output FILE");
  }
  const std::string& path = option_.empty() ? positional_ : option_;
  CheckWritable(path, kind_);
  return path;
}

CLI::Option* AddJPEGQuality(CLI::App* sub, double& quality) {
  return sub->add_option("--quality", quality, "JPEG quality, when the file written is not .png")
      ->check(Number(0, 1))
      ->capture_default_str();
}

CheckedStandardOutput::CheckedStandardOutput()
    : buffer_(1 << 16), line_buffered_(::isatty(STDOUT_FILENO) == 1) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  previous_ = std::cout.rdbuf(this);
}

CheckedStandardOutput::~CheckedStandardOutput() {
  (void)Drain();
  std::cout.rdbuf(previous_);
}

bool CheckedStandardOutput::Drain() {
  const std::size_t held = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  if (error_ != 0) return false;
  if (!WriteToStandardOutput(
          std::span(reinterpret_cast<const std::uint8_t*>(buffer_.data()), held))) {
    error_ = errno;
    return false;
  }
  return true;
}

CheckedStandardOutput::int_type CheckedStandardOutput::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize CheckedStandardOutput::xsputn(const char* bytes, std::streamsize size) {
  if (size <= epptr() - pptr()) {
    std::memcpy(pptr(), bytes, static_cast<std::size_t>(size));
    pbump(static_cast<int>(size));
    // A person watching a terminal sees each line as it is made, as with the C library's stdout.
    if (line_buffered_ && std::memchr(bytes, '\n', static_cast<std::size_t>(size)) != nullptr &&
        !Drain()) {
      return 0;
    }
    return size;
  }
  if (!Drain()) return 0;
  if (!WriteToStandardOutput(std::span(reinterpret_cast<const std::uint8_t*>(bytes),
                                       static_cast<std::size_t>(size)))) {
    error_ = errno;
    return 0;
  }
  return size;
}

int CheckedStandardOutput::sync() { return Drain() ? 0 : -1; }

std::string CheckedStandardOutput::Finish() {
  (void)Drain();
  // A file system may report a failed write only when the file is closed.
  if (::close(STDOUT_FILENO) != 0 && errno != EBADF && error_ == 0) error_ = errno;
  if (error_ == 0) return std::string();
  // In the tool's own words, as every other allocation that fails is reported.
  return error_ == ENOMEM ? "out of memory" : std::strerror(error_);
}

}  // namespace kelvane::cli
