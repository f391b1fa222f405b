// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/geometry/content_mode.h
//
// Content modes: how a picture is placed in a box of another size, in the platform's numbering
// of a view's content mode. The functions that take a mode keep taking it as a number (their
// signatures are fixed), so these names read where a bare number did; each function says what
// it does with the modes it does not name (Resize::resizedImageWithContentMode fits for
// kContentModeFit and covers for every other; Avatar::PictureRect stretches for any mode other
// than the five it places). The platform's numbers that the library gives no meaning of its own
// (3, redraw; 7 to 12, the edges and corners) have no name here.
//
// Unscoped, so that a mode passes as its number wherever a contract takes one.
//
// Threads: constants only.
#pragma once

namespace kelvane::platform {

// How a picture is placed in a box: the platform's numbers of a view's content mode.
enum ContentMode : int {
  kContentModeStretch = 0,  // both sides scaled to the box, the aspect ratio given up
  kContentModeFit = 1,      // scaled by the smaller ratio: all of the picture shows
  kContentModeFill = 2,     // scaled by the larger ratio: the box is covered, the picture cut
  kContentModeCenter = 4,   // natural size, centred
  kContentModeTop = 5,      // natural size, centred along the top edge
  kContentModeBottom = 6,   // natural size, centred along the bottom edge
};

}  // namespace kelvane::platform
