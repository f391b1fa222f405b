#include "tools/kelvane/files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/core/file_handle.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

[[noreturn]] void Throw(const std::string& path, const std::string& reason) {
  throw Failure(path + ": " + reason);
}

[[noreturn]] void ThrowErrno(const std::string& path, int error) {
  Throw(path, std::strerror(error));
}

std::uint32_t BigEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value = value << 8 | bytes[at + i];
  return value;
}

struct Frame {
  std::uint32_t width = 0, height = 0, components = 0;
};

// The frame header of a JPEG: the first start-of-frame marker's size and component count.
std::optional<Frame> JPEGFrame(std::span<const std::uint8_t> bytes) {
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (bytes[at] != 0xFF) return std::nullopt;
    const std::uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without a length
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // the end, or data, before a frame
    const std::size_t length = BigEndian(bytes, at + 2, 2);
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 10 > bytes.size()) return std::nullopt;
      return Frame{BigEndian(bytes, at + 7, 2), BigEndian(bytes, at + 5, 2), bytes[at + 9]};
    }
    at += 2 + length;
  }
  return std::nullopt;
}

std::string OverTheLimit(std::uint32_t width, std::uint32_t height) {
  return "a " + std::to_string(width) + " x " + std::to_string(height) +
         " picture, over the limit of " + std::to_string(platform::kMaxDecodedPixels / 1000000) +
         " megapixels";
}

bool EndsWithPNG(const std::string& path) {
  if (path.size() < 4) return false;
  std::string extension = path.substr(path.size() - 4);
  for (char& c : extension) c = static_cast<char>(c | 0x20);
  return extension == ".png";
}

// Writes all of `bytes` to `fd`; false with errno set on failure.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A device or a pipe takes the bytes as they come: there is nothing to rename.
void WriteInPlace(const std::string& path, std::span<const std::uint8_t> bytes) {
  // Without O_NONBLOCK, opening a pipe nobody reads would wait for ever.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowErrno(path, errno);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  const bool written = WriteAll(fd, bytes);
  const int error = errno;
  if (::close(fd) != 0 && written) ThrowErrno(path, errno);
  if (!written) ThrowErrno(path, error);
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

Data ReadInput(const std::string& path, std::uint64_t limit) {
  platform::Result<Data> bytes = platform::ReadRegularFile(path, limit);
  if (!bytes) Throw(path, bytes.error().message);
  return std::move(bytes).value();
}

platform::ImageRef LoadPicture(const std::string& path) {
  const Data bytes = ReadInput(path, platform::kMaxImageFileBytes);
  platform::ImageRef image = platform::LoadImage(std::span<const std::uint8_t>(bytes));
  if (image == nullptr) Throw(path, WhyNotDecoded(bytes));
  return image;
}

std::string WhyNotDecoded(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return "an empty file, not a PNG or JPEG picture";
  if (platform::IsPNG(bytes)) {
    // The image header chunk comes first: its width and height follow the signature, the
    // chunk's length and its name.
    if (bytes.size() >= 24) {
      const std::uint32_t width = BigEndian(bytes, 16, 4), height = BigEndian(bytes, 20, 4);
      if (width > 0 && height > 0 && !platform::DecodedSizeAllowed(width, height)) {
        return OverTheLimit(width, height);
      }
    }
    return "a damaged or unsupported PNG picture";
  }
  if (platform::IsJPEG(bytes)) {
    if (const std::optional<Frame> frame = JPEGFrame(bytes)) {
      if (frame->width > 0 && frame->height > 0 &&
          !platform::DecodedSizeAllowed(frame->width, frame->height)) {
        return OverTheLimit(frame->width, frame->height);
      }
      if (frame->components == 4) return "a CMYK JPEG picture, which is not supported";
    }
    return "a damaged or unsupported JPEG picture";
  }
  return "not a PNG or JPEG picture";
}

void WriteOutput(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) throw UsageError("the output file name is empty");
  struct stat status {};
  std::string target = path;
  mode_t mode = NewFileMode();
  if (::stat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) Throw(path, "a folder, not a regular file");
    if (!S_ISREG(status.st_mode)) return WriteInPlace(path, bytes);
    // Through a symbolic link, the file it names is replaced and the link stays.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      ::free(real);
    }
    mode = status.st_mode & 07777;
  }
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = folder + "." + name + ".kelvane-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) ThrowErrno(path, errno);
  const bool written = WriteAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  int error = errno;
  const bool closed = ::close(fd) == 0;
  if (written && !closed) error = errno;
  if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
    if (written && closed) error = errno;
    ::unlink(temporary.c_str());
    ThrowErrno(path, error);
  }
}

void WritePicture(const platform::Image& image, const std::string& path, double quality) {
  if (EndsWithPNG(path)) return WritePNG(image, path);
  const std::optional<Data> data = platform::JPEGData(image, quality);
  if (!data) Throw(path, "the picture could not be encoded as JPEG");
  WriteOutput(path, *data);
}

void WritePNG(const platform::Image& image, const std::string& path) {
  const std::optional<Data> data = platform::PNGData(image);
  if (!data) Throw(path, "the picture could not be encoded as PNG");
  WriteOutput(path, *data);
}

void OutputOption::Add(CLI::App* sub, const std::string& help, bool positional) {
  if (positional) sub->add_option("OUT", positional_, help + " (or -o)");
  sub->add_option("-o,--output", option_, help);
}

const std::string& OutputOption::Path() const {
  if (!option_.empty() && !positional_.empty()) {
    throw UsageError("give the output file once: OUT or -o/--output");
  }
  if (option_.empty() && positional_.empty()) {
    throw UsageError("the output file is required: -o/--output FILE");
  }
  return option_.empty() ? positional_ : option_;
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
  if (!WriteAll(STDOUT_FILENO,
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
  if (!WriteAll(STDOUT_FILENO, std::span(reinterpret_cast<const std::uint8_t*>(bytes),
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
  return error_ == 0 ? std::string() : std::strerror(error_);
}

}  // namespace kelvane::cli
