// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/device/screen.h"

#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <vector>

#include "kelvane/platform/device/internal/kernel_display.h"

namespace kelvane::platform {
namespace {

constexpr char kDrmRoot[] = "/sys/class/drm";
constexpr double kMaxSide = 100000.0;
constexpr double kMaxScale = 16.0;

std::mutex g_overrides_mutex;
ScreenOverrides g_overrides;

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

ScreenFacts DefaultScreen(Idiom idiom) {
  if (idiom == Idiom::kTablet) return {Idiom::kTablet, 2.0, {820.0, 1180.0}};
  return {Idiom::kPhone, 3.0, {390.0, 844.0}};
}

std::string ReadFirstLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::optional<ScreenSetting> ParseScreenSetting(std::string_view text) noexcept {
  const std::size_t x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  std::string_view rest = text.substr(x + 1);
  double scale = 1.0;
  if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
    const auto s = ParseNumber(rest.substr(at + 1));
    if (!s || !(*s > 0.0) || *s > kMaxScale) return std::nullopt;
    scale = *s;
    rest = rest.substr(0, at);
  }
  const auto w = ParseNumber(text.substr(0, x));
  const auto h = ParseNumber(rest);
  if (!w || !h || !(*w > 0.0) || !(*h > 0.0) || *w > kMaxSide || *h > kMaxSide) {
    return std::nullopt;
  }
  return ScreenSetting{{*w, *h}, scale};
}

std::optional<Idiom> ParseIdiom(std::string_view text) noexcept {
  auto equals = [text](std::string_view word) {
    return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(),
                                                    [](char a, char b) { return (a | 0x20) == b; });
  };
  if (equals("phone")) return Idiom::kPhone;
  if (equals("tablet")) return Idiom::kTablet;
  return std::nullopt;
}

namespace internal {

std::optional<Size> KernelDisplaySize(const std::string& drm_root) noexcept {
  try {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> connectors;
    for (fs::directory_iterator it(drm_root, error), end; !error && it != end;
         it.increment(error)) {
      connectors.push_back(it->path());
    }
    std::sort(connectors.begin(), connectors.end());
    for (const fs::path& connector : connectors) {
      if (ReadFirstLine(connector / "status") != "connected") continue;
      // The kernel lists the preferred mode first, as "1920x1080" (sometimes with a suffix
      // such as "i" for interlaced modes).
      const std::string mode = ReadFirstLine(connector / "modes");
      const std::size_t x = mode.find('x');
      if (x == std::string::npos) continue;
      std::size_t digits = x + 1;
      while (digits < mode.size() && mode[digits] >= '0' && mode[digits] <= '9') ++digits;
      const auto w = ParseNumber(std::string_view(mode).substr(0, x));
      const auto h = ParseNumber(std::string_view(mode).substr(x + 1, digits - x - 1));
      if (w && h && *w > 0 && *h > 0 && *w <= kMaxSide && *h <= kMaxSide) return Size{*w, *h};
    }
  } catch (...) {
    // An unreadable tree means no display.
  }
  return std::nullopt;
}

}  // namespace internal

ScreenFacts EnvironmentScreenFacts() noexcept {
  Idiom idiom = Idiom::kPhone;
  if (const char* value = ::getenv("KELVANE_IDIOM"); value != nullptr) {
    idiom = ParseIdiom(value).value_or(Idiom::kPhone);
  }
  if (const char* value = ::getenv("KELVANE_SCREEN"); value != nullptr) {
    if (const auto setting = ParseScreenSetting(value))
      return {idiom, setting->scale, setting->bounds};
  }
  // The kernel's display is read once: surfaces at the screen's scale are opened often, and
  // a walk over /sys for each would cost more than the drawing.
  static const std::optional<Size> kernel = internal::KernelDisplaySize(kDrmRoot);
  if (kernel) return {idiom, 1.0, *kernel};
  return DefaultScreen(idiom);
}

ScreenOverrides CurrentScreenOverrides() noexcept {
  std::lock_guard lock(g_overrides_mutex);
  return g_overrides;
}

ScreenOverrides SetScreenOverrides(ScreenOverrides overrides) noexcept {
  std::lock_guard lock(g_overrides_mutex);
  std::swap(g_overrides, overrides);
  return overrides;
}

ScreenFacts CurrentScreenFacts() noexcept {
  const ScreenOverrides overrides = CurrentScreenOverrides();
  ScreenFacts facts = EnvironmentScreenFacts();
  if (overrides.idiom) facts.idiom = *overrides.idiom;
  // A scale that is not a number above 0, or a negative or endless side, would turn every
  // size computed from the screen into nonsense: such overrides are passed over.
  if (overrides.scale && *overrides.scale > 0.0 && *overrides.scale <= kMaxScale) {
    facts.scale = *overrides.scale;
  }
  if (overrides.bounds && overrides.bounds->width >= 0.0 && overrides.bounds->height >= 0.0 &&
      overrides.bounds->width <= kMaxSide && overrides.bounds->height <= kMaxSide) {
    facts.bounds = *overrides.bounds;
  }
  return facts;
}

ScopedScreenOverrides::ScopedScreenOverrides(const ScreenOverrides& overrides) noexcept {
  ScreenOverrides merged = CurrentScreenOverrides();
  if (overrides.idiom) merged.idiom = overrides.idiom;
  if (overrides.scale) merged.scale = overrides.scale;
  if (overrides.bounds) merged.bounds = overrides.bounds;
  previous_ = SetScreenOverrides(merged);
}

ScopedScreenOverrides::~ScopedScreenOverrides() { SetScreenOverrides(previous_); }

}  // namespace kelvane::platform
