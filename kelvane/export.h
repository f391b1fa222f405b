// kelvane/export.h
//
// KELVANE_EXPORT marks the symbols that the shared library exports; everything else is built
// with hidden visibility so that the library's own internals cannot be linked against.
#pragma once

#if defined(KELVANE_BUILDING_LIBRARY)
#define KELVANE_EXPORT __attribute__((visibility("default")))
#else
#define KELVANE_EXPORT
#endif
