// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/attributed_components.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace kelvane {
namespace NSTools {
namespace {

using platform::TextRange;

// Appends one piece (text or attributed text) or adds one attribute set. `piece` is the text
// piece a following attribute set applies to, if any.
void AppendOne(platform::MutableAttributedString& self, const Component& component,
               std::optional<TextRange>& piece) {
  const auto& value = component.value();
  if (const auto* text = std::get_if<std::u16string_view>(&value)) {
    const TextRange range{self.length(), text->size()};
    self.Append(*text);
    // The plain text carries no attributes, whatever the text before it has.
    (void)self.SetAttributes({}, range);
    piece = range;
  } else if (const auto* const* attributed =
                 std::get_if<const platform::AttributedString*>(&value)) {
    const TextRange range{self.length(), (*attributed)->length()};
    self.Append(**attributed);
    piece = range;
  } else if (const auto* const* attributes = std::get_if<const platform::TextAttributes*>(&value)) {
    // AddAttributes refuses a piece that no longer lies within the string.
    if (piece) (void)self.AddAttributes(**attributes, *piece);
    piece.reset();
  }
}

// Whether `piece` lies in the text of `self`.
bool InsideText(const platform::AttributedString& self, std::u16string_view piece) {
  const std::less_equal<const char16_t*> before_or_at;
  const char16_t* text = self.string().data();
  return !piece.empty() && before_or_at(text, piece.data()) &&
         before_or_at(piece.data() + piece.size(), text + self.length());
}

void AppendAll(platform::MutableAttributedString& self, const Component* first,
               const Component* begin, const Component* end) noexcept {
  self.BeginEditing();
  try {
    // A piece may be part of `self`: a piece of its text, or the attribute set of one of its
    // runs, which appending moves or changes. Such text and every attribute set are copied
    // first (deques keep the copies where they are), so each piece is read as the call found it.
    std::deque<String> texts;
    std::deque<platform::TextAttributes> sets;
    std::vector<Component> pieces;
    // False at the end marker, after which nothing is read.
    const auto take = [&](const Component& c) {
      const auto& value = c.value();
      if (std::holds_alternative<std::monostate>(value)) return false;
      if (const auto* text = std::get_if<std::u16string_view>(&value);
          text != nullptr && InsideText(self, *text)) {
        pieces.emplace_back(std::u16string_view(texts.emplace_back(*text)));
      } else if (const auto* const* attributes =
                     std::get_if<const platform::TextAttributes*>(&value)) {
        pieces.emplace_back(sets.emplace_back(**attributes));
      } else {
        pieces.push_back(c);
      }
      return true;
    };
    // `first` is walked on its own: it may be a temporary that happens to lie where the list
    // ends, so comparing its address with `end` would stop before anything was read.
    bool more = first == nullptr || take(*first);
    for (const Component* c = begin; more && c != end; ++c) more = take(*c);
    std::optional<TextRange> piece;
    for (const Component& c : pieces) AppendOne(self, c, piece);
  } catch (...) {  // std::bad_alloc: what was appended so far stays, whole
  }
  self.EndEditing();
}

}  // namespace

void append(platform::MutableAttributedString& self, const Component& first,
            std::initializer_list<Component> args) noexcept {
  AppendAll(self, &first, args.begin(), args.end());
}

void appendComponents(platform::MutableAttributedString& self,
                      std::initializer_list<Component> components) noexcept {
  AppendAll(self, nullptr, components.begin(), components.end());
}

platform::MutableAttributedString initWithComponents(
    std::initializer_list<Component> components) noexcept {
  platform::MutableAttributedString out;
  appendComponents(out, components);
  return out;
}

}  // namespace NSTools
}  // namespace kelvane
