// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/color.h
//
// Deprecated: moved to kelvane/platform/graphics/color.h, which new code includes. This header
// stays so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message("kelvane/platform/color.h is deprecated: include kelvane/platform/graphics/color.h")
#endif
#include "kelvane/platform/graphics/color.h"
