// kelvane/platform/ui/text_alignment.h
//
// How text sits between the left and right edges of its box, in the platform's numbering, for
// labels, text fields and paragraph styles alike. Natural is left for left-to-right text and
// right for right-to-left text.
#pragma once

namespace kelvane::platform {

enum TextAlignment : int {
  kTextAlignmentLeft = 0,
  kTextAlignmentCenter = 1,
  kTextAlignmentRight = 2,
  kTextAlignmentJustified = 3,
  kTextAlignmentNatural = 4,
};

}  // namespace kelvane::platform
