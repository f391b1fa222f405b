// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/fonts/attributed_string.h
//
// Attributed text: UTF-16 text plus runs of attributes (font, paragraph style, foreground
// colour, baseline offset, attachment). The runs cover the whole text, in order, and two runs
// side by side always differ (outside an editing batch).
//
// An attribute set is a plain value: each attribute is either set or absent. Setting
// attributes over a range replaces the whole set there; adding merges, keeping what the added
// set leaves absent. Text drawn with an absent attribute uses its default: the system font at
// 12 points, the default paragraph style, black, no offset.
//
// Threads: values; one thread changes a string at a time, any number may read a string that
// no thread changes.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/image.h"

namespace kelvane::platform {

// Alignments in the platform's numbering.
enum TextAlignment : int {
  kTextAlignmentLeft = 0,       // flush left
  kTextAlignmentCenter = 1,     // centred
  kTextAlignmentRight = 2,      // flush right
  kTextAlignmentJustified = 3,  // the last line of a paragraph aligns naturally
  kTextAlignmentNatural = 4,    // left for left-to-right paragraphs, right for right-to-left
};

// Line-break modes in the platform's numbering.
enum LineBreakMode : int {
  kLineBreakByWordWrapping = 0,      // words that do not fit a line alone break between characters
  kLineBreakByCharWrapping = 1,      // lines break between characters
  kLineBreakByClipping = 2,          // wrapped as words; what passes the rectangle is cut off
  kLineBreakByTruncatingHead = 3,    // each paragraph on one line, "..." at the start
  kLineBreakByTruncatingTail = 4,    // each paragraph on one line, "..." at the end
  kLineBreakByTruncatingMiddle = 5,  // each paragraph on one line, "..." in the middle
};

// How the lines of a paragraph are laid out.
struct ParagraphStyle {
  int alignment = kTextAlignmentNatural;           // a TextAlignment
  int line_break_mode = kLineBreakByWordWrapping;  // a LineBreakMode
  // Equal when alignment and line-break mode are equal.
  friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

// An image shown inline in text, on the baseline, at its size in points.
struct TextAttachment {
  ImageRef image;  // the image drawn where the attachment character stands
};
// Attachments are shared: the same ref is the same attachment.
using TextAttachmentRef = std::shared_ptr<const TextAttachment>;

// The character that stands for an attachment in the text.
inline constexpr char16_t kAttachmentCharacter = u'\uFFFC';

// A set of text attributes, each set or absent (null or nullopt).
struct KELVANE_EXPORT TextAttributes {
  FontRef font;                                   // null: the system font at 12 points
  std::optional<ParagraphStyle> paragraph_style;  // nullopt: the default style
  ColorRef foreground_color;                      // null: black
  std::optional<double> baseline_offset;          // points; positive raises the text
  TextAttachmentRef attachment;                   // the image the attachment character shows

  // True when no attribute is set.
  [[nodiscard]] bool empty() const noexcept;
  // Takes every attribute that `other` sets; keeps the others.
  void Merge(const TextAttributes& other);
  // Objects compare by identity (the same font, colour or attachment object).
  friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

// A range of UTF-16 units: `length` units from `location`.
struct TextRange {
  std::size_t location = 0;  // the first unit
  std::size_t length = 0;    // the number of units
  // Equal when location and length are equal.
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

// Text with runs of attributes; immutable (MutableAttributedString edits).
class KELVANE_EXPORT AttributedString {
 public:
  // A stretch of text with one set of attributes.
  struct Run {
    TextRange range;            // the units the run covers
    TextAttributes attributes;  // the attributes over them
  };

  // The empty text, with no runs.
  AttributedString() = default;
  // The text with one set of attributes over all of it.
  explicit AttributedString(std::u16string_view text, TextAttributes attributes = {});
  // One attachment character carrying `attachment`.
  [[nodiscard]] static AttributedString WithAttachment(TextAttachmentRef attachment);

  // The text without attributes.
  [[nodiscard]] const String& string() const noexcept { return text_; }
  // The length of the text in UTF-16 units.
  [[nodiscard]] std::size_t length() const noexcept { return text_.size(); }
  // The runs, in order, covering the text; none for empty text.
  [[nodiscard]] const std::vector<Run>& runs() const noexcept { return runs_; }
  // The attributes at `index` (empty past the end) and, when asked, the run's range.
  [[nodiscard]] TextAttributes AttributesAt(std::size_t index,
                                            TextRange* effective = nullptr) const;

 protected:
  String text_;            // the text, as string() gives it
  std::vector<Run> runs_;  // the runs, as runs() gives them
};

// Attributed text that can be appended to and have its attributes changed.
class KELVANE_EXPORT MutableAttributedString : public AttributedString {
 public:
  // The constructors of AttributedString, to start from text with one set of attributes.
  using AttributedString::AttributedString;
  // The empty text.
  MutableAttributedString() = default;
  // A copy of `other` to edit.
  explicit MutableAttributedString(const AttributedString& other) : AttributedString(other) {}

  // BeginEditing() and EndEditing() bracket an editing batch. Batches nest; equal neighbouring
  // runs are joined when the outermost one ends.
  void BeginEditing() noexcept { ++editing_; }
  void EndEditing();

  // Appends plain text, which takes the attributes of the last character (none when empty).
  void Append(std::u16string_view text);
  // Appends text with its own attributes; `text` may be this string itself. On an exception
  // (std::bad_alloc) the string is left as it was.
  void Append(const AttributedString& text);
  // Replaces the attributes over `range`; false, changing nothing, when it passes the end.
  // `attributes` may be those of one of this string's own runs.
  [[nodiscard]] bool SetAttributes(const TextAttributes& attributes, TextRange range);
  // Merges `attributes` into those over `range`; false, changing nothing, when it passes the
  // end. `attributes` may be those of one of this string's own runs.
  [[nodiscard]] bool AddAttributes(const TextAttributes& attributes, TextRange range);

 private:
  // Splits runs so that one begins at `index`; returns that run's position.
  std::size_t SplitAt(std::size_t index);
  void Coalesce();

  int editing_ = 0;
};

}  // namespace kelvane::platform
