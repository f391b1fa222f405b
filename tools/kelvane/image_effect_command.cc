// `kelvane image effect`: the image effects on PNG and JPEG files (see the header).
// Demo step: a picture passed through the four presets, each written as a PNG.
#include "tools/kelvane/image_effect_command.h"

#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "kelvane/images/image_effects.h"
#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/gradient.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

using platform::Color;
using platform::ImageRef;

struct EffectOptions {
  std::string in, out, mask, tint;
  bool light = false, extra_light = false, dark = false;
  double radius = 0.0, saturation = 1.0;
  CLI::App* command = nullptr;
  CLI::Option* radius_option = nullptr;
} effect_options;

// "RRGGBB" or "#RRGGBB" as an opaque colour; null when it is not six hexadecimal digits.
ColorRef ParseRGB(std::string text) {
  if (!text.empty() && text[0] == '#') text.erase(0, 1);
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return nullptr;
  }
  const auto rgb = std::stoul(text, nullptr, 16);
  return Color::RGB(((rgb >> 16) & 255) / 255.0, ((rgb >> 8) & 255) / 255.0, (rgb & 255) / 255.0,
                    1.0);
}

bool SaveByName(const platform::Image& image, const std::string& path) {
  const bool png = path.size() >= 4 && (path.compare(path.size() - 4, 4, ".png") == 0 ||
                                        path.compare(path.size() - 4, 4, ".PNG") == 0);
  return png ? platform::SavePNG(image, path) : platform::SaveJPEG(image, 0.9, path);
}

// A 160 x 100 point picture at scale 2 with shapes and gradients, for a demo without one.
ImageRef DrawPicture() {
  const platform::ImageRenderer renderer({160, 100}, {2.0, true});
  const auto sky = platform::Gradient::WithColorComponents(
      std::vector<double>{0.16, 0.36, 0.72, 1, 0.95, 0.72, 0.45, 1}, {}, 2);
  if (sky == nullptr) return nullptr;
  return renderer.Image([&](platform::GraphicsContext& c) {
    c.DrawLinearGradient(*sky, {0, 0}, {0, 100}, 0);
    c.SetFillColor(0.95, 0.85, 0.2, 1);
    c.AddEllipseInRect({100, 12, 36, 36});
    c.FillPath();
    c.SetFillColor(0.1, 0.45, 0.2, 1);
    c.FillRect({0, 70, 160, 30});
    c.SetFillColor(0.75, 0.1, 0.15, 1);
    c.FillRect({22, 48, 30, 30});
  });
}

int DemoImageEffects(DemoContext& context) {
  std::ostream& out = context.out;
  ImageRef picture;
  if (const auto it = context.facts.find("images.picture"); it != context.facts.end()) {
    picture = platform::LoadImage(it->second);
    if (picture != nullptr) out << "The picture of the images step, " << it->second << ":\n";
  }
  if (picture == nullptr) {
    picture = DrawPicture();
    if (picture == nullptr) return Fail("effects: cannot draw a picture");
    out << "Drew a 160 x 100 point picture at scale 2 (a sky gradient, a sun, a field):\n";
  }
  struct Preset {
    const char* name;
    ImageRef image;
  };
  const Preset presets[] = {
      {"light", UIImageEffects::imageByApplyingLightEffectToImage(picture)},
      {"extra-light", UIImageEffects::imageByApplyingExtraLightEffectToImage(picture)},
      {"dark", UIImageEffects::imageByApplyingDarkEffectToImage(picture)},
      {"tint",
       UIImageEffects::imageByApplyingTintEffectWithColor(Color::RGB(0.1, 0.5, 0.9, 1), picture)},
  };
  for (const Preset& preset : presets) {
    const std::string path = (context.work_dir / ("effect-" + std::string(preset.name) + ".png"));
    if (preset.image == nullptr || !platform::SavePNG(*preset.image, path)) {
      return Fail(std::string("effects: the ") + preset.name + " preset gave no picture");
    }
    out << "  " << preset.name << " preset: " << path << '\n';
  }
  return 0;
}

const Registrar registrar({"effects", nullptr, nullptr, DemoImageEffects, 720});

}  // namespace

CLI::App* AddImageEffect(CLI::App& image) {
  EffectOptions& o = effect_options;
  o.command = image.add_subcommand(
      "effect", "blur, saturate and tint a picture (a frosted copy), written upright as OUT");
  o.command->add_option("IN", o.in, "PNG or JPEG file")->required();
  o.command->add_option("OUT", o.out, "file to write (.png, else JPEG)")->required();
  CLI::Option_group* effect = o.command->add_option_group("effect", "exactly one of these");
  effect->add_flag("--light", o.light, "blur 60 points, saturation 1.8, white at 0.3");
  effect->add_flag("--extra-light", o.extra_light, "blur 40 points, saturation 1.8, light grey");
  effect->add_flag("--dark", o.dark, "blur 40 points, saturation 1.8, dark grey");
  effect->add_option("--tint", o.tint, "blur 20 points, opposite hues, RRGGBB at 0.6 over it");
  o.radius_option = effect->add_option("--radius", o.radius, "blur radius in points");
  effect->require_option(1);
  o.command->add_option("--saturation", o.saturation, "saturation factor (default 1)")
      ->needs(o.radius_option);
  o.command->add_option("--mask", o.mask, "picture whose coverage limits the effect");
  return o.command;
}

std::optional<int> RunImageEffect() {
  const EffectOptions& o = effect_options;
  if (o.command == nullptr || !o.command->parsed()) return std::nullopt;
  const ImageRef image = platform::LoadImage(o.in);
  if (image == nullptr) return Fail(o.in + ": not a readable PNG or JPEG picture");
  ImageRef mask;
  if (!o.mask.empty()) {
    mask = platform::LoadImage(o.mask);
    if (mask == nullptr) return Fail(o.mask + ": not a readable PNG or JPEG picture");
  }
  ImageRef result;
  if (!o.tint.empty()) {
    const ColorRef tint = ParseRGB(o.tint);
    if (tint == nullptr) return Fail("effect: '" + o.tint + "' is not a hexadecimal RRGGBB value");
    result = mask ? UIImageEffects::imageByApplyingBlurToImage(
                        image, 20,
                        Color::RGB(tint->Components()[0], tint->Components()[1],
                                   tint->Components()[2], 0.6),
                        -1.0, mask)
                  : UIImageEffects::imageByApplyingTintEffectWithColor(tint, image);
  } else if (o.radius_option->count() > 0) {
    if (!std::isfinite(o.radius) || !std::isfinite(o.saturation)) {
      return Fail("effect: the radius and the saturation must be numbers");
    }
    result =
        UIImageEffects::imageByApplyingBlurToImage(image, o.radius, nullptr, o.saturation, mask);
  } else {
    // The presets with a mask: the same values through the general operation.
    const double radius = o.light ? 60 : 40;
    const ColorRef tint = o.light         ? Color::Grey(1.0, 0.3)
                          : o.extra_light ? Color::Grey(0.97, 0.82)
                                          : Color::Grey(0.11, 0.73);
    result = mask      ? UIImageEffects::imageByApplyingBlurToImage(image, radius, tint, 1.8, mask)
             : o.light ? UIImageEffects::imageByApplyingLightEffectToImage(image)
             : o.extra_light ? UIImageEffects::imageByApplyingExtraLightEffectToImage(image)
                             : UIImageEffects::imageByApplyingDarkEffectToImage(image);
  }
  if (result == nullptr) {
    return Fail("effect: no picture (smaller than 1 x 1 point, or too large to draw)");
  }
  if (!SaveByName(*result, o.out)) return Fail("cannot write " + o.out);
  std::cout << o.out << ": " << result->raster()->width() << " x " << result->raster()->height()
            << " pixels\n";
  return 0;
}

}  // namespace kelvane::cli
