// tools/kelvane/image_effect_command.h
//
// `kelvane image effect IN OUT (--light | --extra-light | --dark | --tint RRGGBB | --radius R
// [--saturation S]) [--mask M]`: a frosted copy of a picture, written as PNG (OUT ending in
// .png) or JPEG. A subcommand of `kelvane image`, which adds and dispatches it.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>

namespace kelvane::cli {

// Adds the `effect` subcommand to `image` and returns it.
CLI::App* AddImageEffect(CLI::App& image);

// The exit status of `kelvane image effect` when it was the parsed subcommand; nullopt when it
// was not.
std::optional<int> RunImageEffect();

}  // namespace kelvane::cli
