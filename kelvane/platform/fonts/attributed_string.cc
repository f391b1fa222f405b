// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/fonts/attributed_string.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace kelvane::platform {

bool TextAttributes::empty() const noexcept {
  return font == nullptr && !paragraph_style && foreground_color == nullptr && !baseline_offset &&
         attachment == nullptr;
}

void TextAttributes::Merge(const TextAttributes& other) {
  if (other.font) font = other.font;
  if (other.paragraph_style) paragraph_style = other.paragraph_style;
  if (other.foreground_color) foreground_color = other.foreground_color;
  if (other.baseline_offset) baseline_offset = other.baseline_offset;
  if (other.attachment) attachment = other.attachment;
}

AttributedString::AttributedString(std::u16string_view text, TextAttributes attributes)
    : text_(text) {
  if (!text_.empty()) runs_.push_back({{0, text_.size()}, std::move(attributes)});
}

AttributedString AttributedString::WithAttachment(TextAttachmentRef attachment) {
  TextAttributes attributes;
  attributes.attachment = std::move(attachment);
  return AttributedString(std::u16string_view(&kAttachmentCharacter, 1), std::move(attributes));
}

TextAttributes AttributedString::AttributesAt(std::size_t index, TextRange* effective) const {
  // Runs are ordered: the first that ends past `index` holds it.
  auto it = std::upper_bound(runs_.begin(), runs_.end(), index, [](std::size_t i, const Run& r) {
    return i < r.range.location + r.range.length;
  });
  if (it == runs_.end()) {
    if (effective != nullptr) *effective = {text_.size(), 0};
    return {};
  }
  if (effective != nullptr) *effective = it->range;
  return it->attributes;
}

void MutableAttributedString::EndEditing() {
  if (editing_ > 0 && --editing_ == 0) Coalesce();
}

void MutableAttributedString::Append(std::u16string_view text) {
  if (text.empty()) return;
  const std::size_t start = text_.size();
  text_.append(text);
  if (runs_.empty()) {
    runs_.push_back({{start, text.size()}, {}});
  } else {
    runs_.back().range.length += text.size();  // the last character's attributes carry on
  }
}

void MutableAttributedString::Append(const AttributedString& text) {
  if (text.length() == 0) return;
  const std::size_t start = text_.size();
  // `text` may be this string: its runs are copied out before ours grow (and may move), and
  // its length is taken before the text doubles.
  std::vector<Run> added;
  added.reserve(text.runs().size());
  for (const Run& run : text.runs()) {
    added.push_back({{start + run.range.location, run.range.length}, run.attributes});
  }
  runs_.reserve(runs_.size() + added.size());
  text_.append(text.string());  // a string appended to itself is copied before it grows
  // Neither step below can throw: the room is reserved and runs move without allocating.
  runs_.insert(runs_.end(), std::make_move_iterator(added.begin()),
               std::make_move_iterator(added.end()));
  if (editing_ == 0) Coalesce();
}

std::size_t MutableAttributedString::SplitAt(std::size_t index) {
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    const TextRange r = runs_[i].range;
    if (r.location == index) return i;
    if (index > r.location && index < r.location + r.length) {
      Run tail{{index, r.location + r.length - index}, runs_[i].attributes};
      runs_[i].range.length = index - r.location;
      runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
      return i + 1;
    }
  }
  return runs_.size();
}

bool MutableAttributedString::SetAttributes(const TextAttributes& given, TextRange range) {
  if (range.location > text_.size() || range.length > text_.size() - range.location) return false;
  if (range.length == 0) return true;
  // `given` may be one of our own runs' sets, which splitting moves: work from a copy.
  const TextAttributes attributes = given;
  const std::size_t first = SplitAt(range.location);
  const std::size_t end = SplitAt(range.location + range.length);
  for (std::size_t i = first; i < end; ++i) runs_[i].attributes = attributes;
  if (editing_ == 0) Coalesce();
  return true;
}

bool MutableAttributedString::AddAttributes(const TextAttributes& given, TextRange range) {
  if (range.location > text_.size() || range.length > text_.size() - range.location) return false;
  if (range.length == 0) return true;
  const TextAttributes attributes = given;  // as in SetAttributes
  const std::size_t first = SplitAt(range.location);
  const std::size_t end = SplitAt(range.location + range.length);
  for (std::size_t i = first; i < end; ++i) runs_[i].attributes.Merge(attributes);
  if (editing_ == 0) Coalesce();
  return true;
}

void MutableAttributedString::Coalesce() {
  std::size_t out = 0;
  for (std::size_t i = 1; i < runs_.size(); ++i) {
    if (runs_[i].attributes == runs_[out].attributes) {
      runs_[out].range.length += runs_[i].range.length;
    } else if (++out != i) {
      runs_[out] = std::move(runs_[i]);
    }
  }
  if (!runs_.empty()) runs_.resize(out + 1);
}

}  // namespace kelvane::platform
