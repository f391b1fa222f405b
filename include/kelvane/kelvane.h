// kelvane/kelvane.h
//
// The umbrella header: the version symbols and every public header of the library.
#pragma once

#include "kelvane/version.h"

#include "kelvane/platform/appearance.h"
#include "kelvane/platform/certificate.h"
#include "kelvane/platform/charset.h"
#include "kelvane/platform/clock.h"
#include "kelvane/platform/color.h"
#include "kelvane/platform/date_format.h"
#include "kelvane/platform/device.h"
#include "kelvane/platform/dispatch.h"
#include "kelvane/platform/file_handle.h"
#include "kelvane/platform/item_store.h"
#include "kelvane/platform/keyed_coder.h"
#include "kelvane/platform/locale_info.h"
#include "kelvane/platform/md5.h"
#include "kelvane/platform/object.h"
#include "kelvane/platform/object_array.h"
#include "kelvane/platform/path_monitor.h"
#include "kelvane/platform/sqlite_item_store.h"
#include "kelvane/platform/string.h"
#include "kelvane/platform/type_database.h"
#include "kelvane/platform/url.h"
#include "kelvane/platform/thread_dictionary.h"
#include "kelvane/platform/unicode.h"

#include "kelvane/platform/codecs/exif.h"
#include "kelvane/platform/codecs/image_file.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/limits.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/geometry.h"
#include "kelvane/platform/graphics/gradient.h"
#include "kelvane/platform/graphics/image.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/graphics/path.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/platform/graphics/raster.h"

#include "kelvane/containers/archive.h"
#include "kelvane/containers/file_tools.h"
#include "kelvane/containers/keychain.h"
#include "kelvane/containers/object_array.h"
#include "kelvane/containers/storage.h"

#include "kelvane/locale/locale_tools.h"
#include "kelvane/locale/uti.h"

#include "kelvane/time/time_tools.h"

#include "kelvane/runtime/net_reachability.h"
#include "kelvane/runtime/notice.h"
#include "kelvane/runtime/scratch_environment.h"
#include "kelvane/runtime/timer.h"

#include "kelvane/text/buffer_copy.h"
#include "kelvane/text/hash.h"
#include "kelvane/text/param_string.h"
#include "kelvane/text/url_tools.h"
#include "kelvane/text/wide_string.h"

#include "kelvane/colours/color_cache.h"
#include "kelvane/colours/palette.h"

#include "kelvane/interface/screen.h"
