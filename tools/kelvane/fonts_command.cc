// SPDX-License-Identifier: Apache-2.0
// `kelvane fonts [--condensed NAME]`: the five font tables of the interface, what fills each of
// them on this machine and where the fallbacks went. The demo step shows a fallback and draws
// a card clipped to the rounded rectangle that avatars use.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "kelvane/colours/palette.h"
#include "kelvane/interface/gui_cache.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/files.h"

namespace kelvane::cli {
namespace {

// One table's line: how many of its 37 sizes hold a font, the family and name of the first,
// and, for a table with a fallback, whether it shares the fallback table's objects.
void PrintTable(const char* name, const FontTableEntry* table, const FontTableEntry* fallback,
                const char* fallback_name, const char* asked) {
  std::size_t filled = 0, shared = 0;
  platform::FontRef first;
  for (std::size_t i = 0; i < kFontTableSize; ++i) {
    const platform::FontRef font = table[i].load();
    if (font == nullptr) continue;
    ++filled;
    if (first == nullptr) first = font;
    if (fallback != nullptr && font == fallback[i].load()) ++shared;
  }
  char counts[64];
  std::snprintf(counts, sizeof counts, "%-16s %2zu/%zu sizes", name, filled, kFontTableSize);
  std::cout << counts;
  if (first != nullptr) {
    std::cout << "  " << Utf8(first->family()) << " (" << Utf8(first->name()) << ")";
  }
  if (fallback != nullptr && shared == kFontTableSize) {
    std::cout << "  -> " << asked << " is not installed: the " << fallback_name << " objects";
  } else if (fallback != nullptr && shared > 0) {
    std::cout << "  -> " << shared << " sizes of " << asked << " are missing: the " << fallback_name
              << " objects";
  }
  std::cout << '\n';
}

int RunFonts(const std::string& condensed_name) {
  SGUICache::initialize();
  if (!condensed_name.empty()) SGUICache::FontCondencedBoldName(Text(condensed_name));
  PrintTable("s_font_sys_bold", s_font_sys_bold, nullptr, nullptr, nullptr);
  PrintTable("s_font_sys_norm", s_font_sys_norm, nullptr, nullptr, nullptr);
  PrintTable("s_font_hal_bold", s_font_hal_bold, s_font_sys_bold, "s_font_sys_bold",
             "HelveticaNeue-Medium");
  PrintTable("s_font_hal_norm", s_font_hal_norm, s_font_sys_norm, "s_font_sys_norm",
             "HelveticaNeue");
  PrintTable("s_font_con_bold", s_font_con_bold, nullptr, nullptr, nullptr);
  const platform::FontRef condensed = SGUICache::FontCondencedBold(12);
  if (condensed == nullptr) throw Failure("fonts: no system font could be made");
  std::cout << "FontCondencedBold(12) is " << Utf8(condensed->name()) << ' '
            << condensed->point_size() << " pt"
            << (condensed == s_font_sys_bold[8].load() ? " (the bold system font)" : "") << '\n';
  return 0;
}

}  // namespace

void AddFonts(Tool& tool) {
  CLI::App* command = tool.app.add_subcommand(
      "fonts", "the interface's font tables and what their fallbacks became");
  auto condensed = std::make_shared<std::string>();
  command->add_option("--condensed", *condensed,
                      "install this font name in the condensed bold table first");
  tool.Runs(command, [condensed] { return RunFonts(*condensed); });
}

int DemoInterface(DemoContext& context) {
  std::ostream& out = context.out;
  const platform::FontRef bold = SGUICache::FontSystemBold(14);
  if (bold == nullptr) throw Failure("interface: no system font could be made");
  out << "FontSystemBold(14) is " << Utf8(bold->name()) << ' ' << bold->point_size() << " pt"
      << (bold == s_font_sys_bold[10].load()
              ? ": HelveticaNeue-Medium is not installed, so the bold system font stands in\n"
              : "\n");
  // A 60 x 40 point card at scale 2: the rounded-rectangle path as a clip, then a fill.
  const platform::ImageRenderer renderer({60, 40}, {2.0, false});
  const platform::ImageRef card = renderer.Image([](platform::GraphicsContext& c) {
    SGUICache::DrawRoundRect({1, 1, 58, 38}, &c, 10);
    c.Clip();
    c.SetFillColor(UIElements::appRoyalBlue());
    c.FillRect({0, 0, 60, 40});
  });
  const std::string png = (context.work_dir / "rounded_card.png").string();
  if (card == nullptr) throw Failure("interface: cannot draw");
  WritePNG(*card, png);
  out << "Drew rounded_card.png: 60 x 40 points at scale 2, corners of 10 points, appRoyalBlue.\n";
  return 0;
}

}  // namespace kelvane::cli
