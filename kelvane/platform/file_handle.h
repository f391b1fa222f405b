// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/file_handle.h
//
// Deprecated: moved to kelvane/platform/core/file_handle.h, which new code includes. This header
// stays so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message( \
    "kelvane/platform/file_handle.h is deprecated: include kelvane/platform/core/file_handle.h")
#endif
#include "kelvane/platform/core/file_handle.h"
