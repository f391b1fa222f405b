// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/certificate.h
//
// Deprecated: moved to kelvane/platform/crypto/certificate.h, which new code includes. This header
// stays so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message( \
    "kelvane/platform/certificate.h is deprecated: include kelvane/platform/crypto/certificate.h")
#endif
#include "kelvane/platform/crypto/certificate.h"
