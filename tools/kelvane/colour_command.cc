// `kelvane palette [--dark]` and `kelvane colour RRGGBB [--alpha A]`.
// Demo step: a few palette roles in the light and the dark appearance.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "kelvane/colours/color_cache.h"
#include "kelvane/colours/palette.h"
#include "kelvane/platform/device/appearance.h"
#include "tools/kelvane/command.h"

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

bool palette_dark = false;

CLI::App* AddPalette(CLI::App& app) {
  CLI::App* command =
      app.add_subcommand("palette", "list every palette role with its resolved hex value");
  command->add_flag("--dark", palette_dark, "resolve in the dark appearance (default light)");
  return command;
}

int RunPalette() {
  // Resolved through the process's current appearance, as a drawing application would.
  ScopedAppearance appearance(palette_dark ? Appearance::kDark : Appearance::kLight);
  for (const PaletteRole& role : PaletteRoles()) {
    const ColorRef colour = role.accessor();
    if (colour == nullptr) return Fail("palette: out of memory");
    std::cout << role.name << std::string(role.name.size() < 26 ? 26 - role.name.size() : 1, ' ')
              << Swatch(colour) << '\n';
  }
  return std::cout ? 0 : Fail("palette: cannot write");
}

// ---- colour ----------------------------------------------------------------------------------

struct ColourOptions {
  std::string rgb;
  double alpha = 1.0;
} colour_options;

CLI::App* AddColour(CLI::App& app) {
  CLI::App* command = app.add_subcommand(
      "colour", "build a colour from RRGGBB through the colour cache and show what it holds");
  command
      ->add_option("RRGGBB", colour_options.rgb,
                   "hexadecimal RGB, optionally with '#' or '0x'; up to 8 digits, the top "
                   "byte is ignored")
      ->required();
  command->add_option("--alpha", colour_options.alpha, "alpha, 0..1 (default 1)");
  return command;
}

int RunColour() {
  std::string digits = colour_options.rgb;
  if (digits.rfind("#", 0) == 0) {
    digits.erase(0, 1);
  } else if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) {
    digits.erase(0, 2);
  }
  if (digits.empty() || digits.size() > 8 ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return Fail("colour: '" + colour_options.rgb + "' is not a hexadecimal RRGGBB value");
  }
  if (!std::isfinite(colour_options.alpha)) return Fail("colour: the alpha must be a number");
  const auto rgb = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));

  const std::size_t before = internal::ColorCacheKeys().size();
  const ColorRef first = Create::ColorForRGB(rgb, colour_options.alpha);
  if (first == nullptr) return Fail("colour: out of memory");
  const std::uint32_t packed = Create::rgba(*first);
  const std::size_t after = internal::ColorCacheKeys().size();
  const ColorRef second = Create::ColorForRGB(rgb, colour_options.alpha);
  const auto components = first->RGBA();

  std::printf("packed     0x%s (alpha byte %u, RGB %06" PRIX32 ")\n", Packed(packed).c_str(),
              static_cast<unsigned>(packed >> 24), packed & 0xFFFFFFu);
  if ((rgb >> 24) != 0) {
    std::printf("note       top byte %02" PRIX32 " of the argument ignored\n", rgb >> 24);
  }
  if (components) {
    std::printf("components red %.6f green %.6f blue %.6f alpha %.6f\n", components->red,
                components->green, components->blue, components->alpha);
  }
  std::printf("cache      first request: %s; entries %zu -> %zu of 256\n",
              after > before ? "miss, built and stored a new colour" : "hit", before, after);
  std::printf("           second request: %s\n",
              second == first ? "hit, the very same object" : "a different object");

  // A neighbouring alpha on the same byte shares the entry; the next byte does not.
  const unsigned byte = packed >> 24;
  if (byte < 255) {
    const ColorRef next = Create::ColorForRGB(rgb, (byte + 1.5) / 255.0);
    const std::string what =
        next == first ? std::string("the same object")
                      : "a separate entry (0x" + Packed(next ? Create::rgba(*next) : 0) + ")";
    std::printf("           alpha byte %u instead: %s\n", byte + 1, what.c_str());
  }
  return 0;
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
    if (colour == nullptr) return Fail("demo: out of memory");
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

const Registrar palette_registrar({"palette", AddPalette, RunPalette, DemoPalette, 500});
const Registrar colour_registrar({"colour", AddColour, RunColour});

}  // namespace
}  // namespace kelvane::cli
