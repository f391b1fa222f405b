// `kelvane fonts [--condensed NAME]`: the five font tables of the interface, what fills each of
// them on this machine and where the fallbacks went.
#include <cstdio>
#include <string>

#include "kelvane/interface/gui_cache.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

struct FontsOptions {
  std::string condensed;
} fonts_options;

CLI::App* AddFonts(CLI::App& app) {
  CLI::App* command =
      app.add_subcommand("fonts", "the interface's font tables and what their fallbacks became");
  command->add_option("--condensed", fonts_options.condensed,
                      "install this font name in the condensed bold table first");
  return command;
}

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
  std::printf("%-16s %2zu/%zu sizes", name, filled, kFontTableSize);
  if (first != nullptr) {
    std::printf("  %s (%s)", Utf8(first->family()).c_str(), Utf8(first->name()).c_str());
  }
  if (fallback != nullptr && shared == kFontTableSize) {
    std::printf("  -> %s is not installed: the %s objects", asked, fallback_name);
  } else if (fallback != nullptr && shared > 0) {
    std::printf("  -> %zu sizes of %s are missing: the %s objects", shared, asked, fallback_name);
  }
  std::printf("\n");
}

int RunFonts() {
  SGUICache::initialize();
  if (!fonts_options.condensed.empty()) {
    SGUICache::FontCondencedBoldName(Text(fonts_options.condensed));
  }
  PrintTable("s_font_sys_bold", s_font_sys_bold, nullptr, nullptr, nullptr);
  PrintTable("s_font_sys_norm", s_font_sys_norm, nullptr, nullptr, nullptr);
  PrintTable("s_font_hal_bold", s_font_hal_bold, s_font_sys_bold, "s_font_sys_bold",
             "HelveticaNeue-Medium");
  PrintTable("s_font_hal_norm", s_font_hal_norm, s_font_sys_norm, "s_font_sys_norm",
             "HelveticaNeue");
  PrintTable("s_font_con_bold", s_font_con_bold, nullptr, nullptr, nullptr);
  const platform::FontRef condensed = SGUICache::FontCondencedBold(12);
  if (condensed == nullptr) return Fail("fonts: no system font could be made");
  std::printf("FontCondencedBold(12) is %s %g pt%s\n", Utf8(condensed->name()).c_str(),
              condensed->point_size(),
              condensed == s_font_sys_bold[8].load() ? " (the bold system font)" : "");
  return 0;
}

const Registrar registrar({"fonts", AddFonts, RunFonts});

}  // namespace
}  // namespace kelvane::cli
