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

// The border drawn around the field.
enum TextBorderStyle : int {
  kTextBorderNone = 0,         // no border
  kTextBorderLine = 1,         // a thin line
  kTextBorderBezel = 2,        // a bezel
  kTextBorderRoundedRect = 3,  // a rounded rectangle
};

// The label of the keyboard's return key; the values between name other words.
enum ReturnKeyType : int {
  kReturnKeyDefault = 0,    // the plain return key
  kReturnKeyGo = 1,         // labelled Go
  kReturnKeyNext = 4,       // labelled Next
  kReturnKeySearch = 6,     // labelled Search
  kReturnKeySend = 7,       // labelled Send
  kReturnKeyDone = 9,       // labelled Done
  kReturnKeyContinue = 11,  // labelled Continue
};

// Whether the keyboard corrects what is typed.
enum AutocorrectionType : int {
  kAutocorrectionDefault = 0,  // as the system's setting says
  kAutocorrectionNo = 1,       // never
  kAutocorrectionYes = 2,      // always
};

// The keyboard's colours.
enum KeyboardAppearance : int {
  kKeyboardAppearanceDefault = 0,  // the system's
  kKeyboardAppearanceDark = 1,     // dark
  kKeyboardAppearanceLight = 2,    // light
};

// Where the line of text sits between the top and bottom of the field.
enum ContentVerticalAlignment : int {
  kContentVerticalAlignmentCenter = 0,  // in the middle
  kContentVerticalAlignmentTop = 1,     // at the top
  kContentVerticalAlignmentBottom = 2,  // at the bottom
  kContentVerticalAlignmentFill = 3,    // over the whole height
};

class TextField;
// Text fields are shared: the same ref is the same field.
using TextFieldRef = std::shared_ptr<TextField>;

// A view that takes one line of text, with its text properties and keyboard settings.
class KELVANE_EXPORT TextField : public View, public TextProperties {
 public:
  // An empty field with `frame` (see View::set_frame); every setting starts at its default
  // (0, or natural alignment); null only when memory runs out.
  [[nodiscard]] static TextFieldRef Make(Rect frame) noexcept { return MakeAs<TextField>(frame); }

  // For Make() only (the token is the views' own). REQUIRES: `layer` is not null.
  TextField(Token token, Rect frame, LayerRef layer) noexcept
      : View(token, frame, std::move(layer)) {}

  // Where the line of text sits vertically; kContentVerticalAlignmentCenter at first.
  [[nodiscard]] ContentVerticalAlignment content_vertical_alignment() const noexcept {
    return vertical_alignment_;
  }
  void set_content_vertical_alignment(ContentVerticalAlignment alignment) noexcept {
    vertical_alignment_ = alignment;
  }
  // The border; kTextBorderNone at first.
  [[nodiscard]] TextBorderStyle border_style() const noexcept { return border_style_; }
  void set_border_style(TextBorderStyle style) noexcept { border_style_ = style; }
  // The return key's label; kReturnKeyDefault at first.
  [[nodiscard]] ReturnKeyType return_key_type() const noexcept { return return_key_type_; }
  void set_return_key_type(ReturnKeyType type) noexcept { return_key_type_ = type; }
  // Whether typing is corrected; kAutocorrectionDefault at first.
  [[nodiscard]] AutocorrectionType autocorrection_type() const noexcept {
    return autocorrection_type_;
  }
  void set_autocorrection_type(AutocorrectionType type) noexcept { autocorrection_type_ = type; }
  // The keyboard's colours; kKeyboardAppearanceDefault at first.
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
