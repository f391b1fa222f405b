// SPDX-License-Identifier: Apache-2.0
// `kelvane avatar --login L [--name N] [--surname S] [--size PT] [--scale S] [--clip KIND]
// -o OUT.png` and `kelvane avatar --picture FILE --mode MODE [--background RRGGBB] ...`.
// Demo step: the gallery, one picture of what the library draws.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "kelvane/colours/avatar.h"
#include "kelvane/colours/color_cache.h"
#include "kelvane/platform/device/screen.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/files.h"
#include "tools/kelvane/gallery.h"

namespace kelvane::cli {
namespace {

struct AvatarOptions {
  std::string login, name, surname, picture, mode = "fit", background, clip = "none";
  OutputOption output;
  double size = 40.0;
  double scale = 0.0;  // 0: the screen's
  bool has_login = false, has_name = false, has_surname = false;
};

const std::map<std::string, std::uint64_t> kClips = {{"none", Avatar::kClipNone},
                                                     {"circle", Avatar::kClipCircle},
                                                     {"rounded", Avatar::kClipRounded}};
const std::map<std::string, std::int64_t> kModes = {
    {"fit", Avatar::kModeFit},       {"fill", Avatar::kModeFill},
    {"center", Avatar::kModeCenter}, {"top", Avatar::kModeTop},
    {"bottom", Avatar::kModeBottom}, {"stretch", platform::kContentModeStretch}};

// The picture, read for the avatar's pixels when the mode scales it to the avatar: a fitted
// picture is read to lie within them, a filled or stretched one to cover them, so that it is
// drawn about 1:1 (Avatar::PictureRect rounds the place in points). Placed at its own size
// (center, top, bottom), it is read whole. REQUIRES: the screen scale is set.
platform::ImageRef LoadAvatarPicture(const AvatarOptions& o) {
  const std::int64_t mode = kModes.at(o.mode);
  if (mode != Avatar::kModeFit && mode != Avatar::kModeFill &&
      mode != platform::kContentModeStretch) {
    return LoadPicture(o.picture);
  }
  // The surface's pixels, as the drawing makes them: points x scale, a whisker below the next
  // whole pixel rounding down.
  const double scale = platform::CurrentScreenFacts().scale;
  const auto side = static_cast<std::uint32_t>(std::ceil(o.size * scale - 1e-9));
  return LoadPicture(o.picture, {side, side,
                                 mode == Avatar::kModeFit ? platform::ReadFit::kInside
                                                          : platform::ReadFit::kCover});
}

int RunAvatar(const AvatarOptions& o) {
  const std::string& out = o.output.Path();
  if (o.scale > 0.0) {
    platform::ScreenOverrides overrides = platform::CurrentScreenOverrides();
    overrides.scale = o.scale;
    platform::SetScreenOverrides(overrides);
  } else {
    CheckScreenEnvironment();
  }
  const platform::Size size{o.size, o.size};
  const std::uint64_t clip = kClips.at(o.clip);
  platform::ImageRef avatar;
  if (!o.picture.empty()) {
    const platform::ImageRef picture = LoadAvatarPicture(o);
    const ColorRef background =
        o.background.empty() ? nullptr : Create::ColorForRGB(*ParseRGB(o.background));
    avatar = Avatar::Avatar(picture, kModes.at(o.mode), background, size, clip);
    if (avatar == nullptr) throw Failure("avatar: nothing to draw (a 0 x 0 picture fitted)");
  } else {
    if (!o.has_login && !o.has_name && !o.has_surname) {
      throw UsageError("give --login, --name or --surname, or --picture");
    }
    const String login = Text(o.login), name = Text(o.name), surname = Text(o.surname);
    unsigned char digest[16] = {};
    const OptionalString given_login = o.has_login ? OptionalString(login) : std::nullopt;
    const OptionalString given_name = o.has_name ? OptionalString(name) : std::nullopt;
    const OptionalString given_surname = o.has_surname ? OptionalString(surname) : std::nullopt;
    const String initials = Avatar::InitialsLogin(given_login, given_name, given_surname, digest);
    const std::int32_t flat = Avatar::ColorLogin(given_login, given_name, given_surname);
    avatar = Avatar::AvatarLogin(given_login, given_name, given_surname, size, clip);
    if (avatar == nullptr) throw Failure("avatar: the drawing surface could not be made");
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06X", static_cast<unsigned>(flat));
    std::cout << "initials     \"" << Utf8(initials) << "\"\n"
              << "colour index " << digest[0] % 11 << " (digest byte " << unsigned{digest[0]}
              << ")\n"
              << "flat colour  #" << colour << '\n';
  }
  WritePNG(*avatar, out);
  std::ostringstream detail;
  detail << avatar->size().width << " x " << avatar->size().height << " points at scale "
         << avatar->scale() << ", " << PixelSize(*avatar);
  SayWritten(out, detail.str());
  return 0;
}

}  // namespace

void AddAvatar(Tool& tool) {
  CLI::App* command = tool.app.add_subcommand(
      "avatar", "draw a chat participant's avatar: initials on a gradient, or a picture");
  auto o = std::make_shared<AvatarOptions>();
  CLI::Option* login = command->add_option(
      "--login", o->login, "login (split at spaces when no name and surname are given)");
  CLI::Option* name = command->add_option("--name", o->name, "first name");
  CLI::Option* surname = command->add_option("--surname", o->surname, "surname");
  CLI::Option* picture =
      command
          ->add_option("--picture", o->picture,
                       "picture to draw instead of initials: PNG, JPEG, WebP, GIF, HEIC or AVIF")
          ->type_name("FILE");
  for (CLI::Option* initials : {login, name, surname}) initials->excludes(picture);
  command->add_option("--mode", o->mode, "picture placement")
      ->check(OneOf({"fit", "fill", "center", "top", "bottom", "stretch"}))
      ->capture_default_str();
  command->add_option("--background", o->background, "picture background colour")->check(Colour());
  command->add_option("--size", o->size, "side of the square avatar in points")
      ->check(Number(1, 2048))
      ->capture_default_str();
  command->add_option("--scale", o->scale, "pixels per point (default: the screen's)")
      ->check(Number(0.5, 8));
  command->add_option("--clip", o->clip, "the avatar's outline")
      ->check(OneOf({"none", "circle", "rounded"}))
      ->capture_default_str();
  o->output.Add(command, "PNG file to write: .png", false, Written::kPNG);
  tool.Runs(command, [o, login, name, surname] {
    o->has_login = login->count() > 0;
    o->has_name = name->count() > 0;
    o->has_surname = surname->count() > 0;
    return RunAvatar(*o);
  });
}

int DemoGallery(DemoContext& context) {
  const std::filesystem::path path = context.work_dir / "gallery.png";
  const platform::ImageRef picture = context.facts.picture_file.empty()
                                         ? nullptr
                                         : LoadPicture(context.facts.picture_file.string());
  DrawGallery(path.string(), picture);
  context.out << "Avatars for a dozen participants in three clips, the palette in light and dark, "
                 "the blur presets and the picture fit modes, in one picture:\n  "
              << path.string() << '\n';
  return 0;
}

}  // namespace kelvane::cli
