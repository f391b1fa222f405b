// SPDX-License-Identifier: Apache-2.0
// soak/picture_work.h
//
// The soak's picture work: PNG and JPEG encoding and decoding, resizing, avatars and effects.
// Each operation must give, pixel for pixel and byte for byte, what the same call gave once on
// the main thread before the workers started: the operations are deterministic, so any
// difference under load is a fault (a race, memory reused too early, a pool handing out
// another call's pixels).
//
// Threads: RunPictureWork may be called from any number of threads at once; the fixtures are
// only read.
#pragma once

#include <array>
#include <memory>
#include <random>
#include <string>

#include "kelvane/platform/core/string.h"
#include "kelvane/platform/graphics/image.h"
#include "soak/workloads.h"

namespace kelvane::soak {

// The sources, and what each operation gave on the main thread.
struct PictureFixtures {
  platform::ImageRef picture;  // 64 x 48, translucent gradient
  platform::ImageRef opaque;   // 64 x 48, opaque (for JPEG)
  platform::ImageRef small;    // 320 x 240, opaque: enlarged in bands on the pool
  platform::ImageRef mask;     // 16 x 12 grey
  Data png;                    // PNGData(picture)
  platform::ImageRef png_read;
  Data jpeg;  // JPEGData(opaque, 0.85)
  platform::ImageRef jpeg_read;
  platform::ImageRef jpeg_reduced;            // read for 32 x 24
  Data compressed;                            // Resize::compressToJPEG(opaque, 0.8, limit 40)
  platform::ImageRef reduced;                 // resizedImage(picture, 40 x 30, high)
  platform::ImageRef enlarged;                // resizedImage(small, 640 x 480, medium)
  std::array<platform::ImageRef, 4> avatars;  // the initials avatars of kAvatarPeople
  platform::ImageRef picture_avatar;          // picture in a rounded avatar, filled
  platform::ImageRef blurred;                 // blur 4 with tint and saturation
  platform::ImageRef masked;                  // blur 3 through the mask
  platform::ImageRef light;                   // the light effect
};

// The source pictures and the reference results. Null with `error` set when a reference cannot
// be made or is not near what it should show.
[[nodiscard]] std::unique_ptr<PictureFixtures> MakePictureFixtures(std::string* error);

// One operation of `kind` (kPng, kJpeg, kResize, kAvatar or kEffect): empty when every result
// equals its reference, else what differed.
[[nodiscard]] std::string RunPictureWork(Kind kind, const PictureFixtures& fixtures,
                                         std::mt19937_64& random);

}  // namespace kelvane::soak
