// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/messages.h
//
// How the tool words what it prints about itself: one line "kelvane: what: reason", the reason
// starting lower-case, and nothing that a terminal would take for a control sequence. File names,
// arguments and the reasons the library and the system give come from outside; they pass through
// Printable() before they reach a terminal, and a reason through Reason() before it follows a
// "what: ".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::cli {

// `text` with every control character escaped: C0 controls and DEL as \t, \n, \r, \e or \xNN,
// C1 controls (U+0080 to U+009F) as \uNNNN, and bytes that are not UTF-8 as \xNN. Everything
// else, printable UTF-8 included, is kept.
std::string Printable(std::string_view text);

// True when `text` is well-formed UTF-8 throughout: the bytes Printable() keeps as text (controls
// aside), and the ones the library's strict bridge (kelvane/text/utf8.h) takes.
bool IsUtf8(std::string_view text);

// A reason as the tool prints it after "what: ": the first letter lowered ("No space left on
// device" -> "no space left on device"), unless the first word is an acronym ("PNG", "JPEG",
// "IN") or the reason does not start with a letter.
std::string Reason(std::string_view text);

// True when `message` starts with its own "what: " (a word without spaces, then ": "), as
// "--ratio: '-1' is not a number" or "photo.jpg: a damaged PNG picture" do.
bool NamesWhat(std::string_view message);

// The one of `candidates` nearest to `word` by edit distance (a swap of neighbours counts as one
// edit), when it is near enough to be a slip of the keyboard: at most 2 edits, and fewer than half
// the word's length. Ties go to the first candidate.
std::optional<std::string> NearestSpelling(std::string_view word,
                                           const std::vector<std::string>& candidates);

// "384 bytes", "12.4 KB", "3.1 MB": a file's size for a person, in powers of 1000.
std::string ShownSize(std::uint64_t bytes);

}  // namespace kelvane::cli
