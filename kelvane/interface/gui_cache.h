// SPDX-License-Identifier: Apache-2.0
// kelvane/interface/gui_cache.h
//
// SGUICache: the prebuilt font tables of the interface and a few small drawing and widget
// factories (a rounded-rectangle path, a corner mask for views, a plain label, a plain input
// field, a stretched copy of an image and a one-pixel image of a colour).
//
// The font tables: five process-wide arrays of 37 entries, indexed by point size minus 4
// (index 0 is 4 points, index 36 is 40 points), so that a font of a whole size is one array
// read away:
//   s_font_sys_bold  the bold system font of each size
//   s_font_sys_norm  the system font of each size
//   s_font_hal_bold  "HelveticaNeue-Medium" of each size; where no such font is installed, the
//                    very object of the s_font_sys_bold entry
//   s_font_hal_norm  "HelveticaNeue" of each size, or else the s_font_sys_norm entry
//   s_font_con_bold  the font last installed with FontCondencedBoldName; null until then, and
//                    where no font of that name is installed
// The first four are filled once, by the first call of any SGUICache member (call initialize()
// to have it done early), from the system family set at that moment (Font::SetSystemFamily),
// and never change afterwards. The application may read the tables directly once that has
// happened.
//
// Threads: every member may be called from any thread. The one-time filling runs exactly once,
// and other threads wait for it. Each table entry is a font reference under a lock of its own,
// held only while the reference is copied in or out: a reader always gets a whole font that
// stays alive as long as the reader holds it, or null, even while FontCondencedBoldName refills
// the condensed table on another thread (a reader may then see the old font of one size and
// the new font of another). Refills are serialised, so after
// concurrent calls the table holds the fonts of one name. The entries are never released, not
// even at exit, so threads that outlive main may still read them. The drawing factories use
// only what they are given, with the usual rule that a context, a view or a layer is used by
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/geometry/geometry.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/ui/label.h"
#include "kelvane/platform/ui/text_field.h"
#include "kelvane/platform/ui/view.h"

namespace kelvane {

// One entry of a font table: a font reference that readers copy out whole (see above).
class KELVANE_EXPORT FontTableEntry {
 public:
  constexpr FontTableEntry() noexcept : slot_() {}
  ~FontTableEntry() {}  // the font is kept for the life of the process
  FontTableEntry(const FontTableEntry&) = delete;
  FontTableEntry& operator=(const FontTableEntry&) = delete;

  // The font of the entry, or null.
  [[nodiscard]] platform::FontRef load() const noexcept {
    std::lock_guard lock(slot_.mutex);
    return slot_.font;
  }
  // Replaces the font; the one replaced is released outside the lock.
  void store(platform::FontRef font) noexcept {
    {
      std::lock_guard lock(slot_.mutex);
      slot_.font.swap(font);
    }
  }

 private:
  struct Slot {
    mutable std::mutex mutex;
    platform::FontRef font;
  };
  union {
    Slot slot_;
  };
};

// Point sizes 4..40.
inline constexpr std::size_t kFontTableSize = 37;

// The bold system font of each size.
extern KELVANE_EXPORT FontTableEntry s_font_sys_bold[kFontTableSize];
// The system font of each size.
extern KELVANE_EXPORT FontTableEntry s_font_sys_norm[kFontTableSize];
// "HelveticaNeue-Medium" of each size, else the s_font_sys_bold entry.
extern KELVANE_EXPORT FontTableEntry s_font_hal_bold[kFontTableSize];
// "HelveticaNeue" of each size, else the s_font_sys_norm entry.
extern KELVANE_EXPORT FontTableEntry s_font_hal_norm[kFontTableSize];
// The font last installed with FontCondencedBoldName; null until then.
extern KELVANE_EXPORT FontTableEntry s_font_con_bold[kFontTableSize];

// The font tables and the small drawing and widget factories (see the opening block).
class KELVANE_EXPORT SGUICache {
 public:
  SGUICache() = delete;
  SGUICache(const SGUICache&) = delete;
  SGUICache& operator=(const SGUICache&) = delete;

  // Fills the first four tables, once per process; later calls return at once.
  static void initialize() noexcept;

  // The s_font_hal_norm entry for `size` points; null when size is outside 4..40.
  [[nodiscard]] static platform::FontRef FontSystemNorm(std::uint32_t size) noexcept;
  // The s_font_hal_bold entry for `size` points; null when size is outside 4..40.
  [[nodiscard]] static platform::FontRef FontSystemBold(std::uint32_t size) noexcept;
  // The s_font_con_bold entry for `size` points, or the s_font_sys_bold entry where that is
  // null; null when size is outside 4..40.
  [[nodiscard]] static platform::FontRef FontCondencedBold(std::uint32_t size) noexcept;
  // Refills s_font_con_bold with the font called `name` in every size 4..40 (null entries when
  // no such font is installed). An absent or empty name leaves the table as it is.
  static void FontCondencedBoldName(OptionalString name) noexcept;

  // Replaces the current path of `context` by a rounded rectangle: four quarter arcs of radius
  // `roundRadius` joined by the straight edges, clockwise on a y-down surface from
  // (minX, minY + roundRadius), closed. Nothing is filled or stroked. A radius that is not a
  // number of at least 0 counts as 0 (the plain rectangle). Nothing happens without a context.
  static void DrawRoundRect(platform::Rect rect, platform::GraphicsContext* context,
                            double roundRadius) noexcept;

  // Masks the layer of `view` with a shape layer over its bounds whose top corners are arcs of
  // `roundRadius` when bit 1 of `corner` is set and whose bottom corners are arcs when bit 4 is
  // set; the other bits change nothing (corners 2 give the plain rectangle). Corners 0 remove
  // the mask. The radius rule is DrawRoundRect's.
  static void RoundView(platform::View& view, std::uint64_t corner, double roundRadius) noexcept;

  // A new label with `frame`: left-aligned, no background colour, not opaque, its font shrunk
  // to fit the width. Null only when memory runs out.
  [[nodiscard]] static platform::LabelRef Label(platform::Rect frame) noexcept;

  // A new text field with `frame`: no border, the body text style's preferred font, the text
  // in appRoyalBlue and right-aligned, return key "done", autocorrection off, the default
  // keyboard appearance, the text centred vertically, a flexible left margin and width. Null
  // only when memory runs out.
  [[nodiscard]] static platform::TextFieldRef Field(platform::Rect frame) noexcept;

  // A new image of `reSize` points (at the screen's scale) with the whole of `image` stretched
  // into it, proportions not kept. Null for a null image or a size that makes no surface.
  [[nodiscard]] static platform::ImageRef ImageReSize(const platform::ImageRef& image,
                                                      platform::Size reSize) noexcept;

  // A new image of 1 x 1 point at scale 1 filled with `color` (resolved for the current
  // appearance). Null for a null colour.
  [[nodiscard]] static platform::ImageRef ImageWithColor(const platform::ColorRef& color) noexcept;
};

}  // namespace kelvane
