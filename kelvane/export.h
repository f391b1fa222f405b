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
#pragma once

#if defined(KELVANE_BUILDING_LIBRARY)
#define KELVANE_EXPORT __attribute__((visibility("default")))
#else
#define KELVANE_EXPORT
#endif
