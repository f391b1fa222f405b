// kelvane/kelvane.h
//
// The umbrella header: the version symbols and every public header of the library.
#pragma once

#include "kelvane/version.h"

#include "kelvane/platform/file_handle.h"
#include "kelvane/platform/string.h"

#include "kelvane/containers/file_tools.h"
#include "kelvane/containers/storage.h"

#include "kelvane/text/wide_string.h"
