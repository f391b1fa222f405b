// SPDX-License-Identifier: Apache-2.0
#include "tools/kelvane/checks.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

std::string Shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// "from 0 to 1", "above 0, up to 100": the range as messages and help texts give it.
std::string Range(double min, double max, Low low) {
  return low == Low::kExcluded ? "above " + Shown(min) + ", up to " + Shown(max)
                               : "from " + Shown(min) + " to " + Shown(max);
}

constexpr char kScreenForm[] =
    "WIDTHxHEIGHT[@SCALE]: sides in points above 0, up to 100000, the scale from 1 to 16";

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  // from_chars takes no leading '+', which people write.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> ParseRGB(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  std::uint32_t rgb = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + 6, rgb, 16);
  if (error != std::errc() || stop != text.data() + 6) return std::nullopt;
  return rgb;
}

std::optional<platform::Size> ParseBox(std::string_view text) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  const std::optional<double> w = ParseNumber(text.substr(0, x));
  const std::optional<double> h = ParseNumber(text.substr(x + 1));
  if (!w || !h || !(*w > 0 && *w <= kMaxSide) || !(*h > 0 && *h <= kMaxSide)) return std::nullopt;
  return platform::Size{*w, *h};
}

std::optional<platform::ScreenSetting> ParseScreen(std::string_view text) {
  std::optional<platform::ScreenSetting> setting = platform::ParseScreenSetting(text);
  if (!setting || setting->scale < 1) return std::nullopt;
  return setting;
}

void CheckScreenEnvironment() {
  if (const char* value = ::getenv("KELVANE_SCREEN"); value != nullptr && *value != 0) {
    if (!ParseScreen(value)) {
      throw UsageError(std::string("KELVANE_SCREEN: '") + value + "' is not " + kScreenForm);
    }
  }
  if (const char* value = ::getenv("KELVANE_IDIOM"); value != nullptr && *value != 0) {
    if (!platform::ParseIdiom(value)) {
      throw UsageError(std::string("KELVANE_IDIOM: '") + value + "' is not phone or tablet");
    }
  }
}

CLI::Validator Number(double min, double max, Low low) {
  const std::string range = Range(min, max, low);
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        const std::optional<double> value = ParseNumber(text);
        const bool above_min = value && (low == Low::kExcluded ? *value > min : *value >= min);
        if (above_min && *value <= max) return {};
        return "'" + text + "' is not a number " + range;
      },
      range, kRangeValidator);
}

CLI::Validator Integer(std::int64_t min, std::int64_t max) {
  const std::string range = "from " + std::to_string(min) + " to " + std::to_string(max);
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        std::string_view digits = text;
        if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
        std::int64_t value = 0;
        const char* end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, value);
        if (!digits.empty() && error == std::errc() && stop == end && value >= min &&
            value <= max) {
          return {};
        }
        return "'" + text + "' is not a whole number " + range;
      },
      range, kRangeValidator);
}

CLI::Validator OneOf(std::initializer_list<std::string_view> names) {
  std::string list;
  for (std::string_view name : names) list += (list.empty() ? "" : ", ") + std::string(name);
  std::vector<std::string> accepted(names.begin(), names.end());
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        for (const std::string& name : accepted) {
          if (text == name) return {};
        }
        return "'" + text + "' is not one of " + list;
      },
      list, kChoiceValidator);
}

CLI::Validator Colour() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (ParseRGB(text)) return {};
        return "'" + text + "' is not a colour RRGGBB or #RRGGBB (hexadecimal digits)";
      },
      "[#]RRGGBB");
}

CLI::Validator Box() {
  const std::string range = Shown(kMaxSide);
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        if (ParseBox(text)) return {};
        return "'" + text + "' is not WxH with both sides above 0, up to " + range;
      },
      "WxH");
}

CLI::Validator Screen() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (ParseScreen(text)) return {};
        return "'" + text + "' is not " + kScreenForm;
      },
      "WIDTHxHEIGHT@SCALE");
}

}  // namespace kelvane::cli
