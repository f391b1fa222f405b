// `kelvane avatar --login L [--name N] [--surname S] [--size PT] [--scale S] [--clip KIND]
// -o OUT.png` and `kelvane avatar --picture FILE --mode MODE [--background RRGGBB] ...`.
// Demo step: the gallery, one picture of what the library draws.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "kelvane/colours/avatar.h"
#include "kelvane/colours/color_cache.h"
#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/device/screen.h"
#include "tools/kelvane/command.h"
#include "tools/kelvane/gallery.h"

namespace kelvane::cli {
namespace {

struct AvatarOptions {
  std::string login, name, surname, picture, mode = "fit", background, clip = "none", out;
  double size = 40.0;
  double scale = 0.0;
  CLI::Option* name_option = nullptr;
  CLI::Option* surname_option = nullptr;
  CLI::Option* login_option = nullptr;
} avatar_options;

const std::map<std::string, std::uint64_t> kClips = {
    {"none", Avatar::kClipNone}, {"circle", Avatar::kClipCircle}, {"rounded", Avatar::kClipRounded}};
const std::map<std::string, std::int64_t> kModes = {
    {"fit", Avatar::kModeFit},       {"fill", Avatar::kModeFill}, {"center", Avatar::kModeCenter},
    {"top", Avatar::kModeTop},       {"bottom", Avatar::kModeBottom}, {"stretch", 0}};

CLI::App* AddAvatar(CLI::App& app) {
  CLI::App* command = app.add_subcommand(
      "avatar", "draw a chat participant's avatar: initials on a gradient, or a picture");
  auto& o = avatar_options;
  o.login_option = command->add_option("--login", o.login, "login (split at spaces when no name "
                                                           "and surname are given)");
  o.name_option = command->add_option("--name", o.name, "first name");
  o.surname_option = command->add_option("--surname", o.surname, "surname");
  command->add_option("--picture", o.picture, "PNG or JPEG picture to draw instead of initials");
  command->add_option("--mode", o.mode, "picture placement: fit, fill, center, top, bottom, stretch")
      ->check(CLI::IsMember({"fit", "fill", "center", "top", "bottom", "stretch"}));
  command->add_option("--background", o.background, "picture background colour RRGGBB");
  command->add_option("--size", o.size, "side of the square avatar in points (default 40)")
      ->check(CLI::Range(1.0, 2048.0));
  command->add_option("--scale", o.scale, "pixels per point (default the screen's)")
      ->check(CLI::Range(0.5, 8.0));
  command->add_option("--clip", o.clip, "none, circle or rounded")
      ->check(CLI::IsMember({"none", "circle", "rounded"}));
  command->add_option("-o,--output", o.out, "PNG file to write")->required();
  return command;
}

OptionalString Given(const CLI::Option* option, const String& value) {
  return option->count() > 0 ? OptionalString(value) : std::nullopt;
}

int RunAvatar() {
  auto& o = avatar_options;
  if (o.scale > 0.0) {
    platform::ScreenOverrides overrides = platform::CurrentScreenOverrides();
    overrides.scale = o.scale;
    platform::SetScreenOverrides(overrides);
  }
  const platform::Size size{o.size, o.size};
  const std::uint64_t clip = kClips.at(o.clip);
  platform::ImageRef avatar;
  if (!o.picture.empty()) {
    const platform::ImageRef picture = platform::LoadImage(o.picture);
    if (picture == nullptr) return Fail("avatar: " + o.picture + ": not a readable PNG or JPEG");
    ColorRef background;
    if (!o.background.empty()) {
      const std::optional<std::uint32_t> rgb = ParseRGB(o.background);
      if (!rgb) return Fail("avatar: '" + o.background + "' is not a hexadecimal RRGGBB value");
      background = Create::ColorForRGB(*rgb);
    }
    avatar = Avatar::Avatar(picture, kModes.at(o.mode), background, size, clip);
    if (avatar == nullptr) return Fail("avatar: nothing to draw (a 0 x 0 picture fitted)");
  } else {
    if (o.login_option->count() == 0 && o.name_option->count() == 0 &&
        o.surname_option->count() == 0) {
      return Fail("avatar: give --login, --name or --surname, or --picture");
    }
    const String login = Text(o.login), name = Text(o.name), surname = Text(o.surname);
    unsigned char digest[16] = {};
    const OptionalString given_login = Given(o.login_option, login);
    const OptionalString given_name = Given(o.name_option, name);
    const OptionalString given_surname = Given(o.surname_option, surname);
    const String initials = Avatar::InitialsLogin(given_login, given_name, given_surname, digest);
    const std::int32_t flat = Avatar::ColorLogin(given_login, given_name, given_surname);
    std::printf("initials     \"%s\"\n", Utf8(initials).c_str());
    std::printf("colour index %d (digest byte %u)\n", digest[0] % 11, digest[0]);
    std::printf("flat colour  #%06X\n", static_cast<unsigned>(flat));
    avatar = Avatar::AvatarLogin(given_login, given_name, given_surname, size, clip);
  }
  if (avatar == nullptr) return Fail("avatar: the drawing surface could not be made");
  if (!platform::SavePNG(*avatar, o.out)) return Fail("avatar: cannot write " + o.out);
  std::printf("wrote        %s (%g x %g points at scale %g)\n", o.out.c_str(), avatar->size().width,
              avatar->size().height, avatar->scale());
  return 0;
}

int DemoGallery(DemoContext& context) {
  const std::filesystem::path path = context.work_dir / "gallery.png";
  const auto picture = context.facts.find("images.picture");
  const std::string picture_path = picture != context.facts.end() ? picture->second : "";
  if (!DrawGallery(path.string(), picture_path)) return Fail("demo: the gallery could not be drawn");
  context.out << "Avatars for a dozen participants in three clips, the palette in light and dark, "
                 "the blur presets and the picture fit modes, in one picture:\n  "
              << path.string() << '\n';
  return 0;
}

const Registrar registrar({"avatar", AddAvatar, RunAvatar, DemoGallery, 900});

}  // namespace
}  // namespace kelvane::cli
