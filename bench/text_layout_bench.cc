// SPDX-License-Identifier: Apache-2.0
// Text: SizeWithFont per call (the shared attribute set under its lock, attributed text made,
// laid out on Pango, rounded) against measuring the same UTF-8 text with one Pango layout
// reused directly, on a context with the same font options and the same font description.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>

#include "bench/ratio.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/fonts/internal/font_access.h"
#include "kelvane/text/text_drawing.h"

namespace {

using kelvane::platform::Font;

// A typical quote line of the trading screens.
constexpr char16_t kText[] = u"EUR/USD 1.08542 / 1.08549  +0.35%";
constexpr char kTextUtf8[] = "EUR/USD 1.08542 / 1.08549  +0.35%";

void BM_SizeWithFontOurs(benchmark::State& state) {
  const auto font = Font::System(14);
  for (auto _ : state) {
    auto size = kelvane::NSTools::SizeWithFont(kText, font);
    benchmark::DoNotOptimize(size);
  }
}

void BM_SizeWithPangoLayout(benchmark::State& state) {
  const auto font = Font::System(14);
  PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, kelvane::platform::internal::DescriptionOf(*font));
  for (auto _ : state) {
    pango_layout_set_text(layout, kTextUtf8, -1);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    benchmark::DoNotOptimize(logical);
  }
  g_object_unref(layout);
  g_object_unref(context);
}

BENCHMARK(BM_SizeWithFontOurs);
BENCHMARK(BM_SizeWithPangoLayout);

const bool registered = [] {
  kelvane::bench::Ratio("SizeWithFont vs a reused Pango layout", "BM_SizeWithFontOurs",
                        "BM_SizeWithPangoLayout", "<= 1.5");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
