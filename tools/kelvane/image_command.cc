// `kelvane image info FILE...`, `kelvane image convert IN OUT [--quality Q]`, and the image
// operations: `resize`, `jpeg` (to a side limit), `pixel` and `tint`.
// Demo steps: a small picture drawn, saved as PNG and JPEG, and described; a larger picture
// drawn, turned, resized, compressed to a limit and tinted.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "kelvane/colours/color_cache.h"
#include "kelvane/images/create.h"
#include "kelvane/images/processing.h"
#include "kelvane/images/resize.h"
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

// The image operations: resize, jpeg, pixel, tint.
struct OperationOptions {
  std::string in, out;
  std::string size, fit, fill, quality = "default", colour;
  double ratio = 0, limit = 0, jpeg_quality = 0.8, x = 0, y = 0;
  CLI::App* resize = nullptr;
  CLI::App* jpeg = nullptr;
  CLI::App* pixel = nullptr;
  CLI::App* tint = nullptr;
} operations;

void AddOperations(CLI::App& image) {
  OperationOptions& o = operations;
  o.resize = image.add_subcommand(
      "resize", "draw IN upright at a new size and save it as OUT (.png, else JPEG)");
  o.resize->add_option("IN", o.in, "PNG or JPEG file")->required();
  o.resize->add_option("OUT", o.out, "file to write")->required();
  auto* size = o.resize->add_option("--size", o.size, "new size in pixels, WxH");
  auto* ratio = o.resize->add_option("--ratio", o.ratio, "scale factor for both sides");
  auto* fit = o.resize->add_option("--fit", o.fit, "fit the whole picture inside WxH");
  auto* fill = o.resize->add_option("--fill", o.fill, "cover WxH");
  size->excludes(ratio, fit, fill);
  ratio->excludes(fit, fill);
  fit->excludes(fill);
  o.resize->add_option("--quality", o.quality, "interpolation: none, low, medium, high")
      ->check(CLI::IsMember({"default", "none", "low", "medium", "high"}));

  o.jpeg = image.add_subcommand("jpeg",
                                "save IN upright as JPEG, its longer side at most --limit pixels");
  o.jpeg->add_option("IN", o.in, "PNG or JPEG file")->required();
  o.jpeg->add_option("OUT", o.out, "JPEG file to write")->required();
  o.jpeg->add_option("--limit", o.limit, "longest side in pixels")->required();
  o.jpeg->add_option("--quality", o.jpeg_quality, "JPEG quality 0..1")->check(CLI::Range(0.0, 1.0));

  o.pixel = image.add_subcommand("pixel", "colour (RRGGBB, premultiplied) of one stored pixel");
  o.pixel->add_option("IN", o.in, "PNG or JPEG file")->required();
  o.pixel->add_option("X", o.x, "column")->required();
  o.pixel->add_option("Y", o.y, "row, from the top")->required();

  o.tint = image.add_subcommand("tint", "paint the coverage of IN in one colour, save as OUT");
  o.tint->add_option("IN", o.in, "PNG or JPEG file")->required();
  o.tint->add_option("OUT", o.out, "file to write (.png, else JPEG)")->required();
  o.tint->add_option("RRGGBB", o.colour, "colour in hex")->required();
}

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
  AddOperations(*image);
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

bool EndsWithPNG(const std::string& path) {
  return path.size() >= 4 && (path.compare(path.size() - 4, 4, ".png") == 0 ||
                              path.compare(path.size() - 4, 4, ".PNG") == 0);
}

bool Save(const Image& image, const std::string& path) {
  return EndsWithPNG(path) ? platform::SavePNG(image, path) : platform::SaveJPEG(image, 0.9, path);
}

bool WriteFile(const std::string& path, const Data& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out.flush());
}

// "WxH" with both sides numbers above 0.
std::optional<platform::Size> ParseSize(const std::string& text) {
  double w = 0, h = 0;
  char x = 0, extra = 0;
  if (std::sscanf(text.c_str(), "%lf%c%lf%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') ||
      !(w > 0 && h > 0) || !std::isfinite(w) || !std::isfinite(h)) {
    return std::nullopt;
  }
  return platform::Size{w, h};
}

int QualityNumber(const std::string& name) {
  if (name == "none") return platform::kInterpolationNone;
  if (name == "low") return platform::kInterpolationLow;
  if (name == "medium") return platform::kInterpolationMedium;
  if (name == "high") return platform::kInterpolationHigh;
  return platform::kInterpolationDefault;
}

int RunOperation() {
  OperationOptions& o = operations;
  const ImageRef image = platform::LoadImage(o.in);
  if (image == nullptr) return Fail(o.in + ": not a readable PNG or JPEG picture");
  if (o.resize->parsed()) {
    const std::string& box = !o.size.empty() ? o.size : !o.fit.empty() ? o.fit : o.fill;
    const int quality = QualityNumber(o.quality);
    ImageRef resized;
    if (o.resize->count("--ratio") > 0) {
      resized = Resize::resizedImageWithRatio(*image, o.ratio, quality);
    } else if (box.empty()) {
      return Fail("resize: give one of --size, --ratio, --fit or --fill");
    } else {
      const std::optional<platform::Size> size = ParseSize(box);
      if (!size) return Fail("resize: a size is WxH with both sides above 0, not " + box);
      resized = !o.size.empty() ? Resize::resizedImage(*image, *size, quality)
                                : Resize::resizedImageWithContentMode(*image, o.fit.empty() ? 2 : 1,
                                                                      *size, quality);
    }
    if (resized == nullptr) return Fail("resize: no picture of that size can be made");
    if (!Save(*resized, o.out)) return Fail("cannot write " + o.out);
    std::cout << o.out << ": " << resized->raster()->width() << " x " << resized->raster()->height()
              << " pixels\n";
    return 0;
  }
  if (o.jpeg->parsed()) {
    platform::Size adjusted;
    const auto data = Resize::compressToJPEG(*image, o.jpeg_quality, o.limit, &adjusted);
    std::cout << "adjusted size " << adjusted.width << " x " << adjusted.height << " points\n";
    if (!data) return Fail("jpeg: nothing to encode at that limit");
    if (!WriteFile(o.out, *data)) return Fail("cannot write " + o.out);
    std::cout << o.out << ": " << data->size() << " bytes\n";
    return 0;
  }
  if (o.pixel->parsed()) {
    const ColorRef colour = Processing::colorInPixel(*image, {o.x, o.y});
    if (colour == nullptr) return Fail("pixel: no pixel there");
    char hex[8];
    std::snprintf(hex, sizeof hex, "%06X", Create::rgba(*colour) & 0xFFFFFF);
    std::cout << hex << '\n';
    return 0;
  }
  unsigned rgb = 0;
  char extra = 0;
  if (o.colour.size() != 6 || std::sscanf(o.colour.c_str(), "%6x%c", &rgb, &extra) != 1 ||
      o.colour.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return Fail("tint: the colour is six hex digits, RRGGBB");
  }
  const ImageRef tinted = Create::imageWithTint(*image, Create::ColorForRGB(rgb));
  if (tinted == nullptr) return Fail("tint: cannot draw");
  if (!Save(*tinted, o.out)) return Fail("cannot write " + o.out);
  return 0;
}

int RunImage() {
  if (const auto status = RunImageEffect()) return *status;
  for (CLI::App* operation :
       {operations.resize, operations.jpeg, operations.pixel, operations.tint}) {
    if (operation->parsed()) return RunOperation();
  }
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
  // Subcommands added from other files run from their own callbacks.
  if (!image_options.convert->parsed()) return 0;
  const ImageRef image = platform::LoadImage(image_options.in);
  if (image == nullptr) return Fail(image_options.in + ": not a readable PNG or JPEG picture");
  const std::string& out = image_options.out;
  const bool saved = EndsWithPNG(out) ? platform::SavePNG(*image, out)
                                      : platform::SaveJPEG(*image, image_options.quality, out);
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

// A landscape of shapes and gradients, 240 x 160 points at scale 2.
ImageRef DrawPicture() {
  const platform::ImageRenderer renderer({240, 160}, {2.0, false});
  const auto sky = platform::Gradient::WithColorComponents(
      std::vector<double>{0.16, 0.33, 0.62, 1, 0.96, 0.72, 0.46, 1}, {}, 2);
  const auto ground = platform::Gradient::WithColorComponents(
      std::vector<double>{0.20, 0.52, 0.27, 1, 0.08, 0.25, 0.12, 1}, {}, 2);
  if (sky == nullptr || ground == nullptr) return nullptr;
  return renderer.Image([&](platform::GraphicsContext& c) {
    c.DrawLinearGradient(*sky, {0, 0}, {0, 110}, platform::kGradientDrawsAfterEndLocation);
    c.SetFillColor(1.0, 0.86, 0.35, 1);  // the sun, top left: the turns are easy to follow
    c.AddEllipseInRect({22, 18, 44, 44});
    c.FillPath();
    c.SaveGState();
    c.MoveTo(0, 160);  // hills
    c.AddLineTo(0, 112);
    c.AddArc(70, 150, 70, M_PI * 1.2, M_PI * 1.8, false);
    c.AddArc(185, 160, 80, M_PI * 1.15, M_PI * 1.95, false);
    c.AddLineTo(240, 160);
    c.ClosePath();
    c.Clip();
    c.DrawLinearGradient(
        *ground, {0, 90}, {0, 160},
        platform::kGradientDrawsBeforeStartLocation | platform::kGradientDrawsAfterEndLocation);
    c.RestoreGState();
    c.SetFillColor(0.55, 0.18, 0.16, 1);  // a house with a window
    c.FillRect({150, 104, 36, 30});
    c.SetFillColor(0.98, 0.93, 0.70, 1);
    c.FillRect({160, 112, 10, 10});
    c.SetStrokeColor(1, 1, 1, 0.8);
    c.SetLineWidth(3);
    c.MoveTo(146, 106);
    c.AddLineTo(168, 88);
    c.AddLineTo(190, 106);
    c.StrokePath();
  });
}

int DemoOperations(DemoContext& context) {
  std::ostream& out = context.out;
  const ImageRef picture = DrawPicture();
  if (picture == nullptr) return Fail("image: cannot draw the picture");
  auto path = [&](const char* name) { return (context.work_dir / name).string(); };
  if (!platform::SavePNG(*picture, path("picture.png"))) return Fail("image: cannot save");
  context.facts["images.picture"] = path("picture.png");
  out << "Drew a 240 x 160 point landscape at scale 2 (gradients, a sun, hills, a house): "
      << path("picture.png") << "\n";

  // The same pixels, stored as a camera turned on its side would store them.
  const ImageRef turned = Image::Make(picture->raster(), 2.0, platform::kOrientationRight);
  if (turned == nullptr) return Fail("image: cannot turn");
  const platform::Size shown = Resize::sizeInPixels(*turned);
  out << "Marked it with orientation 3 (right): shown " << shown.width << " x " << shown.height
      << " pixels, the sun now top right.\n";
  const ImageRef small = Resize::resizedImage(*turned, {shown.width / 4, shown.height / 4},
                                              platform::kInterpolationHigh);
  if (small == nullptr || !platform::SavePNG(*small, path("picture-upright-quarter.png"))) {
    return Fail("image: cannot resize");
  }
  out << "Resized to a quarter with the turn baked in: " << small->raster()->width() << " x "
      << small->raster()->height() << " pixels, orientation " << small->orientation() << ": "
      << path("picture-upright-quarter.png") << "\n";
  const ImageRef fitted = Resize::resizedImageWithContentMode(*turned, 1, {100, 100}, 0);
  if (fitted == nullptr || !platform::SavePNG(*fitted, path("picture-fit-100.png"))) {
    return Fail("image: cannot fit");
  }
  out << "Fitted into 100 x 100: " << fitted->raster()->width() << " x "
      << fitted->raster()->height() << " pixels: " << path("picture-fit-100.png") << "\n";

  platform::Size adjusted;
  const auto jpeg = Resize::compressToJPEG(*turned, 0.8, 200, &adjusted);
  if (!jpeg || !WriteFile(path("picture-limit-200.jpg"), *jpeg)) {
    return Fail("image: cannot compress");
  }
  const platform::RasterRef decoded = platform::DecodeJPEG(*jpeg);
  out << "JPEG with the longer side limited to 200 pixels: adjusted size " << adjusted.width
      << " x " << adjusted.height << " points at scale 2, " << (decoded ? decoded->width() : 0)
      << " x " << (decoded ? decoded->height() : 0) << " pixels, " << jpeg->size()
      << " bytes: " << path("picture-limit-200.jpg") << "\n";

  // A mark drawn in grey on a clear ground: the tint paints its coverage, soft edges included.
  const ImageRef mark =
      platform::ImageRenderer({48, 48}, {2.0, false}).Image([](platform::GraphicsContext& c) {
        c.SetFillColor(0.5, 0.5, 0.5, 1);
        c.AddEllipseInRect({4, 4, 40, 40});
        c.FillPath();
        c.ClearRect({14, 20, 20, 8});
      });
  const ImageRef tinted =
      mark ? Create::imageWithTint(*mark, Create::ColorForRGB(0x2A6FDB)) : nullptr;
  if (tinted == nullptr || !platform::SavePNG(*tinted, path("mark-tint.png"))) {
    return Fail("image: cannot tint");
  }
  out << "Tinted a grey mark blue (48 x 48 points, rendering mode " << tinted->rendering_mode()
      << "): " << path("mark-tint.png") << "\n";
  const ColorRef sun = Processing::colorInPixel(*picture, {88, 80});
  char hex[8];
  std::snprintf(hex, sizeof hex, "%06X", sun ? Create::rgba(*sun) & 0xFFFFFF : 0);
  out << "Stored pixel (88, 80), in the sun: " << hex << "; picture.png is "
      << (Create::isSupportdedExtension(u"picture.png") ? "" : "not ")
      << "a supported image file name.\n";
  return 0;
}

const Registrar registrar({"image", AddImage, RunImage, DemoImage, 700});
// Runs before the effects step, which takes the picture from the facts.
const Registrar operations_registrar({"image operations", nullptr, nullptr, DemoOperations, 710});

}  // namespace
}  // namespace kelvane::cli
