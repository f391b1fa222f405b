// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/internal/heif_items.h
//
// A bounded check of a HEIF file's items before libheif reads it. libheif 1.15 stops the
// process (an assertion) or reads past its own tables when a reference names an item that is
// not a picture, so the file's item list and references are read here first, in one pass over
// the box headers, and a file whose references do not hold together is refused.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kelvane::platform::internal {

// Empty when every picture reference from a picture item of the file (derived pictures' parts,
// alpha and other auxiliary pictures, thumbnails) names a picture item the file lists; otherwise
// the reason, in a few words. A file without an item list is left to libheif, which refuses it.
[[nodiscard]] std::string HEIFReferenceProblem(std::span<const std::uint8_t> bytes);

}  // namespace kelvane::platform::internal
