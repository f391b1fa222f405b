// SPDX-License-Identifier: Apache-2.0
#include "tools/kelvane/gallery.h"

#include <cmath>
#include <string>
#include <vector>

#include "kelvane/colours/avatar.h"
#include "kelvane/colours/color_cache.h"
#include "kelvane/colours/palette.h"
#include "kelvane/images/image_effects.h"
#include "kelvane/images/resize.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/text/text_drawing.h"
#include "tools/kelvane/command.h"
#include "tools/kelvane/files.h"

namespace kelvane::cli {
namespace {

using platform::ColorRef;
using platform::FontRef;
using platform::GraphicsContext;
using platform::ImageRef;
using platform::Rect;
using platform::Size;

struct Participant {
  OptionalString login, name, surname;
  const char16_t* label;
};

// Sample participants across scripts, as a chat shows them.
const Participant kParticipants[] = {
    {u"john smith", std::nullopt, std::nullopt, u"login john smith"},
    {std::nullopt, u"Anna", u"Kowalski", u"Anna Kowalski"},
    {u"traderjoe", std::nullopt, std::nullopt, u"login traderjoe"},
    {std::nullopt, u"\u0418\u0432\u0430\u043D", u"\u041F\u0435\u0442\u0440\u043E\u0432",
     u"\u0418\u0432\u0430\u043D \u041F\u0435\u0442\u0440\u043E\u0432"},
    {std::nullopt, u"\u03B3\u03B9\u03CE\u03C1\u03B3\u03BF\u03C2",
     u"\u03C0\u03B1\u03C0\u03B1\u03B4\u03CC\u03C0\u03BF\u03C5\u03BB\u03BF\u03C2",
     u"\u03B3\u03B9\u03CE\u03C1\u03B3\u03BF\u03C2 (lower case)"},
    {std::nullopt, u"\u0645\u062D\u0645\u062F", u"\u0639\u0644\u064A",
     u"\u0645\u062D\u0645\u062F \u0639\u0644\u064A"},
    {std::nullopt, u"\u05D3\u05D5\u05D3", u"\u05DC\u05D5\u05D9",
     u"\u05D3\u05D5\u05D3 \u05DC\u05D5\u05D9"},
    {std::nullopt, u"\u5C0F\u660E", u"\u738B", u"\u5C0F\u660E \u738B"},
    {std::nullopt, u"E\u0301mile", u"Zola", u"E\u0301mile (combining)"},
    {std::nullopt, u"\U0001F680 Rocket", std::nullopt, u"\U0001F680 Rocket"},
    {u"a b charlie", std::nullopt, std::nullopt, u"login a b charlie"},
    {u"", u"", u"", u"all empty"},
};

constexpr double kMargin = 24.0;
constexpr double kCell = 76.0;  // one participant column
constexpr double kAvatar = 56.0;
constexpr double kRowLabel = 44.0;  // the clip names left of the avatar rows
constexpr double kWidth = kMargin * 2 + kRowLabel + kCell * 12;

class Painter {
 public:
  explicit Painter(GraphicsContext& context) : context_(context) {}

  void Text(std::u16string_view text, Rect rect, double points, const ColorRef& colour,
            bool bold = false, int alignment = 0) {
    const FontRef font = bold ? platform::Font::BoldSystem(points) : platform::Font::System(points);
    (void)NSTools::DrawInRect(String(text), rect, font, colour, /*lineBreakMode=*/4, alignment);
  }
  void Image(const ImageRef& image, Rect rect) {
    if (image != nullptr) context_.DrawImageInRect(*image, rect);
  }
  void Fill(Rect rect, const ColorRef& colour) {
    context_.SetFillColor(colour);
    context_.FillRect(rect);
  }
  void Frame(Rect rect, const ColorRef& colour) {
    context_.SetStrokeColor(colour);
    context_.SetLineWidth(0.5);
    context_.BeginPath();
    context_.AddRect(rect);
    context_.StrokePath();
  }

 private:
  GraphicsContext& context_;
};

}  // namespace

ImageRef DrawLandscape() {
  const platform::ImageRenderer renderer({240, 160}, {2.0, false});
  const auto sky = platform::Gradient::WithColorComponents(
      std::vector<double>{0.16, 0.33, 0.62, 1, 0.96, 0.72, 0.46, 1}, {}, 2);
  const auto ground = platform::Gradient::WithColorComponents(
      std::vector<double>{0.20, 0.52, 0.27, 1, 0.08, 0.25, 0.12, 1}, {}, 2);
  if (sky == nullptr || ground == nullptr) return nullptr;
  return renderer.Image([&](platform::GraphicsContext& c) {
    c.DrawLinearGradient(*sky, {0, 0}, {0, 110}, platform::kGradientDrawsAfterEndLocation);
    c.SetFillColor(1.0, 0.86, 0.35, 1);  // the sun, top left: the turns are easy to follow
    c.AddEllipseInRect({22, 18, 44, 44});
    c.FillPath();
    c.SaveGState();
    c.MoveTo(0, 160);  // hills
    c.AddLineTo(0, 112);
    c.AddArc(70, 150, 70, M_PI * 1.2, M_PI * 1.8, false);
    c.AddArc(185, 160, 80, M_PI * 1.15, M_PI * 1.95, false);
    c.AddLineTo(240, 160);
    c.ClosePath();
    c.Clip();
    c.DrawLinearGradient(
        *ground, {0, 90}, {0, 160},
        platform::kGradientDrawsBeforeStartLocation | platform::kGradientDrawsAfterEndLocation);
    c.RestoreGState();
    c.SetFillColor(0.55, 0.18, 0.16, 1);  // a house with a window
    c.FillRect({150, 104, 36, 30});
    c.SetFillColor(0.98, 0.93, 0.70, 1);
    c.FillRect({160, 112, 10, 10});
    c.SetStrokeColor(1, 1, 1, 0.8);
    c.SetLineWidth(3);
    c.MoveTo(146, 106);
    c.AddLineTo(168, 88);
    c.AddLineTo(190, 106);
    c.StrokePath();
  });
}

void DrawGallery(const std::string& path, ImageRef picture) {
  if (picture == nullptr) picture = DrawLandscape();
  if (picture == nullptr) throw Failure(path + ": the sample picture could not be drawn");

  const auto roles = PaletteRoles();
  constexpr int kSwatchColumns = 6;
  const int swatch_rows = static_cast<int>((roles.size() + kSwatchColumns - 1) / kSwatchColumns);
  constexpr double kSwatchRow = 22.0;
  constexpr double kThumbHeight = 120.0;
  const double height = kMargin + 30 + (kCell + 4) * 3 + 40 + 30 + swatch_rows * kSwatchRow + 30 +
                        30 + kThumbHeight + 24 + 30 + kCell + 20 + kMargin;

  if (!platform::BeginImageContextWithOptions({kWidth, height}, true, 2.0)) {
    throw Failure(path + ": no drawing surface for the gallery");
  }
  GraphicsContext& context = *platform::GetCurrentContext();
  Painter paint(context);
  const ColorRef ink = Create::ColorForRGB(0x222222);
  const ColorRef soft = Create::ColorForRGB(0x777777);
  paint.Fill({0, 0, kWidth, height}, Create::ColorForRGB(0xFAFAF7));

  double y = kMargin;
  paint.Text(u"Kelvane: avatars, palette, effects", {kMargin, y, kWidth - 2 * kMargin, 26}, 20, ink,
             true);
  y += 34;

  // Initials avatars: one row per clip kind.
  const char16_t* clip_names[] = {u"no clip", u"circle", u"rounded"};
  for (std::uint64_t clip = 0; clip < 3; ++clip) {
    paint.Text(clip_names[clip], {kMargin, y + kAvatar / 2 - 7, kRowLabel, 14}, 10, soft);
    for (int i = 0; i < 12; ++i) {
      const Participant& p = kParticipants[i];
      const ImageRef avatar =
          Avatar::AvatarLogin(p.login, p.name, p.surname, {kAvatar, kAvatar}, clip);
      paint.Image(avatar,
                  {kMargin + kRowLabel + i * kCell + (kCell - kAvatar) / 2, y, kAvatar, kAvatar});
    }
    y += kCell + 4;
  }
  for (int i = 0; i < 12; ++i) {
    paint.Text(kParticipants[i].label, {kMargin + kRowLabel + i * kCell + 2, y - 6, kCell - 4, 26},
               8, ink, false, 1);
  }
  y += 40;

  // The palette: each role's light and dark value with its name.
  paint.Text(u"Palette roles, light | dark", {kMargin, y, 400, 20}, 14, ink, true);
  y += 28;
  const double column = (kWidth - 2 * kMargin) / kSwatchColumns;
  for (std::size_t i = 0; i < roles.size(); ++i) {
    const double x = kMargin + static_cast<double>(i % kSwatchColumns) * column;
    const double top = y + static_cast<double>(i / kSwatchColumns) * kSwatchRow;
    const ColorRef colour = roles[i].accessor();
    if (colour == nullptr) continue;
    paint.Fill({x, top + 2, 16, 16}, colour->Resolved(platform::Appearance::kLight));
    paint.Fill({x + 16, top + 2, 16, 16}, colour->Resolved(platform::Appearance::kDark));
    paint.Frame({x, top + 2, 32, 16}, soft);
    const std::string& name = std::string(roles[i].name);
    paint.Text(String(name.begin(), name.end()), {x + 36, top + 4, column - 40, 14}, 9, ink);
  }
  y += swatch_rows * kSwatchRow + 20;

  // The blur presets on one picture.
  paint.Text(u"Blur presets", {kMargin, y, 400, 20}, 14, ink, true);
  y += 28;
  const ColorRef tint = Create::ColorForRGB(0x1A61CC);
  const ImageRef effects[] = {
      picture,
      UIImageEffects::imageByApplyingLightEffectToImage(picture),
      UIImageEffects::imageByApplyingExtraLightEffectToImage(picture),
      UIImageEffects::imageByApplyingDarkEffectToImage(picture),
      UIImageEffects::imageByApplyingTintEffectWithColor(tint, picture),
  };
  const char16_t* effect_names[] = {u"original", u"light", u"extra light", u"dark",
                                    u"tint #1A61CC"};
  const double thumb_width = kThumbHeight * 1.5;
  const double thumb_gap = (kWidth - 2 * kMargin - 5 * thumb_width) / 4;
  for (int i = 0; i < 5; ++i) {
    const double x = kMargin + i * (thumb_width + thumb_gap);
    paint.Image(effects[i], {x, y, thumb_width, kThumbHeight});
    paint.Text(effect_names[i], {x, y + kThumbHeight + 4, thumb_width, 14}, 10, ink, false, 1);
  }
  y += kThumbHeight + 24 + 20;

  // A picture avatar in each fit mode, of a picture smaller than the avatar so that the modes
  // differ.
  const double scale = picture->scale();
  const ImageRef small =
      Resize::resizedImage(*picture, {42 * scale, 28 * scale}, platform::kInterpolationHigh);
  paint.Text(u"Picture avatars: fit, fill, center, top, bottom, stretch (rounded clip)",
             {kMargin, y, 700, 20}, 14, ink, true);
  y += 28;
  const std::int64_t modes[] = {Avatar::kModeFit,    Avatar::kModeFill,
                                Avatar::kModeCenter, Avatar::kModeTop,
                                Avatar::kModeBottom, platform::kContentModeStretch};
  const char16_t* mode_names[] = {u"fit", u"fill", u"center", u"top", u"bottom", u"stretch"};
  const ColorRef backdrop = Create::ColorForRGB(0xDDE3EA);
  for (int i = 0; i < 6; ++i) {
    const ImageRef avatar =
        Avatar::Avatar(small, modes[i], backdrop, {kAvatar, kAvatar}, Avatar::kClipRounded);
    const double x = kMargin + i * kCell;
    paint.Image(avatar, {x + (kCell - kAvatar) / 2, y, kAvatar, kAvatar});
    paint.Text(mode_names[i], {x, y + kAvatar + 4, kCell, 14}, 10, ink, false, 1);
  }

  const ImageRef gallery = platform::GetImageFromCurrentImageContext();
  platform::EndImageContext();
  if (gallery == nullptr) throw Failure(path + ": the gallery could not be drawn");
  WritePNG(*gallery, path);
}

}  // namespace kelvane::cli
