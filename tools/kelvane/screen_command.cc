// SPDX-License-Identifier: Apache-2.0
// `kelvane screen [--screen WxH@S] [--idiom phone|tablet]`: the screen as the library classifies
// it. KELVANE_SCREEN and KELVANE_IDIOM are honoured; the options override them.
#include <iostream>
#include <memory>
#include <string>

#include "kelvane/interface/screen.h"
#include "kelvane/platform/device/screen.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"

namespace kelvane::cli {
namespace {

struct ScreenOptions {
  std::string screen;
  std::string idiom;
};

int RunScreen(const ScreenOptions& o) {
  platform::ScreenOverrides overrides;
  if (!o.screen.empty()) {
    const platform::ScreenSetting setting = *ParseScreen(o.screen);  // checked when parsed
    overrides.bounds = setting.bounds;
    overrides.scale = setting.scale;
  }
  if (!o.idiom.empty()) overrides.idiom = platform::ParseIdiom(o.idiom);
  // What an option does not set comes from the environment: it must make sense too.
  if (o.screen.empty() || o.idiom.empty()) CheckScreenEnvironment();
  platform::SetScreenOverrides(overrides);
  const platform::Size size = CScreen::screenSizeNorm();
  std::cout << "idiom      " << (CScreen::iPad() ? "tablet" : "phone") << '\n'
            << "scale      " << CScreen::scale() << " (one pixel is " << CScreen::scaleNorm()
            << " points)\n"
            << "size       " << size.width << " x " << size.height << " points ("
            << size.width * CScreen::scale() << " x " << size.height * CScreen::scale()
            << " pixels)\n"
            << "size type  " << CScreen::screenSizeType() << '\n';
  return 0;
}

}  // namespace

void AddScreen(Tool& tool) {
  CLI::App* command =
      tool.app.add_subcommand("screen", "the device's idiom, scale, normalised size and size type");
  auto o = std::make_shared<ScreenOptions>();
  command
      ->add_option("--screen", o->screen,
                   "screen bounds in points and scale (default: KELVANE_SCREEN, the first "
                   "connected display, else 390x844@3)")
      ->check(Screen());
  command->add_option("--idiom", o->idiom, "phone or tablet (default: KELVANE_IDIOM, else phone)")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            return platform::ParseIdiom(text) ? "" : "'" + text + "' is not phone or tablet";
          },
          "phone, tablet", kChoiceValidator));
  tool.Runs(command, [o] { return RunScreen(*o); });
}

}  // namespace kelvane::cli
