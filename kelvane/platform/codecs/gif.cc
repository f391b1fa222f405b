// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/gif.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelvane/platform/codecs/limits.h"

namespace kelvane::platform {
namespace {

struct Source {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t offset = 0;
};

// giflib's reader: a short count tells it the file ends here.
int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* source = static_cast<Source*>(gif->UserData);
  if (length <= 0) return 0;
  const std::size_t n = std::min<std::size_t>(std::size_t(length), source->size - source->offset);
  std::memcpy(out, source->data + source->offset, n);
  source->offset += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

struct FreeDeleter {
  void operator()(std::uint8_t* pixels) const { std::free(pixels); }
};

Error Damaged(int error) {
  if (error == D_GIF_ERR_NOT_ENOUGH_MEM) return Error{ErrorKind::kIo, "out of memory"};
  const char* reason = GifErrorString(error);
  return Error{ErrorKind::kMalformed,
               std::string("a damaged GIF picture") +
                   (reason != nullptr ? std::string(" (") + reason + ")" : std::string())};
}

Error TooManyBlocks() {
  return Error{ErrorKind::kTooLarge, "more than " + std::to_string(kMaxGIFBlocksBeforeImage) +
                                         " blocks before the first frame of a GIF picture"};
}

// The rows of an interlaced frame in the order the file stores them: every 8th row from 0,
// every 8th from 4, every 4th from 2, every 2nd from 1.
constexpr int kPassStart[4] = {0, 4, 2, 1};
constexpr int kPassStep[4] = {8, 8, 4, 2};

Result<RasterRef> ReadGIFOrThrow(std::span<const std::uint8_t> bytes) {
  if (!IsGIF(bytes)) return Error{ErrorKind::kUnsupported, "not a GIF picture"};
  Source source{bytes.data(), bytes.size()};
  int error = 0;
  GifFile gif(DGifOpen(&source, ReadFromMemory, &error));
  if (gif == nullptr) return Damaged(error);
  const std::uint32_t width = static_cast<std::uint32_t>(std::max(gif->SWidth, 0));
  const std::uint32_t height = static_cast<std::uint32_t>(std::max(gif->SHeight, 0));
  if (width == 0 || height == 0) {
    return Error{ErrorKind::kMalformed, "a damaged GIF picture (a screen of no pixels)"};
  }
  if (!DecodedSizeAllowed(width, height)) {
    return Error{ErrorKind::kTooLarge, OverDecodedSizeLimit(width, height)};
  }

  // Up to the first frame: the control block that comes last before it gives its transparent
  // colour; every other extension is passed over.
  int transparent = NO_TRANSPARENT_COLOR;
  std::size_t blocks = 0;
  for (;;) {
    if (++blocks > kMaxGIFBlocksBeforeImage) return TooManyBlocks();
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return Damaged(gif->Error);
    if (record == IMAGE_DESC_RECORD_TYPE) break;
    if (record == TERMINATE_RECORD_TYPE) {
      return Error{ErrorKind::kMalformed, "a damaged GIF picture (no frame)"};
    }
    if (record != EXTENSION_RECORD_TYPE) return Damaged(D_GIF_ERR_WRONG_RECORD);
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return Damaged(gif->Error);
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
      GraphicsControlBlock control;
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
        transparent = control.TransparentColor;
      }
    }
    while (block != nullptr) {
      if (++blocks > kMaxGIFBlocksBeforeImage) return TooManyBlocks();
      if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return Damaged(gif->Error);
    }
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return Damaged(gif->Error);
  const GifImageDesc& frame = gif->Image;
  if (frame.Width <= 0 || frame.Height <= 0) {
    return Error{ErrorKind::kMalformed, "a damaged GIF picture (a frame of no pixels)"};
  }
  // Decoding passes over every pixel of the frame, also those off the screen.
  if (!DecodedSizeAllowed(std::uint32_t(frame.Width), std::uint32_t(frame.Height))) {
    return Error{ErrorKind::kTooLarge,
                 OverDecodedSizeLimit(std::uint32_t(frame.Width), std::uint32_t(frame.Height))};
  }
  const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0) {
    return Damaged(D_GIF_ERR_NO_COLOR_MAP);
  }

  // The colours in the working format, premultiplied: 256 entries, so that any index reads one
  // (beyond the table: opaque black; the transparent index: nothing).
  std::uint32_t palette[256];
  for (int i = 0; i < 256; ++i) {
    std::uint32_t colour = 0xFF000000u;
    if (i < map->ColorCount) {
      const GifColorType& c = map->Colors[i];
      colour |= (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue;
    }
    palette[i] = colour;
  }
  if (transparent >= 0 && transparent < 256) palette[transparent] = 0;

  const bool covers = frame.Left == 0 && frame.Top == 0 && std::uint32_t(frame.Width) >= width &&
                      std::uint32_t(frame.Height) >= height;
  const bool opaque = covers && (transparent < 0 || transparent >= 256);
  const std::size_t row = std::size_t{width} * 4;
  auto* pixels =
      static_cast<std::uint8_t*>(opaque ? std::malloc(row * height) : std::calloc(row, height));
  if (pixels == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  std::unique_ptr<std::uint8_t, FreeDeleter> owned(pixels);

  // The part of the frame on the screen; the rest is decoded and dropped.
  const std::uint32_t left = std::uint32_t(frame.Left), top = std::uint32_t(frame.Top);
  const std::uint32_t visible =
      left < width ? std::min<std::uint32_t>(std::uint32_t(frame.Width), width - left) : 0;
  std::vector<GifPixelType> line(std::size_t(frame.Width));
  const auto put = [&](int y) {
    const std::uint32_t screen_y = top + std::uint32_t(y);
    if (screen_y >= height) return;
    auto* out = reinterpret_cast<std::uint32_t*>(pixels + screen_y * row) + left;
    for (std::uint32_t x = 0; x < visible; ++x) {
      // Transparent pixels leave the clear screen as it is.
      if (const std::uint32_t colour = palette[line[x]]; colour != 0) out[x] = colour;
    }
  };
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = frame.Interlace ? kPassStart[pass] : 0;
    const int step = frame.Interlace ? kPassStep[pass] : 1;
    for (int y = start; y < frame.Height; y += step) {
      if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) {
        return Damaged(gif->Error);
      }
      put(y);
    }
  }
  // The frames after the first are left unread.
  RasterRef raster = Raster::Wrap(PixelLayout::Working(width, height, row, opaque), owned.release(),
                                  [pixels] { std::free(pixels); });
  if (raster == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  return raster;
}

}  // namespace

bool IsGIF(std::span<const std::uint8_t> bytes) noexcept {
  return bytes.size() >= 6 && (std::memcmp(bytes.data(), "GIF87a", 6) == 0 ||
                               std::memcmp(bytes.data(), "GIF89a", 6) == 0);
}

Result<RasterRef> ReadGIF(std::span<const std::uint8_t> bytes) noexcept {
  try {
    return ReadGIFOrThrow(bytes);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

}  // namespace kelvane::platform
