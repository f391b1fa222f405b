// SPDX-License-Identifier: Apache-2.0
// `kelvane image effect`: the image effects on picture files (see the header).
// Demo step: a picture passed through the four presets, each written as a PNG.
#include "tools/kelvane/image_effect_command.h"

#include <iostream>
#include <memory>
#include <string>

#include "kelvane/colours/color_cache.h"
#include "kelvane/images/image_effects.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/files.h"
#include "tools/kelvane/gallery.h"

namespace kelvane::cli {
namespace {

using platform::Color;
using platform::ImageRef;

struct EffectOptions {
  std::string in, mask, tint;
  OutputOption output;
  bool light = false, extra_light = false, dark = false;
  double radius = 0.0, saturation = 1.0, quality = 0.9;
};

ImageRef ApplyEffect(const EffectOptions& o, const ImageRef& image, const ImageRef& mask,
                     bool blur) {
  if (!o.tint.empty()) {
    const ColorRef tint = Create::ColorForRGB(*ParseRGB(o.tint));
    if (tint == nullptr) return nullptr;
    if (mask == nullptr) return UIImageEffects::imageByApplyingTintEffectWithColor(tint, image);
    const auto c = tint->Components();
    return UIImageEffects::imageByApplyingBlurToImage(image, 20, Color::RGB(c[0], c[1], c[2], 0.6),
                                                      -1.0, mask);
  }
  if (blur) {
    return UIImageEffects::imageByApplyingBlurToImage(image, o.radius, nullptr, o.saturation, mask);
  }
  if (mask != nullptr) {
    // The presets with a mask: the same values through the general operation.
    const double radius = o.light ? 60 : 40;
    const ColorRef tint = o.light         ? Color::Grey(1.0, 0.3)
                          : o.extra_light ? Color::Grey(0.97, 0.82)
                                          : Color::Grey(0.11, 0.73);
    return UIImageEffects::imageByApplyingBlurToImage(image, radius, tint, 1.8, mask);
  }
  return o.light         ? UIImageEffects::imageByApplyingLightEffectToImage(image)
         : o.extra_light ? UIImageEffects::imageByApplyingExtraLightEffectToImage(image)
                         : UIImageEffects::imageByApplyingDarkEffectToImage(image);
}

int RunEffect(const EffectOptions& o, bool blur) {
  const std::string& out = o.output.Path();
  const ImageRef image = LoadPicture(o.in);
  const ImageRef mask = o.mask.empty() ? nullptr : LoadPicture(o.mask);
  const ImageRef result = ApplyEffect(o, image, mask, blur);
  if (result == nullptr) {
    throw Failure("effect: no picture (smaller than 1 x 1 point, or too large to draw)");
  }
  WritePicture(*result, out, o.quality);
  SayWritten(out, PixelSize(*result));
  return 0;
}

}  // namespace

void AddImageEffect(Tool& tool, CLI::App& image) {
  auto o = std::make_shared<EffectOptions>();
  CLI::App* command = image.add_subcommand(
      "effect", "blur, saturate and tint a picture (a frosted copy), written upright");
  command->add_option("IN", o->in, "picture: PNG, JPEG, WebP, GIF, HEIC or AVIF")
      ->required()
      ->type_name("FILE");
  o->output.Add(command, "file to write: .png, .jpg or .jpeg", true, Written::kPicture);
  CLI::Option_group* effect = command->add_option_group("effect", "exactly one of these");
  effect->add_flag("--light", o->light, "blur 60 points, saturation 1.8, white at 0.3");
  effect->add_flag("--extra-light", o->extra_light, "blur 40 points, saturation 1.8, light grey");
  effect->add_flag("--dark", o->dark, "blur 40 points, saturation 1.8, dark grey");
  effect->add_option("--tint", o->tint, "blur 20 points, opposite hues, this colour at 0.6 over it")
      ->check(Colour());
  CLI::Option* radius =
      effect->add_option("--radius", o->radius, "blur radius in points")->check(Number(0, 1000));
  effect->require_option(1);
  command->add_option("--saturation", o->saturation, "saturation factor, with --radius")
      ->check(Number(0, 10))
      ->capture_default_str()
      ->needs(radius);
  command->add_option("--mask", o->mask, "picture whose coverage limits the effect")
      ->type_name("FILE");
  AddJPEGQuality(command, o->quality);
  tool.Runs(command, [o, radius] { return RunEffect(*o, radius->count() > 0); });
}

int DemoImageEffects(DemoContext& context) {
  std::ostream& out = context.out;
  ImageRef picture;
  if (!context.facts.picture_file.empty()) {
    picture = LoadPicture(context.facts.picture_file.string());
    out << "The picture of the images step, " << context.facts.picture_file.string() << ":\n";
  } else {
    picture = DrawLandscape();
    if (picture == nullptr) throw Failure("effects: cannot draw a picture");
    out << "Drew a 240 x 160 point landscape at scale 2:\n";
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
    if (preset.image == nullptr) {
      throw Failure(std::string("effects: the ") + preset.name + " preset gave no picture");
    }
    WritePNG(*preset.image, path);
    out << "  " << preset.name << " preset: " << path << '\n';
  }
  return 0;
}

}  // namespace kelvane::cli
