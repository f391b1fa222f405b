// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/object.h
//
// Deprecated: moved to kelvane/platform/core/object.h, which new code includes. This header stays
// so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message("kelvane/platform/object.h is deprecated: include kelvane/platform/core/object.h")
#endif
#include "kelvane/platform/core/object.h"
