// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/exif.h"

#include <libexif/exif-data.h>

#include <cstring>
#include <new>
#include <vector>

#include "kelvane/platform/codecs/internal/exif_block.h"

namespace kelvane::platform {
namespace {

// The orientation in an APP1 payload that starts with "Exif\0\0"; 0 when there is none.
int OrientationInSegment(const std::uint8_t* data, std::size_t size) {
  ExifData* exif = exif_data_new();
  if (exif == nullptr) return 0;
  // Read the block as it is: the option to fill in what the EXIF standard expects would add
  // default tags to it.
  exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(exif, data, static_cast<unsigned int>(size));
  int value = 0;
  if (ExifContent* ifd0 = exif->ifd[EXIF_IFD_0]) {
    ExifEntry* entry = exif_content_get_entry(ifd0, EXIF_TAG_ORIENTATION);
    if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
        entry->data != nullptr && entry->size >= 2) {
      value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
    }
  }
  exif_data_unref(exif);
  return value >= 1 && value <= 8 ? value : 0;
}

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> jpeg) noexcept {
  const std::uint8_t* d = jpeg.data();
  const std::size_t size = jpeg.size();
  if (size < 4 || d[0] != 0xFF || d[1] != 0xD8) return 0;
  std::size_t pos = 2;
  // Walk the marker segments up to the start of the picture data.
  while (pos + 4 <= size) {
    if (d[pos] != 0xFF) return 0;
    const std::uint8_t marker = d[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return 0;
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {  // no length
      pos += 2;
      continue;
    }
    const std::size_t length = (std::size_t{d[pos + 2]} << 8) | d[pos + 3];
    if (length < 2 || pos + 2 + length > size) return 0;
    const std::uint8_t* payload = d + pos + 4;
    const std::size_t payload_size = length - 2;
    if (marker == 0xE1 && payload_size > 6 && std::memcmp(payload, "Exif\0\0", 6) == 0) {
      return OrientationInSegment(payload, payload_size);
    }
    pos += 2 + length;
  }
  return 0;
}

namespace internal {

int ExifBlockOrientation(std::span<const std::uint8_t> block) noexcept {
  static constexpr std::uint8_t kPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
  // Blocks larger than the reader's 32-bit size are past any EXIF block a picture carries.
  if (block.size() > 0xFFFF'FFF0u) return 0;
  if (block.size() > 6 && std::memcmp(block.data(), kPrefix, 6) == 0) {
    return OrientationInSegment(block.data(), block.size());
  }
  if (block.size() < 8) return 0;
  // libexif takes a block that starts with the prefix (or a JPEG stream): a bare TIFF block is
  // read behind a copy of the prefix.
  try {
    std::vector<std::uint8_t> prefixed(kPrefix, kPrefix + 6);
    prefixed.insert(prefixed.end(), block.begin(), block.end());
    return OrientationInSegment(prefixed.data(), prefixed.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace internal

ImageOrientation ImageOrientationFromExif(int exif) noexcept {
  switch (exif) {
    case 3:
      return kOrientationDown;
    case 8:
      return kOrientationLeft;
    case 6:
      return kOrientationRight;
    case 2:
      return kOrientationUpMirrored;
    case 4:
      return kOrientationDownMirrored;
    case 5:
      return kOrientationLeftMirrored;
    case 7:
      return kOrientationRightMirrored;
    default:
      return kOrientationUp;
  }
}

// Deprecated form, kept for programs built against it.
int OrientationFromExif(int exif) noexcept { return ToInt(ImageOrientationFromExif(exif)); }

}  // namespace kelvane::platform
