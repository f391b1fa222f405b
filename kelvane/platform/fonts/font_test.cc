// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/fonts/font.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/memory_sweep.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {
namespace {

TEST(Font, NamedFindsInstalledFacesByEveryFormOfTheirNameAndTheSystemFamilyAlwaysGivesAFont) {
  using View = std::u16string_view;
  // The name asked for, the family, the PostScript name and whether the face is bold.
  const std::tuple<View, View, View, bool> cases[] = {
      {u"DejaVu Sans", u"DejaVu Sans", u"DejaVuSans", false},           // family: regular face
      {u"dejavu sans", u"DejaVu Sans", u"DejaVuSans", false},           // letter case
      {u"DejaVuSans-Bold", u"DejaVu Sans", u"DejaVuSans-Bold", true},   // PostScript name
      {u"DejaVu Sans Bold", u"DejaVu Sans", u"DejaVuSans-Bold", true},  // full name
      {u"DejaVuSans-Regular", u"DejaVu Sans", u"DejaVuSans", false},    // "Regular" is "Book"
      {u"DejaVu Sans Condensed Bold", u"DejaVu Sans", u"DejaVuSansCondensed-Bold", true},
  };
  for (const auto& [name, family, postscript, bold] : cases) {
    FontRef font = Font::Named(name, 12.5);
    ASSERT_NE(font, nullptr) << std::string(name.begin(), name.end());
    EXPECT_EQ((std::tuple{font->family(), font->name(), font->bold(), font->point_size()}),
              std::tuple(family, postscript, bold, 12.5));
  }
  // fontconfig would substitute a face for each of these; the font must not.
  for (std::u16string_view name : {u"HelveticaNeue", u"HelveticaNeue-Medium", u"DejaVuSans-Medium",
                                   u"DejaVu Sans Italic", u"", u"   ", u"Sans", u"-"}) {
    EXPECT_EQ(Font::Named(name, 12), nullptr) << std::string(name.begin(), name.end());
  }
  const std::u16string broken(1, u'\xD800');  // an unpaired surrogate
  EXPECT_EQ(Font::Named(broken, 12), nullptr);
  for (double size : {0.0, -3.0, Font::kMaxPointSize * 2, std::nan("")}) {
    EXPECT_EQ((std::tuple{Font::Named(u"DejaVu Sans", size), Font::System(size)}),
              std::tuple(nullptr, nullptr))
        << size;
  }

  // The system family is configurable and always gives a font.
  EXPECT_EQ(Font::SystemFamily(), u"DejaVu Sans");
  FontRef regular = Font::System(14);
  FontRef bold = Font::BoldSystem(14);
  FontRef body = Font::Preferred(Font::TextStyle::kBody);
  ASSERT_THAT((std::vector{regular, bold, body}), ::testing::Each(::testing::NotNull()));
  EXPECT_EQ((std::tuple{regular->name(), regular->bold(), bold->name(), bold->bold()}),
            std::tuple(u"DejaVuSans", false, u"DejaVuSans-Bold", true));
  EXPECT_EQ((std::tuple{body->name(), body->point_size()}), std::tuple(u"DejaVuSans", 17));

  Font::SetSystemFamily(u"DejaVu Serif");
  FontRef serif = Font::BoldSystem(10);
  // A family that is not installed still gives fontconfig's substitute, not null.
  Font::SetSystemFamily(u"No Such Family Here");
  FontRef substitute = Font::System(10);
  Font::SetSystemFamily(u"");
  EXPECT_EQ(Font::SystemFamily(), u"DejaVu Sans");
  ASSERT_NE(serif, nullptr);
  EXPECT_EQ(serif->name(), u"DejaVuSerif-Bold");
  EXPECT_NE(substitute, nullptr);
}

constexpr char kBudgetVariable[] = "KELVANE_FONT_BUDGET";

// A fresh process finds its first font with only the budget's bytes of address space left, then
// again with no limit: 0 when the second lookup finds the installed face, 1 when it finds none,
// 2 for another face (a failure in the first lookup was kept). fontconfig keeps its caches in a
// folder of the child's own, as one that runs out of memory while loading stores empty caches.
int FirstLookupChild() {
  const char* budget = std::getenv(kBudgetVariable);
  if (budget == nullptr) return 3;
  const testing::TempDir dir;
  const std::string config = dir.path().string() + "/fonts.conf";
  std::ofstream(config) << "<fontconfig><dir>/usr/share/fonts</dir><cachedir>"
                        << dir.path().string() << "/cache</cachedir></fontconfig>\n";
  ::setenv("FONTCONFIG_FILE", config.c_str(), 1);
  const rlim_t mapped = testing::internal::StatusBytes("VmSize");
  const rlimit limited{mapped + std::strtoull(budget, nullptr, 10), RLIM_INFINITY};
  ::setrlimit(RLIMIT_AS, &limited);
  // The system family is not installed, so its lookup asks fontconfig for a substitute too.
  Font::SetSystemFamily(u"No Such Family Here");
  (void)Font::System(12);
  (void)Font::Named(u"DejaVu Sans Bold", 12);
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  ::setrlimit(RLIMIT_AS, &unlimited);
  const FontRef font = Font::Named(u"DejaVu Sans Bold", 12);
  if (font == nullptr) return 1;
  return font->name() == u"DejaVuSans-Bold" ? 0 : 2;
}

[[maybe_unused]] const bool kFirstLookup =
    testing::ChildProcess("font-first-lookup", FirstLookupChild);

TEST(Font, AFirstLookupWithoutMemoryFailsAndTheNextFindsTheFace) {
  if constexpr (testing::kUnderSanitizer) {
    GTEST_SKIP() << "the sanitizers reserve terabytes of address space: an address-space "
                    "limit cannot be set under them";
  }
  // Budgets below what fontconfig needs to load, and one above it.
  for (const char* budget : {"65536", "262144", "1048576", "4194304", "134217728"}) {
    SCOPED_TRACE(budget);
    const testing::ScopedEnvironment environment({{kBudgetVariable, budget}});
    EXPECT_EQ(testing::RunLimitedChild("font-first-lookup", {.seconds = 20}).status, 0);
  }
}

}  // namespace
}  // namespace kelvane::platform
