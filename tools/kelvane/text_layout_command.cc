// SPDX-License-Identifier: Apache-2.0
// `kelvane text size TEXT [--font NAME] [--size PT] [--width W] [--mode MODE]`,
// `kelvane text draw TEXT -o OUT.png [--font NAME] [--size PT] [--colour RRGGBB]
//  [--width W --height H]` and `kelvane text fit TEXT [--size PT] --min PT --width W`.
// Demo step: a price label shrunk to fit a width and drawn to a PNG.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include "kelvane/colours/color_cache.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/fonts/text_layout.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/text/text_drawing.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/files.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

using platform::Font;
using platform::FontRef;

struct TextOptions {
  std::string text, font, mode = "wrap", colour = "000000";
  OutputOption output;
  double size = 17, min = 1, width = 0, height = 0;
};

const std::map<std::string, int> kModes = {{"wrap", 0}, {"char", 1}, {"clip", 2},
                                           {"head", 3}, {"tail", 4}, {"middle", 5}};

// TEXT, --font and --size, which every text command takes.
void AddFontOptions(CLI::App* command, TextOptions& o) {
  command->add_option("TEXT", o.text, "the text (UTF-8)")->required();
  command->add_option("--font", o.font,
                      "an installed font: PostScript name, full name or family "
                      "(default: the system font)");
  command->add_option("--size", o.size, "point size")
      ->check(Number(0.01, Font::kMaxPointSize))
      ->capture_default_str();
}

// A width or height in points, above 0.
CLI::Validator Extent() { return Number(0, kMaxSide, Low::kExcluded); }

// The font asked for. Throws Failure when the name finds no installed face.
FontRef ChosenFont(const TextOptions& o) {
  FontRef font = o.font.empty() ? Font::System(o.size) : Font::Named(Text(o.font), o.size);
  if (font == nullptr) throw Failure("--font: no installed font is called \"" + o.font + "\"");
  return font;
}

std::string Points(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

// Draws `text` on white into a PNG at scale 2, and gives the picture written.
platform::ImageRef DrawToPng(const String& text, const FontRef& font,
                             const platform::ColorRef& colour, platform::Size size,
                             const std::string& path) {
  const platform::ImageRenderer renderer(size, {2.0, false});
  const platform::ImageRef image = renderer.Image([&](platform::GraphicsContext& c) {
    c.SetFillColor(1, 1, 1, 1);
    c.FillRect({0, 0, size.width, size.height});
    (void)NSTools::DrawInRect(text, {0, 0, size.width, size.height}, font, colour);
  });
  if (image == nullptr) throw Failure(path + ": no drawing surface of that size");
  WritePNG(*image, path);
  return image;
}

// The text of a command, refused with the layout's reason when it is past the layout's limits
// (the library would measure it as zero and draw nothing).
String LaidOutText(const std::string& command, const TextOptions& o) {
  String text = Text(o.text);
  if (const auto refused = platform::CheckLayoutLimits(text)) {
    throw Failure(
        command + ": " +
        (refused->message.empty() ? "text too long to lay out" : Reason(refused->message)));
  }
  return text;
}

int RunSize(const TextOptions& o) {
  const String text = LaidOutText("text size", o);
  const FontRef font = ChosenFont(o);
  const platform::Size size =
      o.width > 0 ? NSTools::SizeWithFont(text, font, {o.width, std::numeric_limits<double>::max()},
                                          kModes.at(o.mode))
                  : NSTools::SizeWithFont(text, font);
  std::cout << Points(size.width) << " x " << Points(size.height) << " points ("
            << Utf8(font->name()) << ' ' << Points(font->point_size()) << ")\n";
  return 0;
}

int RunDraw(const TextOptions& o) {
  const std::string& out = o.output.Path();
  const String text = LaidOutText("text draw", o);
  const FontRef font = ChosenFont(o);
  platform::Size size = NSTools::SizeWithFont(text, font);
  if (o.width > 0) size = NSTools::SizeWithFont(text, font, {o.width, 1e9});
  if (o.width > 0) size.width = o.width;
  if (o.height > 0) size.height = o.height;
  if (!(size.width > 0 && size.height > 0)) {
    throw Failure("text draw: nothing to draw: the size is empty");
  }
  if (size.width > kMaxSide || size.height > kMaxSide) {
    throw Failure("text draw: the text takes " + Points(size.width) + " x " + Points(size.height) +
                  " points, over the picture limit of " + Points(kMaxSide) +
                  " a side: give --width and --height");
  }
  const platform::ImageRef image =
      DrawToPng(text, font, Create::ColorForRGB(*ParseRGB(o.colour)), size, out);
  SayWritten(out, Points(size.width) + " x " + Points(size.height) + " points at scale 2, " +
                      PixelSize(*image));
  return 0;
}

int RunFit(const TextOptions& o) {
  if (o.min > o.size) {
    throw UsageError("--min " + Points(o.min) + " is above --size " + Points(o.size) +
                     ": the text shrinks from --size down to --min");
  }
  const String text = LaidOutText("text fit", o);
  const FontRef font = ChosenFont(o);
  double actual = 0;
  const platform::Size size = NSTools::SizeWithFont(text, font, o.min, &actual, o.width, 0);
  std::cout << "size used: " << Points(actual) << " (" << Points(size.width) << " x "
            << Points(size.height) << " points"
            << (size.width <= o.width ? "" : ", still wider than the width") << ")\n";
  return 0;
}

}  // namespace

void AddText(Tool& tool) {
  CLI::App* text = tool.app.add_subcommand("text", "measure, draw and fit text with a font");
  text->require_subcommand(1);

  auto size_options = std::make_shared<TextOptions>();
  CLI::App* size = text->add_subcommand("size", "the size of the text, in whole points");
  AddFontOptions(size, *size_options);
  size->add_option("--width", size_options->width,
                   "lay the text out within this width in points (default: one line)")
      ->check(Extent());
  size->add_option("--mode", size_options->mode, "line breaks, with --width")
      ->check(OneOf({"wrap", "char", "clip", "head", "tail", "middle"}))
      ->capture_default_str();
  tool.Runs(size, [size_options] { return RunSize(*size_options); });

  auto draw_options = std::make_shared<TextOptions>();
  CLI::App* draw = text->add_subcommand("draw", "draw the text on white into a PNG file");
  AddFontOptions(draw, *draw_options);
  draw_options->output.Add(draw, "the PNG file to write: .png", false, Written::kPNG);
  draw->add_option("--colour", draw_options->colour, "text colour")
      ->check(Colour())
      ->capture_default_str();
  draw->add_option("--width", draw_options->width, "picture width in points (default: the text's)")
      ->check(Extent());
  draw->add_option("--height", draw_options->height,
                   "picture height in points (default: the text's)")
      ->check(Extent());
  tool.Runs(draw, [draw_options] { return RunDraw(*draw_options); });

  auto fit_options = std::make_shared<TextOptions>();
  CLI::App* fit = text->add_subcommand("fit", "shrink the font until the text fits a width");
  AddFontOptions(fit, *fit_options);
  fit->add_option("--min", fit_options->min, "smallest point size to try, at most --size")
      ->required()
      ->check(Number(1, Font::kMaxPointSize));
  fit->add_option("--width", fit_options->width, "the width to fit, in points")
      ->required()
      ->check(Extent());
  tool.Runs(fit, [fit_options] { return RunFit(*fit_options); });
}

int DemoText(DemoContext& context) {
  std::ostream& out = context.out;
  const String label = u"EUR/USD 1.08542 ▲ +0.35%";
  const double width = 150;
  const FontRef font = Font::BoldSystem(17);
  if (font == nullptr) throw Failure("text: no system font");
  out << "$ kelvane text size \"" << Utf8(label) << "\" --size 17\n";
  const platform::Size full = NSTools::SizeWithFont(label, font);
  out << Points(full.width) << " x " << Points(full.height) << " points in " << Utf8(font->name())
      << "\n";
  double actual = 0;
  const platform::Size fitted = NSTools::SizeWithFont(label, font, 9, &actual, width, 0);
  out << "Shrunk to fit " << Points(width) << " points: " << Points(actual) << " points, "
      << Points(fitted.width) << " x " << Points(fitted.height) << "\n";
  const FontRef used = Font::Named(font->name(), actual);
  const auto green = platform::Color::RGB(0.05, 0.55, 0.25, 1);
  const std::string path = (context.work_dir / "price_label.png").string();
  DrawToPng(label, used, green, {width, fitted.height}, path);
  out << "Drew the label into " << path << '\n';
  return 0;
}

}  // namespace kelvane::cli
