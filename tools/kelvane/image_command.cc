// `kelvane image info FILE...` and `kelvane image convert IN OUT [--quality Q]`.
// Demo step: a small picture drawn, saved as PNG and JPEG, and described.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "tools/kelvane/command.h"
#include "tools/kelvane/image_effect_command.h"

namespace kelvane::cli {
namespace {

using platform::Image;
using platform::ImageRef;

struct ImageOptions {
  std::vector<std::string> files;
  std::string in, out;
  double quality = 0.9;
  CLI::App* info = nullptr;
  CLI::App* convert = nullptr;
} image_options;

CLI::App* AddImage(CLI::App& app) {
  CLI::App* image = app.add_subcommand("image", "images: describe PNG and JPEG files, convert");
  image->require_subcommand(1);
  image_options.info = image->add_subcommand(
      "info", "pixels, points, scale, orientation, alpha layout and colour space of each file");
  image_options.info->add_option("FILE", image_options.files, "PNG or JPEG files")->required();
  image_options.convert =
      image->add_subcommand("convert", "load IN and save it upright as OUT (.png, else JPEG)");
  image_options.convert->add_option("IN", image_options.in, "PNG or JPEG file")->required();
  image_options.convert->add_option("OUT", image_options.out, "file to write")->required();
  image_options.convert->add_option("--quality", image_options.quality, "JPEG quality 0..1")
      ->check(CLI::Range(0.0, 1.0));
  AddImageEffect(*image);
  return image;
}

const char* OrientationName(int orientation) {
  static const char* const kNames[] = {
      "up",          "down",          "left",          "right",
      "up-mirrored", "down-mirrored", "left-mirrored", "right-mirrored"};
  return orientation >= 0 && orientation < 8 ? kNames[orientation] : "?";
}

const char* AlphaName(platform::AlphaInfo alpha) {
  static const char* const kNames[] = {
      "none",  "premultiplied-last", "premultiplied-first", "last",
      "first", "none-skip-last",     "none-skip-first",     "alpha-only"};
  const auto index = static_cast<unsigned>(alpha);
  return index < 8 ? kNames[index] : "?";
}

void Describe(std::ostream& out, const std::string& name, const Image& image) {
  const auto& raster = *image.raster();
  const platform::Size size = image.size();
  char line[320];
  std::snprintf(line, sizeof line,
                "%s: %u x %u pixels, %g x %g points, scale %g, orientation %d (%s), alpha %s "
                "(bitmap info 0x%04X), %s\n",
                name.c_str(), raster.width(), raster.height(), size.width, size.height,
                image.scale(), image.orientation(), OrientationName(image.orientation()),
                AlphaName(raster.alpha_info()), raster.bitmap_info(),
                raster.color_space() == platform::ColorSpace::kRGB ? "RGB" : "grey");
  out << line;
}

int RunImage() {
  if (const auto status = RunImageEffect()) return *status;
  if (image_options.info->parsed()) {
    int status = 0;
    for (const std::string& file : image_options.files) {
      const ImageRef image = platform::LoadImage(file);
      if (image == nullptr) {
        status = Fail(file + ": not a readable PNG or JPEG picture");
        continue;
      }
      Describe(std::cout, file, *image);
    }
    return status;
  }
  const ImageRef image = platform::LoadImage(image_options.in);
  if (image == nullptr) return Fail(image_options.in + ": not a readable PNG or JPEG picture");
  const std::string& out = image_options.out;
  const bool png = out.size() >= 4 && (out.compare(out.size() - 4, 4, ".png") == 0 ||
                                       out.compare(out.size() - 4, 4, ".PNG") == 0);
  const bool saved =
      png ? platform::SavePNG(*image, out) : platform::SaveJPEG(*image, image_options.quality, out);
  if (!saved) return Fail("cannot write " + out);
  return 0;
}

int DemoImage(DemoContext& context) {
  std::ostream& out = context.out;
  // A 60 x 40 point badge at scale 2: a vertical gradient clipped to an ellipse.
  const platform::ImageRenderer renderer({60, 40}, {2.0, false});
  const auto gradient = platform::Gradient::WithColorComponents(
      std::vector<double>{0.93, 0.56, 0.22, 1, 0.98, 0.77, 0.20, 1}, {}, 2);
  if (gradient == nullptr) return Fail("image: cannot make the gradient");
  const ImageRef badge = renderer.Image([&](platform::GraphicsContext& c) {
    c.AddEllipseInRect({1, 1, 58, 38});
    c.Clip();
    c.DrawLinearGradient(*gradient, {0, 0}, {0, 40}, 0);
  });
  if (badge == nullptr) return Fail("image: cannot draw");
  out << "Drew a 60 x 40 point badge at scale 2 (a gradient clipped to an ellipse).\n";
  const std::string png = (context.work_dir / "badge.png").string();
  const std::string jpeg = (context.work_dir / "badge.jpg").string();
  if (!platform::SavePNG(*badge, png) || !platform::SaveJPEG(*badge, 0.8, jpeg)) {
    return Fail("image: cannot save the badge");
  }
  out << "Saved it as PNG and as JPEG at quality 0.8 (encoder quality "
      << platform::JPEGQuality(0.8) << ").\n$ kelvane image info badge.png badge.jpg\n";
  for (const std::string& file : {png, jpeg}) {
    const ImageRef loaded = platform::LoadImage(file);
    if (loaded == nullptr) return Fail("image: cannot load " + file);
    Describe(out, file.substr(file.rfind('/') + 1), *loaded);
  }
  return 0;
}

const Registrar registrar({"image", AddImage, RunImage, DemoImage, 700});

}  // namespace
}  // namespace kelvane::cli
