// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/hash.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/i18n/charset.h"
#include "kelvane/text/buffer_copy.h"

namespace kelvane {

CHasher::~CHasher() = default;

CHashMD5::CHashMD5() noexcept { platform::Md5Init(context_); }

CHashMD5::~CHashMD5() = default;

void CHashMD5::Init() noexcept { platform::Md5Init(context_); }

void CHashMD5::Update(const void* data, unsigned int length) noexcept {
  if (data == nullptr || length == 0) return;
  platform::Md5Update(context_, data, length);
}

void CHashMD5::Final(unsigned char* digest) noexcept {
  if (digest == nullptr) return;
  platform::Md5Final(context_, digest);
}

namespace {

// Longest path accepted, in UTF-16 units; the system refuses longer ones anyway.
constexpr std::size_t kMaxPathUnits = 4096;

// The path as the system's UTF-8 bytes; empty when it has no such form.
std::string PathBytes(std::u16string_view path) {
  if (path.empty() || path.size() > kMaxPathUnits) return {};
  if (path.find(u'\0') != std::u16string_view::npos) return {};  // would cut the path short
  // Three bytes per unit is the most UTF-8 needs (a surrogate pair takes two units for four).
  std::string bytes(path.size() * 3 + 1, '\0');
  NSTools::CopyToStr(String(path), bytes.data(), static_cast<unsigned int>(bytes.size()));
  bytes.resize(std::strlen(bytes.c_str()));
  return bytes;
}

}  // namespace

bool CHash::HashFile(CHasher& hasher, OptionalString path) noexcept {
  if (!path.has_value()) return false;
  std::string bytes;
  try {
    bytes = PathBytes(*path);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (bytes.empty()) return false;

  // Only a regular file: opening a named pipe would wait for a writer, and a device may never
  // end.
  platform::Result<platform::FileHandle> file = platform::FileHandle::OpenRegular(bytes);
  if (!file) return false;
  const int fd = file->Descriptor();

  hasher.Init();
  unsigned char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    hasher.Update(buffer, static_cast<unsigned int>(n));
  }
}

namespace NSTools {
namespace {

void Decode(std::u16string_view text, unsigned char* bytes, std::size_t length) noexcept {
  if (length == 0) return;  // an empty Data may have no storage at all
  std::memset(bytes, 0, length);
  const std::size_t digits = text.size() < length * 2 ? text.size() : length * 2;
  for (std::size_t i = 0; i < digits; ++i) {
    const int v = platform::ascii::HexValue(text[i]);
    if (v < 0) {
      std::memset(bytes, 0, length);
      return;
    }
    bytes[i / 2] |= static_cast<unsigned char>((i & 1) == 0 ? v << 4 : v);
  }
}

constexpr char16_t kUpperDigits[] = u"0123456789ABCDEF";
constexpr char16_t kLowerDigits[] = u"0123456789abcdef";

}  // namespace

void ToHash(const String& receiver, char* buffer, unsigned int length) noexcept {
  if (buffer == nullptr) return;
  Decode(receiver, reinterpret_cast<unsigned char*>(buffer), length);
}

std::optional<Data> ToHash(const String& receiver) noexcept {
  if (receiver.size() % 2 != 0) return std::nullopt;
  try {
    Data bytes(receiver.size() / 2);
    Decode(receiver, bytes.data(), bytes.size());
    return bytes;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

void FromHash(String& receiver, const char* hash, unsigned int length, bool capitalize) noexcept {
  receiver.clear();
  if (hash == nullptr || length == 0) return;
  const char16_t* digits = capitalize ? kUpperDigits : kLowerDigits;
  const auto* bytes = reinterpret_cast<const unsigned char*>(hash);
  try {
    receiver.resize(static_cast<std::size_t>(length) * 2);
  } catch (const std::bad_alloc&) {
    return;
  } catch (const std::length_error&) {
    return;
  }
  char16_t* out = receiver.data();
  for (unsigned int i = 0; i < length; ++i) {
    out[2 * i] = digits[bytes[i] >> 4];
    out[2 * i + 1] = digits[bytes[i] & 0x0F];
  }
}

std::optional<String> stringFromHash(const char* hash, unsigned int length,
                                     bool capitalize) noexcept {
  String text;
  FromHash(text, hash, length, capitalize);
  if (text.empty()) return std::nullopt;
  return text;
}

std::uint64_t ToUInt64(const String& receiver) noexcept {
  const platform::CharacterSet& space = platform::CharacterSet::WhitespaceAndNewlines();
  std::size_t i = 0;
  while (i < receiver.size() && space.Contains(receiver[i])) ++i;
  if (i < receiver.size() && receiver[i] == u'+') ++i;
  constexpr std::uint64_t kTooLarge = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  bool any = false;
  for (; i < receiver.size() && receiver[i] >= u'0' && receiver[i] <= u'9'; ++i) {
    any = true;
    const std::uint64_t digit = static_cast<std::uint64_t>(receiver[i] - u'0');
    if (value > (kTooLarge - digit) / 10) {
      value = kTooLarge;  // does not fit: the rest of the digits cannot bring it back
      break;
    }
    value = value * 10 + digit;
  }
  // 2^64 - 1 stands for "did not fit", so the largest value is never a valid result.
  if (!any || value == kTooLarge) return 0;
  return value;
}

}  // namespace NSTools
}  // namespace kelvane
