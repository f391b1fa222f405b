// `kelvane screen [--screen WxH@S] [--idiom phone|tablet]`: the screen as the library classifies
// it. KELVANE_SCREEN and KELVANE_IDIOM are honoured; the options override them.
#include <cstdio>
#include <string>

#include "kelvane/interface/screen.h"
#include "kelvane/platform/device/screen.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

struct ScreenOptions {
  std::string screen;
  std::string idiom;
} screen_options;

CLI::App* AddScreen(CLI::App& app) {
  CLI::App* command =
      app.add_subcommand("screen", "the device's idiom, scale, normalised size and size type");
  command->add_option("--screen", screen_options.screen,
                      "screen bounds in points and scale, WIDTHxHEIGHT@SCALE (default "
                      "KELVANE_SCREEN, the first connected display, else 390x844@3)");
  command->add_option("--idiom", screen_options.idiom,
                      "phone or tablet (default KELVANE_IDIOM, else phone)");
  return command;
}

int RunScreen() {
  platform::ScreenOverrides overrides;
  if (!screen_options.screen.empty()) {
    const auto setting = platform::ParseScreenSetting(screen_options.screen);
    if (!setting) return Fail("screen: not WIDTHxHEIGHT@SCALE: " + screen_options.screen);
    overrides.bounds = setting->bounds;
    overrides.scale = setting->scale;
  }
  if (!screen_options.idiom.empty()) {
    overrides.idiom = platform::ParseIdiom(screen_options.idiom);
    if (!overrides.idiom) return Fail("screen: the idiom is phone or tablet");
  }
  platform::SetScreenOverrides(overrides);
  const platform::Size size = CScreen::screenSizeNorm();
  std::printf("idiom      %s\n", CScreen::iPad() ? "tablet" : "phone");
  std::printf("scale      %g (one pixel is %g points)\n", CScreen::scale(), CScreen::scaleNorm());
  std::printf("size       %g x %g points (%g x %g pixels)\n", size.width, size.height,
              size.width * CScreen::scale(), size.height * CScreen::scale());
  std::printf("size type  %llu\n", static_cast<unsigned long long>(CScreen::screenSizeType()));
  return 0;
}

const Registrar registrar({"screen", AddScreen, RunScreen});

}  // namespace
}  // namespace kelvane::cli
