// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/thread_dictionary.h
//
// Deprecated: moved to kelvane/platform/core/thread_dictionary.h, which new code includes. This
// header stays so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message( \
    "kelvane/platform/thread_dictionary.h is deprecated: include kelvane/platform/core/thread_dictionary.h")
#endif
#include "kelvane/platform/core/thread_dictionary.h"
