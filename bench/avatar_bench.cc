// SPDX-License-Identifier: Apache-2.0
// Avatars: ours against the same drawing written directly on Cairo and Pango, from 40 to 2048
// points on a scale-3 screen (circle clip, gradient, white initials); and the initials alone.
//
// Each run reports its pixels per second, so that a cost growing faster than the pixel count
// shows as a falling rate. Above 32 MiB (from about 970 points at scale 3) the C library maps
// every surface afresh, so that the peer pays the first touch of each page at the largest size
// (twice, as it copies the picture out); ours draws there on pixel memory kept from the
// previous avatar, which it clears. Both sides pay fresh pages for the engine's own masks.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/ratio.h"
#include "kelvane/colours/avatar.h"
#include "kelvane/platform/device/screen.h"

namespace {

using namespace kelvane;

const platform::ScopedScreenOverrides& Scale3() {
  static const platform::ScopedScreenOverrides overrides(platform::ScreenOverrides{.scale = 3.0});
  return overrides;
}

void BM_AvatarOurs(benchmark::State& state) {
  (void)Scale3();
  const double side = static_cast<double>(state.range(0));
  for (auto _ : state) {
    platform::ImageRef image =
        Avatar::AvatarLogin(u"john smith", std::nullopt, std::nullopt, {side, side}, 1);
    benchmark::DoNotOptimize(image);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(side * 3) *
                          static_cast<std::int64_t>(side * 3));
}

void BM_AvatarCairoPango(benchmark::State& state) {
  const double side = static_cast<double>(state.range(0));
  const int pixels = static_cast<int>(side * 3);
  PangoFontDescription* font = pango_font_description_from_string("DejaVu Sans");
  for (auto _ : state) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels, pixels);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 3, 3);
    cairo_save(cr);
    cairo_translate(cr, side / 2, side / 2);
    cairo_scale(cr, (side - 2) / 2, (side - 2) / 2);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_clip(cr);
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, side);
    cairo_pattern_add_color_stop_rgba(gradient, 0, 0.41, 0.60, 0.94, 1);
    cairo_pattern_add_color_stop_rgba(gradient, 1, 0.58, 0.80, 0.98, 1);
    cairo_set_source(cr, gradient);
    cairo_paint(cr);
    cairo_pattern_destroy(gradient);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_font_description_set_absolute_size(font, side * 0.45 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "JS", -1);
    int width = 0, height = 0;
    pango_layout_get_size(layout, &width, &height);
    cairo_move_to(cr, (side - std::ceil(width / double(PANGO_SCALE))) / 2,
                  (side - std::ceil(height / double(PANGO_SCALE))) / 2);
    cairo_set_source_rgb(cr, 1, 1, 1);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    cairo_surface_flush(surface);
    // The image: a copy of the pixels, as a caller keeping the picture would make.
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<std::uint8_t> copy(cairo_image_surface_get_data(surface),
                                   cairo_image_surface_get_data(surface) + stride * pixels);
    benchmark::DoNotOptimize(copy);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  pango_font_description_free(font);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pixels) * pixels);
}

void BM_InitialsLogin(benchmark::State& state) {
  unsigned char digest[16];
  for (auto _ : state) {
    String initials = Avatar::InitialsLogin(u"john smith", std::nullopt, std::nullopt, digest);
    benchmark::DoNotOptimize(initials);
  }
}

BENCHMARK(BM_AvatarOurs)->Arg(40)->Arg(128)->Arg(512)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AvatarCairoPango)
    ->Arg(40)
    ->Arg(128)
    ->Arg(512)
    ->Arg(2048)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InitialsLogin);

const bool registered = [] {
  using kelvane::bench::Ratio;
  Ratio("40 pt avatar at scale 3 vs Cairo + Pango", "BM_AvatarOurs/40", "BM_AvatarCairoPango/40",
        "<= 1.2");
  Ratio("128 pt avatar at scale 3 vs Cairo + Pango", "BM_AvatarOurs/128", "BM_AvatarCairoPango/128",
        "<= 1.2");
  Ratio("512 pt avatar at scale 3 vs Cairo + Pango", "BM_AvatarOurs/512", "BM_AvatarCairoPango/512",
        "<= 1.2");
  Ratio("2048 pt avatar at scale 3 vs Cairo + Pango", "BM_AvatarOurs/2048",
        "BM_AvatarCairoPango/2048", "reported");
  return true;
}();

}  // namespace

KELVANE_BENCH_MAIN()
