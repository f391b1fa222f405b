// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/sqlite_item_store.h
//
// Deprecated: moved to kelvane/platform/store/sqlite_item_store.h, which new code includes. This
// header stays so that programs written against the earlier layout still compile; define
// KELVANE_NO_DEPRECATION_NOTES to silence the note.
#pragma once
#ifndef KELVANE_NO_DEPRECATION_NOTES
#pragma message( \
    "kelvane/platform/sqlite_item_store.h is deprecated: include kelvane/platform/store/sqlite_item_store.h")
#endif
#include "kelvane/platform/store/sqlite_item_store.h"
