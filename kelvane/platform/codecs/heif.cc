// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/heif.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#if KELVANE_WITH_HEIF
#include <libheif/heif.h>
#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "kelvane/platform/codecs/internal/heif_items.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/core/internal/address_space.h"
#include "kelvane/platform/pixels/internal/pixel_format.h"
#endif

namespace kelvane::platform {
namespace {

// The brands of HEIF pictures: HEVC stills and sequences, the general image brands, AV1.
constexpr std::string_view kBrands[] = {"heic", "heix", "heim", "heis", "hevc",
                                        "hevx", "mif1", "msf1", "avif", "avis"};

bool IsHEIFBrand(const std::uint8_t* brand) {
  for (std::string_view known : kBrands) {
    if (std::memcmp(brand, known.data(), 4) == 0) return true;
  }
  return false;
}

#if KELVANE_WITH_HEIF

// Sides of at most 10000 pixels, which is what libheif's limit takes: it refuses pictures over
// its square while reading, which is the decoded-size limit's 100 megapixels.
constexpr int kMaxHEIFSide = 10'000;
static_assert(std::uint64_t{kMaxHEIFSide} * kMaxHEIFSide == kMaxDecodedPixels);

struct ContextDeleter {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct FreeDeleter {
  void operator()(std::uint8_t* pixels) const { std::free(pixels); }
};

// libheif's words for an error on one line: its messages may end in a line break.
std::string Reason(const heif_error& error) {
  if (error.message == nullptr) return {};
  std::string text = error.message;
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? text : " (" + text + ")";
}

// True when a failed call ran out of memory on the way. libheif passes on its decoders' failures
// as damaged data: libaom's failed allocation comes back as invalid input whose text is libaom's
// "Memory allocation error", and a failed allocation of the C library on this thread leaves
// ENOMEM behind.
bool RanOutOfMemory(const heif_error& error) {
  if (error.code == heif_error_Memory_allocation_error || errno == ENOMEM) return true;
  return error.message != nullptr && std::strstr(error.message, "emory allocation") != nullptr;
}

// What a decode surely takes per displayed pixel, besides a thread's stack: the decoded planes
// (1.5 bytes a pixel at 4:2:0), libheif's RGB copy (3 or 4) and the raster (4). What it takes
// beyond that the decoders report as they fail; a 768 x 512 HEVC picture decoded within 13.7 MiB
// of address space, its decoding thread's 8 MiB stack included.
constexpr std::uint64_t kDecodeBytesPerPixel = 8;
// And besides the pixels: the decoders' own tables.
constexpr std::uint64_t kDecodeFixedBytes = std::uint64_t{2} << 20;

// The stack a new thread gets: from the stack limit when the process started, 8 MiB when that
// cannot be read.
std::uint64_t ThreadStackBytes() {
  std::size_t size = 0;
  pthread_attr_t attributes;
  if (pthread_getattr_default_np(&attributes) == 0) {
    if (pthread_attr_getstacksize(&attributes, &size) != 0) size = 0;
    pthread_attr_destroy(&attributes);
  }
  return size != 0 ? size : std::uint64_t{8} << 20;
}

// Whether a decode of a width x height picture can have its room now. libde265, which decodes
// HEVC behind libheif, starts a thread of its own and waits for ever on it when the thread
// cannot be made, and neither decoder reports every allocation that fails; so the room is made
// sure of first, the thread's stack at the least.
bool RoomToDecode(std::uint32_t width, std::uint32_t height) {
  return internal::AddressSpaceAvailable(ThreadStackBytes() + kDecodeFixedBytes +
                                         kDecodeBytesPerPixel * width * height);
}

Error FromHeif(const heif_error& error) {
  const std::string reason = Reason(error);
  if (error.subcode == heif_suberror_Security_limit_exceeded) {
    return Error{ErrorKind::kTooLarge, "a HEIF picture over the decoded-size limit of " +
                                           std::to_string(kMaxDecodedPixels / 1'000'000) +
                                           " megapixels" + reason};
  }
  if (RanOutOfMemory(error)) return Error{ErrorKind::kIo, "out of memory"};
  switch (error.code) {
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature:
    case heif_error_Plugin_loading_error:
      return Error{ErrorKind::kUnsupported, "a HEIF picture that is not supported" + reason};
    default:
      return Error{ErrorKind::kMalformed, "a damaged HEIF picture" + reason};
  }
}

Result<RasterRef> ReadHEIFOrThrow(std::span<const std::uint8_t> bytes) {
  if (!IsHEIF(bytes)) return Error{ErrorKind::kUnsupported, "not a HEIC or AVIF picture"};
  // libheif stops the process on some references that name no picture: checked here first.
  if (const std::string problem = internal::HEIFReferenceProblem(bytes); !problem.empty()) {
    return Error{ErrorKind::kMalformed, "a damaged HEIF picture (" + problem + ")"};
  }
  std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
  if (context == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  // Before reading: libheif refuses larger pictures while it reads their boxes, and decodes
  // grids of tiles on this thread rather than starting threads of its own.
  heif_context_set_maximum_image_size_limit(context.get(), kMaxHEIFSide);
  heif_context_set_max_decoding_threads(context.get(), 0);
  // The bytes outlive the context: libheif reads them where they are.
  errno = 0;  // see RanOutOfMemory()
  heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes.data(),
                                                                bytes.size(), nullptr);
  if (error.code != heif_error_Ok) return FromHeif(error);
  heif_image_handle* raw_handle = nullptr;
  error = heif_context_get_primary_image_handle(context.get(), &raw_handle);
  if (error.code != heif_error_Ok) return FromHeif(error);
  std::unique_ptr<heif_image_handle, HandleDeleter> handle(raw_handle);

  // The sides as displayed, after the turns, before anything is decoded.
  const int declared_width = heif_image_handle_get_width(handle.get());
  const int declared_height = heif_image_handle_get_height(handle.get());
  if (declared_width <= 0 || declared_height <= 0 ||
      !DecodedSizeAllowed(std::uint32_t(declared_width), std::uint32_t(declared_height))) {
    return Error{ErrorKind::kTooLarge,
                 OverDecodedSizeLimit(std::uint32_t(std::max(declared_width, 0)),
                                      std::uint32_t(std::max(declared_height, 0)))};
  }
  if (!RoomToDecode(std::uint32_t(declared_width), std::uint32_t(declared_height))) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;

  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  if (options == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  options->ignore_transformations = 0;  // the raster comes out upright
  options->convert_hdr_to_8bit = 1;
  // AV1 through libaom rather than dav1d, which libheif prefers: on damaged data dav1d writes to
  // the standard error and, behind libheif 1.15, leaves memory behind. Pictures of any other
  // coding take libheif's own choice, as no decoder of this name reads them.
  options->decoder_id = "aom";
  heif_image* raw_image = nullptr;
  errno = 0;
  error = heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            options.get());
  if (error.code != heif_error_Ok) return FromHeif(error);
  std::unique_ptr<heif_image, ImageDeleter> image(raw_image);

  const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
  if (w <= 0 || h <= 0 || !DecodedSizeAllowed(std::uint32_t(w), std::uint32_t(h))) {
    return Error{ErrorKind::kMalformed, "a damaged HEIF picture (no pixels decoded)"};
  }
  if (heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
    return Error{ErrorKind::kUnsupported, "a HEIF picture of more than 8 bits a sample"};
  }
  int stride = 0;
  const std::uint8_t* plane =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int channels = alpha ? 4 : 3;
  if (plane == nullptr || stride < w * channels) {
    return Error{ErrorKind::kMalformed, "a damaged HEIF picture (no pixels decoded)"};
  }

  // One pass from libheif's R, G, B (A) into the working format; the only copy of the pixels,
  // which the reordering and the premultiplying need anyway.
  const std::uint32_t width = std::uint32_t(w), height = std::uint32_t(h);
  const std::size_t row = std::size_t{width} * 4;
  std::unique_ptr<std::uint8_t, FreeDeleter> pixels(
      static_cast<std::uint8_t*>(std::malloc(row * height)));
  if (pixels == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  const bool premultiplied = alpha && heif_image_is_premultiplied_alpha(image.get()) != 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* in = plane + std::size_t(y) * std::size_t(stride);
    std::uint8_t* out = pixels.get() + y * row;
    if (!alpha) {
      for (std::uint32_t x = 0; x < width; ++x, in += 3, out += 4) {
        out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 255;
      }
    } else if (premultiplied) {
      for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
        // Colour above alpha would not be a premultiplied pixel.
        const std::uint8_t a = in[3];
        out[0] = std::min(in[2], a), out[1] = std::min(in[1], a), out[2] = std::min(in[0], a);
        out[3] = a;
      }
    } else {
      for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
        const unsigned a = in[3];
        out[0] = internal::Premultiply(in[2], a);
        out[1] = internal::Premultiply(in[1], a);
        out[2] = internal::Premultiply(in[0], a);
        out[3] = static_cast<std::uint8_t>(a);
      }
    }
  }
  std::uint8_t* taken = pixels.release();
  RasterRef raster = Raster::Wrap(PixelLayout::Working(width, height, row, !alpha), taken,
                                  [taken] { std::free(taken); });
  if (raster == nullptr) return Error{ErrorKind::kIo, "out of memory"};
  return raster;
}

#endif  // KELVANE_WITH_HEIF

}  // namespace

bool IsHEIF(std::span<const std::uint8_t> bytes) noexcept {
  // size, "ftyp", the major brand, its version, then compatible brands to the box's end.
  if (bytes.size() < 16 || std::memcmp(bytes.data() + 4, "ftyp", 4) != 0) return false;
  const std::uint8_t* d = bytes.data();
  const std::size_t box =
      (std::size_t{d[0]} << 24) | (std::size_t{d[1]} << 16) | (std::size_t{d[2]} << 8) | d[3];
  if (box < 16 || box > bytes.size()) return false;
  if (IsHEIFBrand(d + 8)) return true;
  // A file-type box lists a few brands; the first 64 are looked at.
  const std::size_t end = std::min<std::size_t>(box, 16 + 64 * 4);
  for (std::size_t pos = 16; pos + 4 <= end; pos += 4) {
    if (IsHEIFBrand(d + pos)) return true;
  }
  return false;
}

bool HEIFReadable() noexcept { return KELVANE_WITH_HEIF != 0; }

Result<RasterRef> ReadHEIF(std::span<const std::uint8_t> bytes) noexcept {
#if KELVANE_WITH_HEIF
  try {
    return ReadHEIFOrThrow(bytes);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
#else
  if (!IsHEIF(bytes)) return Error{ErrorKind::kUnsupported, "not a HEIC or AVIF picture"};
  return Error{ErrorKind::kUnsupported, "HEIC and AVIF pictures are not read by this build"};
#endif
}

}  // namespace kelvane::platform
