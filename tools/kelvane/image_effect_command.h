// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/image_effect_command.h
//
// `kelvane image effect IN (OUT | -o OUT) (--light | --extra-light | --dark | --tint RRGGBB |
// --radius R [--saturation S]) [--mask M] [--quality Q]`: a frosted copy of a picture, written as
// PNG (OUT ending in .png) or JPEG. A subcommand of `kelvane image`, which adds it.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/kelvane/command.h"

namespace kelvane::cli {

// Adds the `effect` subcommand to `image`.
void AddImageEffect(Tool& tool, CLI::App& image);

}  // namespace kelvane::cli
