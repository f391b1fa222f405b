// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/unicode.h
//
// Deprecated: moved to kelvane/platform/i18n/unicode.h, which new code includes. This header stays
// so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message("kelvane/platform/unicode.h is deprecated: include kelvane/platform/i18n/unicode.h")
#endif
#include "kelvane/platform/i18n/unicode.h"
