// SPDX-License-Identifier: Apache-2.0
#include "kelvane/version.h"

#define KELVANE_TEXT_OF(x) #x
#define KELVANE_TEXT(x) KELVANE_TEXT_OF(x)

// The declarations in the header carry the export attribute; the definitions repeat none.
extern "C" {

const unsigned char KelvaneVersionString[] =
    "@(#)PROGRAM:Kelvane  PROJECT:Kelvane-" KELVANE_TEXT(KELVANE_VERSION_MAJOR) "\n";

// Minor versions stay below 10 in this number's form, as it has one decimal.
static_assert(KELVANE_VERSION_MINOR < 10);
const double KelvaneVersionNumber = KELVANE_VERSION_MAJOR + KELVANE_VERSION_MINOR / 10.0;

const char* KelvaneVersion(void) { return KELVANE_VERSION_STRING; }

}  // extern "C"
