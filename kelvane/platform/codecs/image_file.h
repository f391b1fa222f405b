// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/codecs/image_file.h
//
// Deprecated: moved to kelvane/platform/graphics/image_file.h, which new code includes. This header
// stays so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message( \
    "kelvane/platform/codecs/image_file.h is deprecated: include kelvane/platform/graphics/image_file.h")
#endif
#include "kelvane/platform/graphics/image_file.h"
