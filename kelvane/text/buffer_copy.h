// SPDX-License-Identifier: Apache-2.0
// kelvane/text/buffer_copy.h
//
// Moving text between String and the fixed-size buffers kept inside the trading core's
// records, with exact truncation rules; narrowing a WString to bytes; trimming spaces in place;
// and overwriting what is left of a buffer or a string with pseudo-random units so that a
// secret does not linger in memory.
//
// Buffer sizes are in BYTES, the size of the caller's array: a WString buffer of `size` bytes
// holds size / 2 units, the terminator being one of them; a byte-string buffer of `size` bytes
// holds `size` chars, terminator included. A buffer too small for a terminator (under 2 bytes
// for a WString, 0 bytes for a byte string) is never written.
//
// Ownership: the caller owns every buffer; nothing here keeps a pointer past the call.
// Threads: every function runs on the caller's thread and keeps no state. The secured
// operations draw from the process-wide random() generator, which is safe to share.
#pragma once

#include <cstdint>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::NSTools {

// Copies `string` into the WString buffer `to` of `length` bytes. A string that does not fit is
// cut to the capacity minus the terminator. Returns the number of units written before the
// terminator; 0, writing nothing, when `string` is absent, `to` is null or length < 2.
KELVANE_EXPORT unsigned int CopyString(OptionalString string, unsigned short* to,
                                       unsigned int length) noexcept;

// Copies the WString `src` into the buffer `to` of `size` bytes, always terminated.
// Returns the source length when it fits; when it does not, the buffer keeps capacity - 1 units
// and the result is the capacity (size / 2), so a result equal to the capacity means "cut".
// Units between the copied terminator and the buffer's last unit keep their earlier contents.
// 0, writing nothing, when `src` or `to` is null or size < 2.
KELVANE_EXPORT unsigned int CopyWString(const unsigned short* src, unsigned short* to,
                                        unsigned int size) noexcept;

// Narrows the WString `src` into the byte-string buffer `toStr` of `size` bytes, keeping the low
// 8 bits of each unit (no transcoding). Always terminated. Returns the source length when it
// fits, and `size` when it was cut to size - 1 chars. 0, writing nothing, when `src` or `toStr`
// is null or size is 0.
KELVANE_EXPORT unsigned int CopyWString(const unsigned short* src, char* toStr,
                                        unsigned int size) noexcept;

// CopyWString(src, to, size), then, when the text fits with room to spare, overwrites every unit
// after its terminator up to the buffer's end with pseudo-random units, so that nothing of the
// buffer's earlier contents survives. Nothing is written when `src` or `to` is null or
// size < 2.
KELVANE_EXPORT void CopyWStringSecured(const unsigned short* src, unsigned short* to,
                                       unsigned int size) noexcept;

// Removes leading and trailing U+0020 spaces of the WString `s` in place (only U+0020: tabs,
// line breaks and no-break spaces stay). Nothing happens for a null pointer.
KELVANE_EXPORT void TrimSpaces(unsigned short* s) noexcept;

// CopyString(receiver, to, length).
KELVANE_EXPORT unsigned int CopyTo(const String& receiver, unsigned short* to,
                                   unsigned int length) noexcept;

// Writes the receiver as UTF-8 with a terminator into `to` of `size` bytes. Text that does not
// fit is cut to size - 1 bytes, also inside a multi-byte sequence. A receiver that is not valid
// UTF-16 (a lone surrogate) has no UTF-8 form: the bytes written before the surrogate was met
// are zeroed again, so the buffer holds the empty string and no part of the text. Nothing
// happens when `to` is null or size is 0.
KELVANE_EXPORT void CopyToStr(const String& receiver, char* to, unsigned int size) noexcept;

// Writes the receiver with a terminator into `buffer` of `size` bytes: as ASCII when every
// character is ASCII (whatever `ansiEnc` is), otherwise in the Windows code page `ansiEnc`
// (874, 932, 936, 949, 950, 1250 .. 1258). true when the text was converted without loss and
// fitted; false when it did not fit, when a character has no mapping in the code page, or for
// an unknown code page, and then the buffer holds the empty string. In every case the last byte
// is set to 0. false, writing nothing, when `buffer` is null or `size` is 0.
// REQUIRES: `buffer` has room for `size` bytes.
[[nodiscard]] KELVANE_EXPORT bool GetCString(const String& receiver, char* buffer,
                                             std::uint64_t size, unsigned int ansiEnc) noexcept;

// Overwrites every unit of the receiver in place with a pseudo-random unit: the length stays,
// the old units are gone from the string's own storage (no copy of them is released to the
// heap). An empty receiver stays empty.
KELVANE_EXPORT void ClearSecured(String& receiver) noexcept;

}  // namespace kelvane::NSTools
