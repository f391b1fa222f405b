// SPDX-License-Identifier: Apache-2.0
// kelvane/version.h
//
// The version of the library, twice: as macros fixed when the caller compiles
// (KELVANE_VERSION_MAJOR, _MINOR, _PATCH, _STRING and KELVANE_VERSION, from
// kelvane/version_macros.h), and as symbols of the library that is actually loaded, exported
// with C linkage so that tools which only look at the shared object's symbol table can read
// them, and the whole version from a function. All come from the one project version the build
// is made with.
#pragma once

#include "kelvane/export.h"
#include "kelvane/version_macros.h"

extern "C" {

// "@(#)PROGRAM:Kelvane  PROJECT:Kelvane-<major>" followed by a line feed, zero-terminated.
KELVANE_EXPORT extern const unsigned char KelvaneVersionString[];

// The library's version as a number: <major>.<minor>, that is KELVANE_VERSION_MAJOR +
// KELVANE_VERSION_MINOR / 10.0 of the build that made the library (minor versions stay below 10).
KELVANE_EXPORT extern const double KelvaneVersionNumber;

// The library's whole version, "<major>.<minor>.<patch>": the KELVANE_VERSION_STRING of the build
// that made the library. Compare it with the KELVANE_VERSION_STRING a program is compiled with to
// tell the library loaded from the headers compiled against.
KELVANE_EXPORT const char* KelvaneVersion(void);

}  // extern "C"
