// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/internal/more_formats.h"

namespace kelvane::platform::internal {

Result<DecodedPicture> ReadMoreFormats(std::span<const std::uint8_t>) noexcept {
  return Error{ErrorKind::kUnsupported, "not a PNG or JPEG picture"};
}

}  // namespace kelvane::platform::internal
