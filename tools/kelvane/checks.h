// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/checks.h
//
// The checks every option of the tool goes through, one way for all commands: CLI11 validators
// that refuse a value at parse time with one line naming the option and what it accepts
// ("--ratio: -1 is not a number above 0, up to 100"), and the parsers behind them, which the
// commands call again to turn an accepted text into its value.
//
// Numbers are decimal; not-a-number and infinities are refused everywhere, and every number has
// a range, written into the help text. The validators name themselves as the man page and the
// completion read them (command_tree.h): a range, a choice of words, or the form of a value.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::cli {

// The names of the validators below that state a range of numbers, and a choice of words (their
// description: the words, ", " between them).
inline constexpr char kRangeValidator[] = "range";
inline constexpr char kChoiceValidator[] = "choice";

// The largest side, in points or pixels, a WxH option takes.
inline constexpr double kMaxSide = 100000;

enum class Low { kIncluded, kExcluded };

// A finite decimal number from `min` to `max`; with Low::kExcluded, above `min`.
CLI::Validator Number(double min, double max, Low low = Low::kIncluded);
// A whole decimal number from `min` to `max`.
CLI::Validator Integer(std::int64_t min, std::int64_t max);
// One of `names`, exactly as written.
CLI::Validator OneOf(std::initializer_list<std::string_view> names);
// A colour: RRGGBB or #RRGGBB.
CLI::Validator Colour();
// A box WxH: two numbers above 0 and at most kMaxSide.
CLI::Validator Box();
// A screen WIDTHxHEIGHT[@SCALE], as ParseScreen() takes it.
CLI::Validator Screen();

// A finite number, the whole text, or nullopt.
std::optional<double> ParseNumber(std::string_view text);
// Six hexadecimal digits RRGGBB after an optional '#', as 0xRRGGBB; nullopt otherwise.
std::optional<std::uint32_t> ParseRGB(std::string_view text);
// "WxH" (or "WXH") as Box() accepts it; nullopt otherwise.
std::optional<platform::Size> ParseBox(std::string_view text);
// A screen's bounds in points and its scale, "WIDTHxHEIGHT@SCALE" or "WIDTHxHEIGHT" (scale 1),
// as the library reads it, with the scale from 1 to 16: no screen has fewer pixels than points.
std::optional<platform::ScreenSetting> ParseScreen(std::string_view text);

// Throws UsageError when KELVANE_SCREEN or KELVANE_IDIOM holds a value ParseScreen() or the
// library refuses, which the library would pass over as if unset. For commands whose output
// depends on the screen.
void CheckScreenEnvironment();

}  // namespace kelvane::cli
