// SPDX-License-Identifier: Apache-2.0
// `kelvane image info FILE...`, `kelvane image convert IN OUT`, and the image operations:
// `resize`, `jpeg` (to a side limit), `pixel` and `tint`. `effect` lives in its own file.
// Every command that writes takes the file as -o/--output or, as it always did, a positional
// OUT; a name ending in .png is written as PNG, one ending in .jpg or .jpeg (or none) as JPEG at
// --quality, and any other refused before the input is read.
// Demo steps: a small picture drawn, saved as PNG and JPEG, and described; a larger picture
// drawn, turned, resized, compressed to a limit and tinted.
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kelvane/colours/avatar.h"
#include "kelvane/colours/color_cache.h"
#include "kelvane/images/create.h"
#include "kelvane/images/processing.h"
#include "kelvane/images/resize.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/files.h"
#include "tools/kelvane/gallery.h"
#include "tools/kelvane/image_effect_command.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

using platform::Image;
using platform::ImageRef;

// The interpolation names, and the numbers the library takes for them.
constexpr std::pair<const char*, int> kInterpolations[] = {
    {"default", platform::kInterpolationDefault}, {"none", platform::kInterpolationNone},
    {"low", platform::kInterpolationLow},         {"medium", platform::kInterpolationMedium},
    {"high", platform::kInterpolationHigh},
};

std::optional<int> InterpolationNumber(std::string_view name) {
  for (const auto& [known, number] : kInterpolations) {
    if (name == known) return number;
  }
  return std::nullopt;
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
                Printable(name).c_str(), raster.width(), raster.height(), size.width, size.height,
                image.scale(), image.orientation(), OrientationName(image.orientation()),
                AlphaName(raster.alpha_info()), raster.bitmap_info(),
                raster.color_space() == platform::ColorSpace::kRGB ? "RGB" : "grey");
  out << line;
}

// "RRGGBB" as a colour name in output.
std::string HexRGB(std::uint32_t rgb) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%06X", rgb & 0xFFFFFF);
  return hex;
}

// ---- info, convert ----------------------------------------------------------------------------

int RunInfo(const std::vector<std::string>& files) {
  int status = 0;
  for (const std::string& file : files) {
    try {
      Describe(std::cout, file, *LoadPicture(file));
    } catch (const Failure& e) {
      status = Fail(e.what());
    }
  }
  return status;
}

struct ConvertOptions {
  std::string in;
  OutputOption output;
  double quality = 0.9;
};

int RunConvert(const ConvertOptions& o) {
  const std::string& out = o.output.Path();
  const ImageRef image = LoadPicture(o.in);
  WritePicture(*image, out, o.quality);
  SayWritten(out, PixelSize(*image));
  return 0;
}

// ---- resize -----------------------------------------------------------------------------------

struct ResizeOptions {
  std::string in;
  OutputOption output;
  std::string size, fit, fill;
  double ratio = 0;
  std::string interpolation = "default";
  // A JPEG quality; or, the old spelling, an interpolation name.
  std::string quality;
};

int RunResize(const ResizeOptions& o, const CLI::App* command) {
  const std::string& out = o.output.Path();
  std::string interpolation = o.interpolation;
  double jpeg_quality = 0.9;
  if (!o.quality.empty()) {
    if (InterpolationNumber(o.quality)) {
      if (command->count("--interpolation") > 0) {
        throw UsageError("--quality " + o.quality +
                         " is the old spelling of --interpolation: give one of them");
      }
      interpolation = o.quality;
    } else {
      jpeg_quality = *ParseNumber(o.quality);
    }
  }
  const int number = *InterpolationNumber(interpolation);
  const PictureFile file = ReadPictureFile(o.in);
  // The new size as the library sizes it from the whole picture (scale 1: points are pixels).
  const platform::PixelSize shown = PictureSize(file);
  const double w = shown.width, h = shown.height;
  platform::Size size;
  if (o.size.empty() && o.fit.empty() && o.fill.empty()) {  // --ratio, the one left
    size = {w * o.ratio, h * o.ratio};
  } else if (!o.size.empty()) {
    size = *ParseBox(o.size);
  } else {
    const bool fit = !o.fit.empty();
    const platform::Size bounds = *ParseBox(fit ? o.fit : o.fill);
    const double across = bounds.width / w, down = bounds.height / h;
    const double ratio = fit ? (across < down ? across : down) : (across > down ? across : down);
    size = {w * ratio, h * ratio};
  }
  // A picture made smaller is read no larger than the new pixels need: covering them, so the
  // resize still only reduces, and its size is the same. The nearest pixel (interpolation none)
  // is taken from the picture as it is.
  const platform::Rect pixels = platform::Rect(0, 0, size.width, size.height).Integral();
  platform::ReadOptions options;
  if (number != platform::kInterpolationNone && pixels.width >= 1 && pixels.height >= 1 &&
      pixels.width <= w && pixels.height <= h) {
    options = {static_cast<std::uint32_t>(pixels.width), static_cast<std::uint32_t>(pixels.height),
               platform::ReadFit::kCover};
  }
  const ImageRef image = LoadPicture(file, options);
  const ImageRef resized = Resize::resizedImage(*image, size, number);
  if (resized == nullptr) throw Failure("resize: no picture of that size can be made");
  WritePicture(*resized, out, jpeg_quality);
  SayWritten(out, PixelSize(*resized));
  return 0;
}

// ---- jpeg, pixel, tint ------------------------------------------------------------------------

struct JPEGOptions {
  std::string in;
  OutputOption output;
  double limit = 0;
  double quality = 0.8;
};

// The picture for `jpeg`: read at the size compressToJPEG makes of the whole picture for the
// limit, so that the file written has the same size as before.
ImageRef LoadForLimit(const JPEGOptions& o) {
  const PictureFile file = ReadPictureFile(o.in);
  const platform::PixelSize shown = PictureSize(file);
  const double w = shown.width, h = shown.height;
  // As compressToJPEG sizes the picture (resize.h): each side divided by the longer side over
  // the limit, rounded down in single precision.
  const double ratio = (w > h ? w : h) / o.limit;
  if (!(ratio > 1)) return LoadPicture(file, {});
  const platform::Size size{std::floor(static_cast<float>(w / ratio)),
                            std::floor(static_cast<float>(h / ratio))};
  if (!(size.width >= 1 && size.height >= 1)) return LoadPicture(file, {});
  // Read at exactly that size: its sides are rounded down each on its own, which a fitted
  // read would not always give.
  return LoadPictureAtSize(
      file, {static_cast<std::uint32_t>(size.width), static_cast<std::uint32_t>(size.height)});
}

int RunJPEG(const JPEGOptions& o) {
  const std::string& out = o.output.Path();
  const ImageRef image = LoadForLimit(o);
  platform::Size adjusted;
  const auto data = Resize::compressToJPEG(*image, o.quality, o.limit, &adjusted);
  if (!data) throw Failure("jpeg: nothing to encode at that limit");
  WriteOutput(out, *data);
  std::cout << "adjusted size " << adjusted.width << " x " << adjusted.height << " points\n";
  const platform::RasterRef written = platform::DecodeJPEG(*data);
  SayWritten(out, written == nullptr ? ""
                                     : std::to_string(written->width()) + " x " +
                                           std::to_string(written->height()) + " px");
  return 0;
}

struct PixelOptions {
  std::string in;
  std::int64_t x = 0, y = 0;
};

int RunPixel(const PixelOptions& o) {
  const ImageRef image = LoadPicture(o.in);
  const std::int64_t width = image->raster()->width(), height = image->raster()->height();
  // The library reads a point past the end of a row in the next row: refuse it here.
  if (o.x >= width) {
    throw UsageError("X: " + std::to_string(o.x) + " is outside the picture's columns 0 to " +
                     std::to_string(width - 1));
  }
  if (o.y >= height) {
    throw UsageError("Y: " + std::to_string(o.y) + " is outside the picture's rows 0 to " +
                     std::to_string(height - 1));
  }
  const ColorRef colour =
      Processing::colorInPixel(*image, {static_cast<double>(o.x), static_cast<double>(o.y)});
  if (colour == nullptr) throw Failure("pixel: the picture cannot be read");
  std::cout << HexRGB(Create::rgba(*colour)) << '\n';
  return 0;
}

struct TintOptions {
  std::string in;
  OutputOption output;
  std::string colour;
  std::string positional_colour;  // the old spelling: IN OUT RRGGBB
  double quality = 0.9;
};

int RunTint(const TintOptions& o) {
  // IN OUT RRGGBB as before; with -o or --colour, the positionals after IN fill what is left.
  std::string out = o.output.option(), colour = o.colour;
  for (const std::string* value : {&o.output.positional(), &o.positional_colour}) {
    if (value->empty()) continue;
    std::string& slot = out.empty() ? out : colour;
    if (!slot.empty()) throw UsageError("one argument too many: " + *value);
    slot = *value;
  }
  if (out.empty()) throw UsageError("the output file is required: -o/--output FILE");
  CheckWritable(out, Written::kPicture);
  if (colour.empty()) throw UsageError("the colour is required: --colour RRGGBB");
  if (std::string problem = Colour()(colour); !problem.empty()) {
    throw UsageError("--colour: " + problem);
  }
  const ImageRef tinted =
      Create::imageWithTint(*LoadPicture(o.in), Create::ColorForRGB(*ParseRGB(colour)));
  if (tinted == nullptr) throw Failure("tint: the picture cannot be drawn");
  WritePicture(*tinted, out, o.quality);
  SayWritten(out, PixelSize(*tinted));
  return 0;
}

}  // namespace

void AddImage(Tool& tool) {
  CLI::App* image =
      tool.app.add_subcommand("image", "pictures: describe, convert, resize, tint, blur");
  image->require_subcommand(1);

  CLI::App* info = image->add_subcommand(
      "info", "pixels, points, scale, orientation, alpha layout and colour space of each file");
  auto files = std::make_shared<std::vector<std::string>>();
  info->add_option("FILE", *files, "pictures: PNG, JPEG, WebP, GIF, HEIC or AVIF")
      ->required()
      ->type_name("FILE");
  tool.Runs(info, [files] { return RunInfo(*files); });

  CLI::App* convert = image->add_subcommand("convert", "load IN and save it upright");
  auto convert_options = std::make_shared<ConvertOptions>();
  convert->add_option("IN", convert_options->in, "picture: PNG, JPEG, WebP, GIF, HEIC or AVIF")
      ->required()
      ->type_name("FILE");
  convert_options->output.Add(convert, "file to write: .png, .jpg or .jpeg", true,
                              Written::kPicture);
  AddJPEGQuality(convert, convert_options->quality);
  tool.Runs(convert, [convert_options] { return RunConvert(*convert_options); });

  CLI::App* resize = image->add_subcommand("resize", "draw IN upright at a new size and save it");
  auto resize_options = std::make_shared<ResizeOptions>();
  ResizeOptions& r = *resize_options;
  resize->add_option("IN", r.in, "picture: PNG, JPEG, WebP, GIF, HEIC or AVIF")
      ->required()
      ->type_name("FILE");
  r.output.Add(resize, "file to write: .png, .jpg or .jpeg", true, Written::kPicture);
  CLI::Option_group* size = resize->add_option_group("size", "exactly one of these");
  size->add_option("--size", r.size, "new size in pixels")->check(Box());
  size->add_option("--ratio", r.ratio, "scale factor for both sides")
      ->check(Number(0, 100, Low::kExcluded));
  size->add_option("--fit", r.fit, "fit the whole picture inside this box, in points")
      ->check(Box());
  size->add_option("--fill", r.fill, "cover this box, in points")->check(Box());
  size->require_option(1);
  resize->add_option("--interpolation", r.interpolation, "how pixels are made")
      ->check(OneOf({"default", "none", "low", "medium", "high"}))
      ->capture_default_str();
  resize
      ->add_option("--quality", r.quality,
                   "JPEG quality from 0 to 1 when the file written is not .png (default 0.9); "
                   "an interpolation name here is the old spelling of --interpolation")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (InterpolationNumber(text)) return {};
            const std::string problem = Number(0, 1)(text);
            return problem.empty() ? problem : problem + ", nor an interpolation name";
          },
          "from 0 to 1", kRangeValidator));
  tool.Runs(resize, [resize_options, resize] { return RunResize(*resize_options, resize); });

  CLI::App* jpeg = image->add_subcommand(
      "jpeg", "save IN upright as JPEG, its longer side at most --limit pixels");
  auto jpeg_options = std::make_shared<JPEGOptions>();
  jpeg->add_option("IN", jpeg_options->in, "picture: PNG, JPEG, WebP, GIF, HEIC or AVIF")
      ->required()
      ->type_name("FILE");
  jpeg_options->output.Add(jpeg, "JPEG file to write: .jpg or .jpeg", true, Written::kJPEG);
  jpeg->add_option("--limit", jpeg_options->limit, "longest side in pixels")
      ->required()
      ->check(Integer(1, 65500));
  AddJPEGQuality(jpeg, jpeg_options->quality);
  tool.Runs(jpeg, [jpeg_options] { return RunJPEG(*jpeg_options); });

  CLI::App* pixel =
      image->add_subcommand("pixel", "colour (RRGGBB, premultiplied) of one stored pixel");
  auto pixel_options = std::make_shared<PixelOptions>();
  pixel->add_option("IN", pixel_options->in, "picture: PNG, JPEG, WebP, GIF, HEIC or AVIF")
      ->required()
      ->type_name("FILE");
  pixel->add_option("X", pixel_options->x, "column, from the left")
      ->required()
      ->check(Integer(0, std::numeric_limits<std::int32_t>::max()));
  pixel->add_option("Y", pixel_options->y, "row, from the top")
      ->required()
      ->check(Integer(0, std::numeric_limits<std::int32_t>::max()));
  tool.Runs(pixel, [pixel_options] { return RunPixel(*pixel_options); });

  CLI::App* tint =
      image->add_subcommand("tint", "paint the coverage of IN in one colour and save it");
  auto tint_options = std::make_shared<TintOptions>();
  tint->add_option("IN", tint_options->in, "picture: PNG, JPEG, WebP, GIF, HEIC or AVIF")
      ->required()
      ->type_name("FILE");
  tint_options->output.Add(tint, "file to write: .png, .jpg or .jpeg", true, Written::kPicture);
  tint->add_option("RRGGBB", tint_options->positional_colour, "the same as --colour");
  tint->add_option("--colour", tint_options->colour, "the colour")->check(Colour());
  AddJPEGQuality(tint, tint_options->quality);
  tool.Runs(tint, [tint_options] { return RunTint(*tint_options); });

  AddImageEffect(tool, *image);
}

int DemoImage(DemoContext& context) {
  std::ostream& out = context.out;
  // A 60 x 40 point badge at scale 2: a vertical gradient clipped to an ellipse.
  const platform::ImageRenderer renderer({60, 40}, {2.0, false});
  const auto gradient = platform::Gradient::WithColorComponents(
      std::vector<double>{0.93, 0.56, 0.22, 1, 0.98, 0.77, 0.20, 1}, {}, 2);
  if (gradient == nullptr) throw Failure("image: cannot make the gradient");
  const ImageRef badge = renderer.Image([&](platform::GraphicsContext& c) {
    c.AddEllipseInRect({1, 1, 58, 38});
    c.Clip();
    c.DrawLinearGradient(*gradient, {0, 0}, {0, 40}, 0);
  });
  if (badge == nullptr) throw Failure("image: cannot draw");
  out << "Drew a 60 x 40 point badge at scale 2 (a gradient clipped to an ellipse).\n";
  const std::string png = (context.work_dir / "badge.png").string();
  const std::string jpeg = (context.work_dir / "badge.jpg").string();
  WritePNG(*badge, png);
  WritePicture(*badge, jpeg, 0.8);
  out << "Saved it as PNG and as JPEG at quality 0.8 (encoder quality "
      << platform::JPEGQuality(0.8) << ").\n$ kelvane image info badge.png badge.jpg\n";
  for (const std::string& file : {png, jpeg}) {
    Describe(out, file.substr(file.rfind('/') + 1), *LoadPicture(file));
  }

  // Files from strangers are refused with their reason, at once and without a large allocation:
  // the badge cut in half, a header that claims 100000 x 100000 pixels, and a named pipe.
  const Data whole = ReadInput(png);
  const auto path = [&](const char* name) { return (context.work_dir / name).string(); };
  WriteOutput(path("cut.bin"), std::span(whole).first(whole.size() / 2));
  Data huge(whole.begin(), whole.begin() + 33);
  for (const std::size_t at : {16u, 20u}) {  // the header's width and height, big-endian
    const std::uint32_t side = 100000;
    for (int i = 0; i < 4; ++i) huge[at + i] = static_cast<std::uint8_t>(side >> (24 - 8 * i));
  }
  WriteOutput(path("huge.bin"), huge);
  if (::mkfifo(path("pipe.bin").c_str(), 0600) != 0) throw Failure("image: cannot make a pipe");
  out << "$ kelvane image info cut.bin huge.bin pipe.bin\n";
  for (const char* name : {"cut.bin", "huge.bin", "pipe.bin"}) {
    const platform::Result<ImageRef> refused = platform::ReadImageFile(path(name));
    out << "kelvane: " << name << ": "
        << (refused ? "loaded, which it should not have" : Reason(refused.error().message)) << '\n';
  }
  return 0;
}

int DemoImageOperations(DemoContext& context) {
  std::ostream& out = context.out;
  const ImageRef picture = DrawLandscape();
  if (picture == nullptr) throw Failure("image: cannot draw the picture");
  auto path = [&](const char* name) { return (context.work_dir / name).string(); };
  WritePNG(*picture, path("picture.png"));
  context.facts.picture_file = path("picture.png");
  out << "Drew a 240 x 160 point landscape at scale 2 (gradients, a sun, hills, a house): "
      << path("picture.png") << "\n";

  // The same pixels, stored as a camera turned on its side would store them.
  const ImageRef turned = Image::Make(picture->raster(), 2.0, platform::kOrientationRight);
  if (turned == nullptr) throw Failure("image: cannot turn");
  const platform::Size shown = Resize::sizeInPixels(*turned);
  out << "Marked it with orientation 3 (right): shown " << shown.width << " x " << shown.height
      << " pixels, the sun now top right.\n";
  const ImageRef small = Resize::resizedImage(*turned, {shown.width / 4, shown.height / 4},
                                              platform::kInterpolationHigh);
  if (small == nullptr) throw Failure("image: cannot resize");
  WritePNG(*small, path("picture-upright-quarter.png"));
  out << "Resized to a quarter with the turn baked in: " << small->raster()->width() << " x "
      << small->raster()->height() << " pixels, orientation " << small->orientation() << ": "
      << path("picture-upright-quarter.png") << "\n";
  // Enlarged with the cubic; a picture this large is split into bands over the worker pool.
  const auto started = std::chrono::steady_clock::now();
  const ImageRef large = Resize::resizedImageWithRatio(*picture, 8, platform::kInterpolationHigh);
  const auto took =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started);
  if (large == nullptr) throw Failure("image: cannot enlarge");
  WritePNG(*large, path("picture-x4-cubic.png"));
  out << "Enlarged with the cubic from " << picture->raster()->width() << " x "
      << picture->raster()->height() << " to " << large->raster()->width() << " x "
      << large->raster()->height() << " pixels in " << std::lround(took.count()) << " ms, on up to "
      << platform::ConcurrencyWidth()
      << " threads (kelvane --one-thread keeps it on one): " << path("picture-x4-cubic.png")
      << "\n";
  // The enlargement as a phone photo, and a 128-point avatar at scale 3 from it: read whole,
  // then read for the 384 pixels the avatar covers (the JPEG decoded at a fraction of its sides).
  WritePicture(*large, path("photo.jpg"), 0.9);
  const auto timed = [](const auto& work) {
    const auto begun = std::chrono::steady_clock::now();
    work();
    return std::lround(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun)
            .count());
  };
  ImageRef whole, reduced;
  const long whole_ms = timed([&] { whole = LoadPicture(path("photo.jpg")); });
  const long reduced_ms = timed([&] {
    reduced = LoadPicture(path("photo.jpg"), {384, 384, platform::ReadFit::kCover});
  });
  out << "Saved it as photo.jpg and read it back: whole, " << whole->raster()->width() << " x "
      << whole->raster()->height() << " pixels in " << whole_ms << " ms; for a 384-pixel avatar, "
      << reduced->raster()->width() << " x " << reduced->raster()->height() << " pixels in "
      << reduced_ms << " ms.\n";
  const ImageRef avatar = [&] {
    const platform::ScopedScreenOverrides scale3(platform::ScreenOverrides{.scale = 3.0});
    return Avatar::Avatar(reduced, Avatar::kModeFill, nullptr, {128, 128}, Avatar::kClipCircle);
  }();
  if (avatar == nullptr) throw Failure("image: cannot draw the avatar");
  WritePNG(*avatar, path("photo-avatar.png"));
  out << "$ kelvane avatar --picture photo.jpg --mode fill --size 128 --scale 3 --clip circle\n"
      << "Drew it as a 128-point avatar at scale 3: " << path("photo-avatar.png") << "\n";

  const ImageRef fitted = Resize::resizedImageWithContentMode(
      *turned, platform::kContentModeFit, {100, 100}, platform::kInterpolationDefault);
  if (fitted == nullptr) throw Failure("image: cannot fit");
  WritePNG(*fitted, path("picture-fit-100.png"));
  out << "Fitted into 100 x 100: " << fitted->raster()->width() << " x "
      << fitted->raster()->height() << " pixels: " << path("picture-fit-100.png") << "\n";

  platform::Size adjusted;
  const auto jpeg = Resize::compressToJPEG(*turned, 0.8, 200, &adjusted);
  if (!jpeg) throw Failure("image: cannot compress");
  WriteOutput(path("picture-limit-200.jpg"), *jpeg);
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
  if (tinted == nullptr) throw Failure("image: cannot tint");
  WritePNG(*tinted, path("mark-tint.png"));
  out << "Tinted a grey mark blue (48 x 48 points, rendering mode " << tinted->rendering_mode()
      << "): " << path("mark-tint.png") << "\n";
  const ColorRef sun = Processing::colorInPixel(*picture, {88, 80});
  out << "Stored pixel (88, 80), in the sun: " << HexRGB(sun ? Create::rgba(*sun) : 0)
      << "; picture.png is " << (Create::isSupportdedExtension(u"picture.png") ? "" : "not ")
      << "a supported image file name.\n";
  return 0;
}

}  // namespace kelvane::cli
