// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/ui/text_alignment.h
//
// Deprecated: moved to kelvane/platform/fonts/attributed_string.h, which new code includes. This
// header stays so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message( \
    "kelvane/platform/ui/text_alignment.h is deprecated: include kelvane/platform/fonts/attributed_string.h")
#endif
#include "kelvane/platform/fonts/attributed_string.h"
