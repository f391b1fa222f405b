// SPDX-License-Identifier: Apache-2.0
// kelvane/export.h
//
// KELVANE_EXPORT marks the symbols that the shared library exports; everything else is built
// with hidden visibility so that the library's own internals cannot be linked against.
//
// Two namespaces hold what is not public interface:
//   internal  the library's own helpers. Never exported, whatever their declaration says (the
//             shared library's linker script keeps them local); tests and the tool, which link
//             the static library, may still call them.
//   detail    the helpers that public header templates call from the user's own code. Exported,
//             since those templates are compiled into the user's program, but not meant to be
//             called directly.
//
// Every public header that needs C++20 includes this one before any code of its own, so that a
// program compiled as anything before C++20 stops here, with one clear message, instead of at
// the first C++20 construct it meets.
#pragma once

#if __cplusplus < 202002L
#error "Kelvane needs C++20: compile with -std=c++20 (or -std=gnu++20)"
#endif

#if defined(KELVANE_BUILDING_LIBRARY)
// While the library is built: the symbol is exported from the shared library.
#define KELVANE_EXPORT __attribute__((visibility("default")))
#else
// For the library's users: nothing.
#define KELVANE_EXPORT
#endif
