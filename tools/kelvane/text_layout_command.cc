// `kelvane text size TEXT [--font NAME] [--size PT] [--width W] [--mode MODE]`,
// `kelvane text draw TEXT -o OUT.png [--font NAME] [--size PT] [--colour RRGGBB]
//  [--width W --height H]` and `kelvane text fit TEXT --size PT --min PT --width W`.
// Demo step: a price label shrunk to fit a width and drawn to a PNG.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <map>
#include <string>

#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/text/text_drawing.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

using platform::Font;
using platform::FontRef;

struct TextOptions {
  std::string text, font, mode = "wrap", out, colour = "000000";
  double size = 17, min = 0, width = 0, height = 0;
  CLI::App* size_command = nullptr;
  CLI::App* draw = nullptr;
  CLI::App* fit = nullptr;
} text_options;

const std::map<std::string, int> kModes = {{"wrap", 0}, {"char", 1}, {"clip", 2},
                                           {"head", 3}, {"tail", 4}, {"middle", 5}};

void AddFontOptions(CLI::App* command) {
  command->add_option("TEXT", text_options.text, "the text (UTF-8)")->required();
  command->add_option("--font", text_options.font,
                      "an installed font: PostScript name, full name or family "
                      "(default: the system font)");
  command->add_option("--size", text_options.size, "point size (default 17)")
      ->check(CLI::Range(0.01, Font::kMaxPointSize));
}

CLI::App* AddText(CLI::App& app) {
  CLI::App* text = app.add_subcommand("text", "measure, draw and fit text with a font");
  text->require_subcommand(1);
  auto& o = text_options;
  o.size_command = text->add_subcommand("size", "the size of the text, in whole points");
  AddFontOptions(o.size_command);
  o.size_command->add_option("--width", o.width, "lay the text out within this width");
  o.size_command->add_option("--mode", o.mode, "line breaks: wrap, char, clip, head, tail, middle")
      ->check(CLI::IsMember({"wrap", "char", "clip", "head", "tail", "middle"}));
  o.draw = text->add_subcommand("draw", "draw the text on white into a PNG file");
  AddFontOptions(o.draw);
  o.draw->add_option("-o", o.out, "the PNG file to write")->required();
  o.draw->add_option("--colour", o.colour, "text colour RRGGBB (default 000000)");
  o.draw->add_option("--width", o.width, "picture width in points (default: the text's)");
  o.draw->add_option("--height", o.height, "picture height in points (default: the text's)");
  o.fit = text->add_subcommand("fit", "shrink the font until the text fits a width");
  AddFontOptions(o.fit);
  o.fit->add_option("--min", o.min, "smallest point size to try")->required();
  o.fit->add_option("--width", o.width, "the width to fit, in points")->required();
  return text;
}

// The font asked for; null (after saying why) when the name finds no installed face.
FontRef ChosenFont() {
  FontRef font = text_options.font.empty()
                     ? Font::System(text_options.size)
                     : Font::Named(Text(text_options.font), text_options.size);
  if (font == nullptr) Fail("no installed font is called \"" + text_options.font + "\"");
  return font;
}

std::string Points(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::optional<platform::ColorRef> ParseColour(const std::string& text) {
  const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned long rgb = std::stoul(hex, nullptr, 16);
  return platform::Color::RGB(((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                              (rgb & 0xFF) / 255.0, 1);
}

// Draws `text` on white into a PNG at scale 2.
bool DrawToPng(const String& text, const FontRef& font, const platform::ColorRef& colour,
               platform::Size size, const std::string& path) {
  const platform::ImageRenderer renderer(size, {2.0, false});
  const platform::ImageRef image = renderer.Image([&](platform::GraphicsContext& c) {
    c.SetFillColor(1, 1, 1, 1);
    c.FillRect({0, 0, size.width, size.height});
    (void)NSTools::DrawInRect(text, {0, 0, size.width, size.height}, font, colour);
  });
  return image != nullptr && platform::SavePNG(*image, path);
}

int RunText() {
  auto& o = text_options;
  const String text = Text(o.text);
  const FontRef font = ChosenFont();
  if (font == nullptr) return 1;
  if (o.size_command->parsed()) {
    const platform::Size size =
        o.width > 0
            ? NSTools::SizeWithFont(text, font, {o.width, std::numeric_limits<double>::max()},
                                    kModes.at(o.mode))
            : NSTools::SizeWithFont(text, font);
    std::cout << Points(size.width) << " x " << Points(size.height) << " points ("
              << Utf8(font->name()) << ' ' << Points(font->point_size()) << ")\n";
    return 0;
  }
  if (o.draw->parsed()) {
    const auto colour = ParseColour(o.colour);
    if (!colour) return Fail("--colour takes six hexadecimal digits, RRGGBB");
    platform::Size size = NSTools::SizeWithFont(text, font);
    if (o.width > 0) size = NSTools::SizeWithFont(text, font, {o.width, 1e9});
    if (o.width > 0) size.width = o.width;
    if (o.height > 0) size.height = o.height;
    if (!(size.width > 0 && size.height > 0)) return Fail("nothing to draw: the size is empty");
    if (!DrawToPng(text, font, *colour, size, o.out)) return Fail("cannot write " + o.out);
    std::cout << "Drew " << Points(size.width) << " x " << Points(size.height)
              << " points at scale 2 into " << o.out << '\n';
    return 0;
  }
  double actual = 0;
  const platform::Size size = NSTools::SizeWithFont(text, font, o.min, &actual, o.width, 0);
  std::cout << "size used: " << Points(actual) << " (" << Points(size.width) << " x "
            << Points(size.height) << " points"
            << (size.width <= o.width ? "" : ", still wider than the width") << ")\n";
  return 0;
}

int DemoText(DemoContext& context) {
  std::ostream& out = context.out;
  const String label = u"EUR/USD 1.08542 ▲ +0.35%";
  const double width = 150;
  const FontRef font = Font::BoldSystem(17);
  if (font == nullptr) return Fail("text: no system font");
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
  if (!DrawToPng(label, used, green, {width, fitted.height}, path)) {
    return Fail("text: cannot draw the price label");
  }
  out << "Drew the label into " << path << '\n';
  return 0;
}

const Registrar registrar({"text", AddText, RunText, DemoText, 750});

}  // namespace
}  // namespace kelvane::cli
