// SPDX-License-Identifier: Apache-2.0
#include "soak/picture_work.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>

#include "kelvane/colours/avatar.h"
#include "kelvane/colours/color_cache.h"
#include "kelvane/images/image_effects.h"
#include "kelvane/images/resize.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/pixels/raster.h"

namespace kelvane::soak {
namespace {

using platform::ColorSpace;
using platform::Image;
using platform::ImageRef;
using platform::PixelLayout;
using platform::Raster;
using platform::Size;

struct Person {
  OptionalString login, name, surname;
  std::uint64_t clip;
};

// Initials of several kinds: split from a login, a letter with a mark, another script, one
// letter.
const Person kAvatarPeople[] = {
    {u"john smith", std::nullopt, std::nullopt, Avatar::kClipCircle},
    {std::nullopt, u"e\u0301mile", u"zola", Avatar::kClipRounded},
    {u"\u674E \u5C0F\u9F99", std::nullopt, std::nullopt, Avatar::kClipNone},
    {u"a", std::nullopt, std::nullopt, Avatar::kClipCircle},
};
constexpr Size kAvatarSize{40, 40};

// A gradient in the working format: premultiplied B, G, R, A (A 255 when `opaque`).
ImageRef Gradient(std::uint32_t width, std::uint32_t height, bool opaque) {
  std::vector<std::uint8_t> bytes(std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const unsigned a = opaque ? 255 : 128 + (x * 127 / width);
      std::uint8_t* p = &bytes[(std::size_t{y} * width + x) * 4];
      p[0] = static_cast<std::uint8_t>((x * 255 / width) * a / 255);
      p[1] = static_cast<std::uint8_t>((y * 255 / height) * a / 255);
      p[2] = static_cast<std::uint8_t>(((x + y) * 127 / (width + height) + 64) * a / 255);
      p[3] = static_cast<std::uint8_t>(a);
    }
  }
  return Image::Make(
      Raster::Make(PixelLayout::Working(width, height, width * 4, opaque), std::move(bytes)));
}

// Empty when `got` is `want` pixel for pixel (sides, scale, orientation, layout, bytes).
std::string SameImage(const ImageRef& got, const ImageRef& want, const char* what) {
  const std::string name(what);
  if (got == nullptr) return name + ": null";
  if (got->size() != want->size() || got->scale() != want->scale() ||
      got->orientation() != want->orientation())
    return name + ": another size, scale or orientation";
  const Raster* a = got->raster().get();
  const Raster* b = want->raster().get();
  if (a == nullptr || b == nullptr) return name + ": no raster";
  if (a->width() != b->width() || a->height() != b->height() ||
      a->bitmap_info() != b->bitmap_info() || a->color_space() != b->color_space())
    return name + ": another pixel layout";
  const std::size_t row = std::size_t{a->width()} * (a->bits_per_pixel() / 8);
  for (std::uint32_t y = 0; y < a->height(); ++y) {
    if (std::memcmp(a->Row(y), b->Row(y), row) != 0)
      return name + ": pixels differ in row " + std::to_string(y);
  }
  return {};
}

// The largest difference of a premultiplied component between two rasters of equal sides.
int LargestDifference(const Raster& a, const Raster& b) {
  int largest = 0;
  for (std::uint32_t y = 0; y < a.height(); ++y) {
    for (std::uint32_t x = 0; x < a.width(); ++x) {
      const std::uint32_t p = a.PremultipliedPixel(x, y), q = b.PremultipliedPixel(x, y);
      for (int shift = 0; shift < 32; shift += 8)
        largest = std::max(largest, std::abs(int((p >> shift) & 255) - int((q >> shift) & 255)));
    }
  }
  return largest;
}

std::optional<Data> Compressed(const Image& image) {
  Size adjusted;
  return Resize::compressToJPEG(image, 0.8, 40, &adjusted);
}

ImageRef Read(std::span<const std::uint8_t> bytes, std::uint32_t width = 0,
              std::uint32_t height = 0) {
  return platform::ReadImage(bytes, platform::ReadOptions{width, height})
      .ToOptional()
      .value_or(nullptr);
}

ImageRef Blurred(const PictureFixtures& f) {
  return UIImageEffects::imageByApplyingBlurToImage(
      f.picture, 4, Create::ColorForRGB(0x202840, 0.3), 1.8, nullptr);
}

ImageRef Masked(const PictureFixtures& f) {
  return UIImageEffects::imageByApplyingBlurToImage(f.picture, 3, nullptr, 1.0, f.mask);
}

ImageRef PersonAvatar(const Person& p) {
  return Avatar::AvatarLogin(p.login, p.name, p.surname, kAvatarSize, p.clip);
}

ImageRef PictureAvatar(const PictureFixtures& f) {
  return Avatar::Avatar(f.picture, Avatar::kModeFill, Create::ColorForRGB(0x336699), {32, 32},
                        Avatar::kClipRounded);
}

}  // namespace

std::unique_ptr<PictureFixtures> MakePictureFixtures(std::string* error) {
  auto f = std::make_unique<PictureFixtures>();
  f->picture = Gradient(64, 48, false);
  f->opaque = Gradient(64, 48, true);
  f->small = Gradient(320, 240, true);
  std::vector<std::uint8_t> cover(16 * 12);
  for (std::size_t i = 0; i < cover.size(); ++i)
    cover[i] = static_cast<std::uint8_t>(i * 255 / 191);
  f->mask = Image::Make(Raster::Make(PixelLayout{16, 12, 16, 0, ColorSpace::kGrey}, cover));
  if (!f->picture || !f->opaque || !f->small || !f->mask) {
    *error = "the source pictures could not be made";
    return nullptr;
  }
  f->png = platform::PNGData(*f->picture).value_or(Data());
  f->png_read = Read(f->png);
  f->jpeg = platform::JPEGData(*f->opaque, 0.85).value_or(Data());
  f->jpeg_read = Read(f->jpeg);
  f->jpeg_reduced = Read(f->jpeg, 32, 24);
  f->compressed = Compressed(*f->opaque).value_or(Data());
  f->reduced = Resize::resizedImage(*f->picture, {40, 30}, platform::kInterpolationHigh);
  f->enlarged = Resize::resizedImage(*f->small, {640, 480}, platform::kInterpolationMedium);
  for (std::size_t i = 0; i < f->avatars.size(); ++i)
    f->avatars[i] = PersonAvatar(kAvatarPeople[i]);
  f->picture_avatar = PictureAvatar(*f);
  f->blurred = Blurred(*f);
  f->masked = Masked(*f);
  f->light = UIImageEffects::imageByApplyingLightEffectToImage(f->picture);

  // The references must show what they should before they judge anything.
  const auto bad = [&](const std::string& what) {
    *error = "reference " + what;
    return nullptr;
  };
  if (f->png.empty() || f->png_read == nullptr) return bad("PNG could not be made");
  if (f->png_read->raster()->width() != 64 ||
      LargestDifference(*f->png_read->raster(), *f->picture->raster()) > 2)
    return bad("PNG does not read back as the picture");
  if (f->jpeg.empty() || f->jpeg_read == nullptr) return bad("JPEG could not be made");
  if (LargestDifference(*f->jpeg_read->raster(), *f->opaque->raster()) > 24)
    return bad("JPEG is not near the picture");
  if (f->jpeg_reduced == nullptr || f->jpeg_reduced->raster()->width() != 32)
    return bad("reduced JPEG read is not 32 pixels wide");
  if (f->compressed.empty() || Read(f->compressed) == nullptr ||
      Read(f->compressed)->raster()->width() != 40)
    return bad("compressToJPEG is not 40 pixels wide");
  if (f->reduced == nullptr || f->reduced->raster()->width() != 40)
    return bad("reduction is not 40 pixels wide");
  if (f->enlarged == nullptr || f->enlarged->raster()->height() != 480)
    return bad("enlargement is not 480 pixels high");
  for (const ImageRef& avatar : f->avatars)
    if (avatar == nullptr || avatar->size() != kAvatarSize) return bad("avatar is not 40 x 40");
  if (f->picture_avatar == nullptr) return bad("picture avatar could not be made");
  for (const ImageRef& effect : {f->blurred, f->masked, f->light})
    if (effect == nullptr || effect->size() != f->picture->size())
      return bad("effect is not the picture's size");
  return f;
}

std::string RunPictureWork(Kind kind, const PictureFixtures& f, std::mt19937_64& random) {
  switch (kind) {
    case Kind::kPng: {
      const std::optional<Data> png = platform::PNGData(*f.picture);
      if (png != f.png) return "PNGData gave other bytes";
      return SameImage(Read(*png), f.png_read, "PNG read");
    }
    case Kind::kJpeg: {
      const std::optional<Data> jpeg = platform::JPEGData(*f.opaque, 0.85);
      if (jpeg != f.jpeg) return "JPEGData gave other bytes";
      if (std::string why = SameImage(Read(*jpeg), f.jpeg_read, "JPEG read"); !why.empty())
        return why;
      if (std::string why = SameImage(Read(*jpeg, 32, 24), f.jpeg_reduced, "reduced JPEG read");
          !why.empty())
        return why;
      if (Compressed(*f.opaque) != f.compressed) return "compressToJPEG gave other bytes";
      return {};
    }
    case Kind::kResize:
      if (random() % 4 == 0)
        return SameImage(Resize::resizedImage(*f.small, {640, 480}, platform::kInterpolationMedium),
                         f.enlarged, "banded enlargement");
      return SameImage(Resize::resizedImage(*f.picture, {40, 30}, platform::kInterpolationHigh),
                       f.reduced, "reduction");
    case Kind::kAvatar: {
      const std::size_t i = random() % (f.avatars.size() + 1);
      if (i == f.avatars.size())
        return SameImage(PictureAvatar(f), f.picture_avatar, "picture avatar");
      return SameImage(PersonAvatar(kAvatarPeople[i]), f.avatars[i], "initials avatar");
    }
    case Kind::kEffect:
      switch (random() % 3) {
        case 0:
          return SameImage(Blurred(f), f.blurred, "tinted blur");
        case 1:
          return SameImage(Masked(f), f.masked, "masked blur");
        default:
          return SameImage(UIImageEffects::imageByApplyingLightEffectToImage(f.picture), f.light,
                           "light effect");
      }
    default:
      return "not a picture kind";
  }
}

}  // namespace kelvane::soak
