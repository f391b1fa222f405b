// SPDX-License-Identifier: Apache-2.0
// kelvane/text/attributed_components.h
//
// Building attributed text from a list of pieces: plain strings, attributed strings and
// attribute sets. A plain string is appended without any attributes (it does not take those of
// the text before it); an attributed string keeps its own; an attribute set is added to the
// text piece just before it (merging with what is there). An attribute set that follows
// another set, or comes first, is ignored. A null component ends the list: what follows it is
// not appended.
//
// Components refer to the caller's strings and sets without copying them; they are meant to
// be written in the call's braces and to live no longer than the call. A component may be the
// string being appended to, a piece of its text or the attribute set of one of its runs: text of
// the string and attribute sets are taken as the call found them, an attributed string as it
// stands when its turn comes (appending a string to itself doubles it).
//
// Threads: no shared state; one thread changes a string at a time.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <variant>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/fonts/attributed_string.h"

namespace kelvane {
namespace NSTools {

// One piece. The constructors are implicit on purpose: pieces are written bare in a brace list,
// and a null pointer (or nullptr) stands for the end of the list.
class Component {
 public:
  // The end of the list.
  Component(std::nullptr_t) noexcept {}
  // Plain text, zero-terminated; a null pointer ends the list.
  Component(const char16_t* text) noexcept
      : value_(text == nullptr ? Value() : Value(std::u16string_view(text))) {}
  // Plain text.
  Component(std::u16string_view text) noexcept : value_(text) {}
  Component(const String& text) noexcept : value_(std::u16string_view(text)) {}
  // An attributed string, appended with its own attributes.
  Component(const platform::AttributedString& text) noexcept : value_(&text) {}
  // An attribute set, added to the piece before it.
  Component(const platform::TextAttributes& attributes) noexcept : value_(&attributes) {}

  // The piece: std::monostate for the end of the list, else the text, the attributed string or
  // the attribute set, borrowed.
  using Value = std::variant<std::monostate, std::u16string_view, const platform::AttributedString*,
                             const platform::TextAttributes*>;
  // What the piece is.
  [[nodiscard]] const Value& value() const noexcept { return value_; }

 private:
  Value value_;
};

// `self` with `first` and then `args` appended as described above, in one editing batch.
KELVANE_EXPORT void append(platform::MutableAttributedString& self, const Component& first,
                           std::initializer_list<Component> args) noexcept;

// The same with every component in one list.
KELVANE_EXPORT void appendComponents(platform::MutableAttributedString& self,
                                     std::initializer_list<Component> components) noexcept;

// A new attributed string of the components.
[[nodiscard]] KELVANE_EXPORT platform::MutableAttributedString initWithComponents(
    std::initializer_list<Component> components) noexcept;

}  // namespace NSTools
}  // namespace kelvane
