// kelvane/version.h
//
// The version symbols of the library, exported with C linkage so that tools which only look at
// the shared object's symbol table can read them.
#pragma once

#include "kelvane/export.h"

extern "C" {

// "@(#)PROGRAM:Kelvane  PROJECT:Kelvane-1" followed by a line feed, zero-terminated.
KELVANE_EXPORT extern const unsigned char KelvaneVersionString[];

// The library's version as a number: 1.0.
KELVANE_EXPORT extern const double KelvaneVersionNumber;

}  // extern "C"
