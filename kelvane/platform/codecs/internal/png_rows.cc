// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/internal/png_rows.h"

#include <array>
#include <cstring>

#include "kelvane/platform/pixels/internal/pixel_format.h"

namespace kelvane::platform::internal {
namespace {

// The filters that read the pixel to the left are written for a fixed pixel size, so that the
// compiler keeps the bytes of one pixel apart and unrolls over them.
template <unsigned kBpp>
void UnfilterSub(std::uint8_t* row, std::size_t size) {
  for (std::size_t i = kBpp; i < size; ++i) row[i] = std::uint8_t(row[i] + row[i - kBpp]);
}

template <unsigned kBpp>
void UnfilterAverage(std::uint8_t* row, const std::uint8_t* above, std::size_t size) {
  for (std::size_t i = 0; i < kBpp && i < size; ++i) row[i] = std::uint8_t(row[i] + above[i] / 2);
  for (std::size_t i = kBpp; i < size; ++i) {
    row[i] = std::uint8_t(row[i] + ((row[i - kBpp] + above[i]) >> 1));
  }
}

template <unsigned kBpp>
void UnfilterPaeth(std::uint8_t* row, const std::uint8_t* above, std::size_t size) {
  for (std::size_t i = 0; i < kBpp && i < size; ++i) row[i] = std::uint8_t(row[i] + above[i]);
  for (std::size_t i = kBpp; i < size; ++i) {
    const int a = row[i - kBpp], b = above[i], c = above[i - kBpp];
    const int pa = b > c ? b - c : c - b;
    const int pb = a > c ? a - c : c - a;
    const int pc = a + b - 2 * c > 0 ? a + b - 2 * c : 2 * c - a - b;
    const int predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    row[i] = std::uint8_t(row[i] + predicted);
  }
}

template <unsigned kBpp>
bool Unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, std::size_t size) {
  switch (filter) {
    case kFilterNone:
      return true;
    case kFilterSub:
      UnfilterSub<kBpp>(row, size);
      return true;
    case kFilterUp:
      for (std::size_t i = 0; i < size; ++i) row[i] = std::uint8_t(row[i] + above[i]);
      return true;
    case kFilterAverage:
      UnfilterAverage<kBpp>(row, above, size);
      return true;
    case kFilterPaeth:
      UnfilterPaeth<kBpp>(row, above, size);
      return true;
    default:
      return false;
  }
}

// Unpremultiply(v, a) for every v and a, so that a translucent pixel costs three loads
// rather than three divisions.
const std::array<std::uint8_t, 256 * 256>& UnpremultiplyTable() {
  static const auto* table = [] {
    auto* t = new std::array<std::uint8_t, 256 * 256>;
    for (unsigned a = 0; a < 256; ++a) {
      for (unsigned v = 0; v < 256; ++v) (*t)[a * 256 + v] = Unpremultiply(v, a);
    }
    return t;
  }();
  return *table;
}

}  // namespace

bool UnfilterRow(std::uint8_t filter, unsigned bpp, std::uint8_t* row, const std::uint8_t* above,
                 std::size_t size) {
  switch (bpp) {
    case 1:
      return Unfilter<1>(filter, row, above, size);
    case 2:
      return Unfilter<2>(filter, row, above, size);
    case 3:
      return Unfilter<3>(filter, row, above, size);
    default:
      return Unfilter<4>(filter, row, above, size);
  }
}

void PngSamplesToWorking(int color_type, const std::uint8_t* s, std::uint32_t width,
                         std::uint8_t* out) {
  switch (color_type) {
    case 0:
      for (std::uint32_t x = 0; x < width; ++x, out += 4) {
        out[0] = out[1] = out[2] = s[x];
        out[3] = 0xFF;
      }
      return;
    case 2:
      for (std::uint32_t x = 0; x < width; ++x, s += 3, out += 4) {
        out[0] = s[2], out[1] = s[1], out[2] = s[0], out[3] = 0xFF;
      }
      return;
    case 4:
      for (std::uint32_t x = 0; x < width; ++x, s += 2, out += 4) {
        out[0] = out[1] = out[2] = Premultiply(s[0], s[1]);
        out[3] = s[1];
      }
      return;
    default:
      for (std::uint32_t x = 0; x < width; ++x, s += 4, out += 4) {
        const unsigned a = s[3];
        out[0] = Premultiply(s[2], a), out[1] = Premultiply(s[1], a), out[2] = Premultiply(s[0], a),
        out[3] = std::uint8_t(a);
      }
      return;
  }
}

void WorkingToPngSamples(const std::uint8_t* p, std::uint32_t width, bool alpha,
                         std::uint8_t* out) {
  if (!alpha) {
    for (std::uint32_t x = 0; x < width; ++x, p += 4, out += 3) {
      out[0] = p[2], out[1] = p[1], out[2] = p[0];
    }
    return;
  }
  const std::uint8_t* table = UnpremultiplyTable().data();
  for (std::uint32_t x = 0; x < width; ++x, p += 4, out += 4) {
    const unsigned a = p[3];
    if (a == 0xFF) {
      out[0] = p[2], out[1] = p[1], out[2] = p[0];
    } else {
      const std::uint8_t* t = table + a * 256;
      out[0] = t[p[2]], out[1] = t[p[1]], out[2] = t[p[0]];
    }
    out[3] = std::uint8_t(a);
  }
}

}  // namespace kelvane::platform::internal
