// kelvane/kelvane.h
//
// The umbrella header: the version symbols and every public header of the library.
#pragma once

#include "kelvane/version.h"

#include "kelvane/platform/device/appearance.h"
#include "kelvane/platform/crypto/certificate.h"
#include "kelvane/platform/i18n/charset.h"
#include "kelvane/platform/core/clock.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/i18n/date_format.h"
#include "kelvane/platform/device/device.h"
#include "kelvane/platform/dispatch/dispatch.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/store/item_store.h"
#include "kelvane/platform/archive/keyed_coder.h"
#include "kelvane/platform/i18n/locale_info.h"
#include "kelvane/platform/crypto/md5.h"
#include "kelvane/platform/core/object.h"
#include "kelvane/platform/core/object_array.h"
#include "kelvane/platform/net/path_monitor.h"
#include "kelvane/platform/store/sqlite_item_store.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/types/type_database.h"
#include "kelvane/platform/net/url.h"
#include "kelvane/platform/core/thread_dictionary.h"
#include "kelvane/platform/i18n/unicode.h"

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
#include "kelvane/text/utf8.h"
#include "kelvane/text/wide_string.h"

#include "kelvane/colours/color_cache.h"
#include "kelvane/colours/palette.h"

#include "kelvane/interface/screen.h"

#include "kelvane/images/create.h"
#include "kelvane/images/processing.h"
#include "kelvane/images/resize.h"
