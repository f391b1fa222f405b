// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/fonts/font.h
//
// The platform font: one installed face (a family and a style such as "Bold") at a point size.
// Fonts are immutable and shared as FontRef; a FontRef is one object, but asking twice for the
// same font may give two objects that describe the same face and size.
//
// Faces come from fontconfig. Text drawn with a font falls back to other installed faces for
// the characters its own face lacks (see text_layout.h); the font itself names one face.
//
// The system font is one configured family (DejaVu Sans unless the application sets another
// with SetSystemFamily): System() is its regular face, BoldSystem() its bold face. When the
// configured family is not installed, fontconfig's substitute for it answers instead, so the
// system fonts exist wherever any font is installed.
//
// Threads: fonts are immutable and may be used from any thread; the factories and the system
// family may be called from any thread.
#pragma once

#include <memory>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

// The engine's description of a font (see internal/font_access.h); opaque here.
struct _PangoFontDescription;

namespace kelvane::platform {

class Font;
// Fonts are immutable and shared: the same ref is the same font.
using FontRef = std::shared_ptr<const Font>;

// An installed face at a point size.
class KELVANE_EXPORT Font {
 public:
  // The text styles of the platform's preferred fonts (sizes at Preferred()).
  enum class TextStyle {
    kBody,         // running text
    kHeadline,     // headings
    kSubheadline,  // subheadings
    kFootnote,     // footnotes
    kCaption1,     // captions
    kCaption2,     // smaller captions
  };

  // Point sizes a font may have: above 0 and at most this. Other sizes give null fonts.
  static constexpr double kMaxPointSize = 4096.0;

  // The system family's regular face at `size` points; null when the size is out of range or
  // no font is installed at all.
  [[nodiscard]] static FontRef System(double size) noexcept;
  // The system family's bold face (the nearest to bold the family has).
  [[nodiscard]] static FontRef BoldSystem(double size) noexcept;

  // The installed face called `name` at `size` points, or null when none is. A name is taken
  // as, in this order: a PostScript name ("DejaVuSans-Bold"), a full name ("DejaVu Sans
  // Bold"), a family ("DejaVu Sans", its regular face), or a family and a style joined by a
  // hyphen or a space ("DejaVuSans-Bold", "DejaVu Sans Condensed Bold"), where spaces in the
  // family and the style do not count. Letter case does not count anywhere. "Regular" also
  // finds a family's regular face when the family calls it "Book" or "Roman".
  [[nodiscard]] static FontRef Named(std::u16string_view name, double size) noexcept;

  // The preferred font of a text style: body 17 (the system font), headline 17 bold,
  // subheadline 15, footnote 13, caption 1 12 and caption 2 11 points.
  [[nodiscard]] static FontRef Preferred(TextStyle style) noexcept;

  // Sets the system family for the fonts made afterwards; an empty name restores the default.
  static void SetSystemFamily(std::u16string_view family) noexcept;
  // The system family in force.
  [[nodiscard]] static String SystemFamily();
  // The system family unless SetSystemFamily chose another.
  [[nodiscard]] static constexpr std::u16string_view DefaultSystemFamily() noexcept {
    return u"DejaVu Sans";
  }

  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // The face's PostScript name ("DejaVuSans-Bold"); Named() finds the face again by it.
  [[nodiscard]] String name() const;
  // The family name ("DejaVu Sans").
  [[nodiscard]] String family() const;
  // The face's style name as the font file gives it ("Bold", "Book").
  [[nodiscard]] String style() const;
  // The size in points.
  [[nodiscard]] double point_size() const noexcept { return point_size_; }
  // True for a face of weight semi-bold or heavier.
  [[nodiscard]] bool bold() const noexcept { return bold_; }
  // The same face at another size; null when the size is out of range.
  [[nodiscard]] FontRef WithSize(double size) const noexcept;

  struct Face;  // the face a font draws with, shared by its sizes

 protected:
  // Keeps construction to the factories, which never throw; the constructor is public so that
  // they can allocate the object in one block.
  struct Token {
    explicit Token() = default;
  };

 public:
  // For the factories only (the token is the fonts' own); takes `description` over.
  Font(Token, std::shared_ptr<const Face> face, double size, _PangoFontDescription* description,
       bool bold) noexcept;

  // For the text layout code (see internal/font_access.h): the face.
  [[nodiscard]] const Face& face() const noexcept { return *face_; }
  // For the text layout code: the engine's description of face and size.
  [[nodiscard]] const _PangoFontDescription* description() const noexcept { return description_; }

 private:
  static FontRef Make(std::shared_ptr<const Face> face, double size) noexcept;

  std::shared_ptr<const Face> face_;
  double point_size_;
  _PangoFontDescription* description_;  // owned; carries the face and the size
  bool bold_;
};

}  // namespace kelvane::platform
