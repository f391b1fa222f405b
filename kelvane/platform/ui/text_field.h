// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/ui/text_field.h
//
// The text field: a view that takes one line of text from the keyboard, as a plain model with no
// window system behind it. It keeps what a screen sets on it: the text with its font, colour and
// alignments, the border, and how the keyboard behaves (return key, autocorrection, appearance).
// Every enumeration is in the platform's numbering, so stored settings keep their meaning.
//
// Ownership and threads: as for every view (view.h): shared as TextFieldRef, one thread at a
// time.
#pragma once

#include <memory>

#include "kelvane/export.h"
#include "kelvane/platform/ui/text_properties.h"
#include "kelvane/platform/ui/view.h"

namespace kelvane::platform {

enum TextBorderStyle : int {
  kTextBorderNone = 0,
  kTextBorderLine = 1,
  kTextBorderBezel = 2,
  kTextBorderRoundedRect = 3,
};

// The label of the keyboard's return key; the values between name other words.
enum ReturnKeyType : int {
  kReturnKeyDefault = 0,
  kReturnKeyGo = 1,
  kReturnKeyNext = 4,
  kReturnKeySearch = 6,
  kReturnKeySend = 7,
  kReturnKeyDone = 9,
  kReturnKeyContinue = 11,
};

enum AutocorrectionType : int {
  kAutocorrectionDefault = 0,
  kAutocorrectionNo = 1,
  kAutocorrectionYes = 2,
};

enum KeyboardAppearance : int {
  kKeyboardAppearanceDefault = 0,
  kKeyboardAppearanceDark = 1,
  kKeyboardAppearanceLight = 2,
};

// Where the line of text sits between the top and bottom of the field.
enum ContentVerticalAlignment : int {
  kContentVerticalAlignmentCenter = 0,
  kContentVerticalAlignmentTop = 1,
  kContentVerticalAlignmentBottom = 2,
  kContentVerticalAlignmentFill = 3,
};

class TextField;
using TextFieldRef = std::shared_ptr<TextField>;

class KELVANE_EXPORT TextField : public View, public TextProperties {
 public:
  // An empty field with `frame` (see View::set_frame); every setting starts at its default
  // (0, or natural alignment); null only when memory runs out.
  [[nodiscard]] static TextFieldRef Make(Rect frame) noexcept { return MakeAs<TextField>(frame); }

  TextField(Token token, Rect frame, LayerRef layer) noexcept
      : View(token, frame, std::move(layer)) {}

  [[nodiscard]] ContentVerticalAlignment content_vertical_alignment() const noexcept {
    return vertical_alignment_;
  }
  void set_content_vertical_alignment(ContentVerticalAlignment alignment) noexcept {
    vertical_alignment_ = alignment;
  }
  [[nodiscard]] TextBorderStyle border_style() const noexcept { return border_style_; }
  void set_border_style(TextBorderStyle style) noexcept { border_style_ = style; }
  [[nodiscard]] ReturnKeyType return_key_type() const noexcept { return return_key_type_; }
  void set_return_key_type(ReturnKeyType type) noexcept { return_key_type_ = type; }
  [[nodiscard]] AutocorrectionType autocorrection_type() const noexcept {
    return autocorrection_type_;
  }
  void set_autocorrection_type(AutocorrectionType type) noexcept { autocorrection_type_ = type; }
  [[nodiscard]] KeyboardAppearance keyboard_appearance() const noexcept {
    return keyboard_appearance_;
  }
  void set_keyboard_appearance(KeyboardAppearance appearance) noexcept {
    keyboard_appearance_ = appearance;
  }

 private:
  ContentVerticalAlignment vertical_alignment_ = kContentVerticalAlignmentCenter;
  TextBorderStyle border_style_ = kTextBorderNone;
  ReturnKeyType return_key_type_ = kReturnKeyDefault;
  AutocorrectionType autocorrection_type_ = kAutocorrectionDefault;
  KeyboardAppearance keyboard_appearance_ = kKeyboardAppearanceDefault;
};

}  // namespace kelvane::platform
