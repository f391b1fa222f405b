#include "kelvane/text/attributed_components.h"

#include <optional>

namespace kelvane {
namespace NSTools {
namespace {

using platform::TextRange;

// Appends one component; false when it ends the list. `piece` is the text piece a following
// attribute set applies to, if any.
bool AppendOne(platform::MutableAttributedString& self, const Component& component,
               std::optional<TextRange>& piece) {
  const auto& value = component.value();
  if (const auto* text = std::get_if<std::u16string_view>(&value)) {
    const TextRange range{self.length(), text->size()};
    self.Append(*text);
    // The plain text carries no attributes, whatever the text before it has.
    (void)self.SetAttributes({}, range);
    piece = range;
    return true;
  }
  if (const auto* const* text = std::get_if<const platform::AttributedString*>(&value)) {
    const TextRange range{self.length(), (*text)->length()};
    self.Append(**text);
    piece = range;
    return true;
  }
  if (const auto* const* attributes = std::get_if<const platform::TextAttributes*>(&value)) {
    // AddAttributes refuses a piece that no longer lies within the string.
    if (piece) (void)self.AddAttributes(**attributes, *piece);
    piece.reset();
    return true;
  }
  return false;
}

void AppendAll(platform::MutableAttributedString& self, const Component* first,
               const Component* begin, const Component* end) noexcept {
  self.BeginEditing();
  try {
    std::optional<TextRange> piece;
    if (first == nullptr || AppendOne(self, *first, piece)) {
      for (const Component* c = begin; c != end; ++c) {
        if (!AppendOne(self, *c, piece)) break;
      }
    }
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
