// SPDX-License-Identifier: Apache-2.0
// `kelvane palette [--dark]` and `kelvane colour RRGGBB [--alpha A]`.
// Demo step: a few palette roles in the light and the dark appearance.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "kelvane/colours/color_cache.h"
#include "kelvane/colours/palette.h"
#include "kelvane/platform/device/appearance.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"

namespace kelvane::cli {
namespace {

using platform::Appearance;
using platform::ScopedAppearance;

std::string Packed(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08" PRIX32, value);
  return text;
}

// "#RRGGBB", or "none" for a colour that did not resolve to an RGB value.
std::string Swatch(const ColorRef& colour) {
  if (colour == nullptr || !colour->RGBA()) return "none";
  return "#" + Packed(Create::rgba(*colour)).substr(2);
}

// ---- palette ---------------------------------------------------------------------------------

int RunPalette(bool dark) {
  // Resolved through the process's current appearance, as a drawing application would.
  ScopedAppearance appearance(dark ? Appearance::kDark : Appearance::kLight);
  for (const PaletteRole& role : PaletteRoles()) {
    const ColorRef colour = role.accessor();
    if (colour == nullptr) throw Failure("palette: out of memory");
    std::cout << role.name << std::string(role.name.size() < 26 ? 26 - role.name.size() : 1, ' ')
              << Swatch(colour) << '\n';
  }
  return 0;
}

// ---- colour ----------------------------------------------------------------------------------

struct ColourOptions {
  std::string rgb;
  double alpha = 1.0;
};

int RunColour(const ColourOptions& o) {
  const std::uint32_t rgb = *ParseRGB(o.rgb);  // checked when parsed
  const ColorRef first = Create::ColorForRGB(rgb, o.alpha);
  if (first == nullptr) throw Failure("colour: out of memory");
  const std::uint32_t packed = Create::rgba(*first);
  const ColorRef second = Create::ColorForRGB(rgb, o.alpha);
  const auto components = first->RGBA();

  char line[160];
  std::snprintf(line, sizeof line, "packed     0x%s (alpha byte %u, RGB %06" PRIX32 ")\n",
                Packed(packed).c_str(), static_cast<unsigned>(packed >> 24), packed & 0xFFFFFFu);
  std::cout << line;
  if (components) {
    std::snprintf(line, sizeof line, "components red %.6f green %.6f blue %.6f alpha %.6f\n",
                  components->red, components->green, components->blue, components->alpha);
    std::cout << line;
  }
  std::cout << "cache      second request: "
            << (second == first ? "hit, the very same object" : "a different object") << '\n';

  // A neighbouring alpha on the same byte shares the entry; the next byte does not.
  const unsigned byte = packed >> 24;
  if (byte < 255) {
    const ColorRef next = Create::ColorForRGB(rgb, (byte + 1.5) / 255.0);
    const std::string what =
        next == first ? std::string("the same object")
                      : "a separate entry (0x" + Packed(next ? Create::rgba(*next) : 0) + ")";
    std::cout << "           alpha byte " << byte + 1 << " instead: " << what << '\n';
  }
  return 0;
}

}  // namespace

void AddPalette(Tool& tool) {
  CLI::App* command =
      tool.app.add_subcommand("palette", "list every palette role with its resolved hex value");
  auto dark = std::make_shared<bool>(false);
  command->add_flag("--dark", *dark, "resolve in the dark appearance (default: light)");
  tool.Runs(command, [dark] { return RunPalette(*dark); });
}

void AddColour(Tool& tool) {
  CLI::App* command = tool.app.add_subcommand(
      "colour", "build a colour from RRGGBB through the colour cache and show what it holds");
  auto o = std::make_shared<ColourOptions>();
  command->add_option("RRGGBB", o->rgb, "the colour, RRGGBB or #RRGGBB")
      ->required()
      ->check(Colour());
  command->add_option("--alpha", o->alpha, "alpha")->check(Number(0, 1))->capture_default_str();
  tool.Runs(command, [o] { return RunColour(*o); });
}

// ---- demo ------------------------------------------------------------------------------------

int DemoPalette(DemoContext& context) {
  const char* const shown[] = {"appText", "appBlue", "appTextPriceDown", "tableSelected",
                               "qibLoginButtonHighlight"};
  context.out << "Palette roles, light and dark (each role is one dynamic colour):\n";
  for (const PaletteRole& role : PaletteRoles()) {
    bool wanted = false;
    for (const char* name : shown) wanted = wanted || role.name == name;
    if (!wanted) continue;
    const ColorRef colour = role.accessor();
    if (colour == nullptr) throw Failure("palette: out of memory");
    context.out << "  " << role.name << std::string(26 - role.name.size(), ' ') << "light "
                << Swatch(colour->Resolved(Appearance::kLight)) << "  dark "
                << Swatch(colour->Resolved(Appearance::kDark)) << '\n';
  }
  const ColorRef a = Create::ColorForRGB(0x007AFF);
  const ColorRef b = Create::ColorForRGB(0xFF007AFF);
  context.out << "ColorForRGB(0x007AFF) twice (once with a stray top byte): "
              << (a != nullptr && a == b ? "the same cached object" : "different objects")
              << ", packed 0x" << Packed(a ? Create::rgba(*a) : 0) << '\n';
  return 0;
}

}  // namespace kelvane::cli
