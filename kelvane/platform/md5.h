// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/md5.h
//
// Deprecated: moved to kelvane/platform/crypto/md5.h, which new code includes. This header stays so
// that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message("kelvane/platform/md5.h is deprecated: include kelvane/platform/crypto/md5.h")
#endif
#include "kelvane/platform/crypto/md5.h"
