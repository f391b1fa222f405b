// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/device/screen.h
//
// The screen as a device fact: the interface idiom (phone or tablet), the main screen's scale
// (device pixels per point) and its bounds in points, as the display reports them (portrait or
// landscape).
//
// One of two headers named screen.h: this one gives the raw facts and their overrides;
// kelvane/interface/screen.h is the facade (CScreen), which reads them once and sorts the screen
// into size classes.
//
// Where the facts come from, first match wins, read afresh on each call:
//   1. the environment: KELVANE_SCREEN=WIDTHxHEIGHT@SCALE (points; "@SCALE" may be left out
//      for scale 1) and KELVANE_IDIOM=phone|tablet. A malformed value is ignored, as if unset;
//   2. the first connected display the kernel lists (/sys/class/drm/*/status reads
//      "connected"), its preferred mode (the first line of its modes file) at scale 1, as
//      read on first need (once per process);
//   3. a default screen: 390 x 844 points at scale 3 for a phone, 820 x 1180 at scale 2 when
//      the idiom is tablet.
// The idiom is KELVANE_IDIOM when set, otherwise phone.
//
// One override point, like the other device facts: SetScreenOverrides() (or
// ScopedScreenOverrides for a scope) fixes any of the three facts, whatever the environment says.
// An override scale outside (0, 16] or a side outside 0..100000 is passed over (0 x 0 bounds
// are kept: a screen that reports nothing yet).
//
// Threads: every function may be called from any thread; the overrides are guarded by a lock.
// The environment must not be changed (setenv) while other threads read it.
#pragma once

#include <optional>
#include <string_view>

#include "kelvane/export.h"
#include "kelvane/platform/geometry/geometry.h"

namespace kelvane::platform {

// The numbers are the platform's, so a value read from elsewhere converts with a plain cast.
enum class Idiom : int {
  kPhone = 0,   // a phone
  kTablet = 1,  // a tablet
};

// The screen's facts.
struct ScreenFacts {
  Idiom idiom = Idiom::kPhone;  // the interface idiom
  double scale = 3.0;           // device pixels per point
  Size bounds{390.0, 844.0};    // points
  // Equal when all three facts are equal.
  friend bool operator==(const ScreenFacts&, const ScreenFacts&) = default;
};

// Facts that replace what the environment and the kernel say; an absent member leaves that
// fact alone.
struct ScreenOverrides {
  std::optional<Idiom> idiom = std::nullopt;   // the idiom in force
  std::optional<double> scale = std::nullopt;  // device pixels per point
  std::optional<Size> bounds = std::nullopt;   // points
};

// What the environment, the kernel or the default say now, overrides not applied.
[[nodiscard]] KELVANE_EXPORT ScreenFacts EnvironmentScreenFacts() noexcept;

// The facts in force: EnvironmentScreenFacts() with the overrides applied.
[[nodiscard]] KELVANE_EXPORT ScreenFacts CurrentScreenFacts() noexcept;

// Replaces all overrides at once; returns those in force before.
KELVANE_EXPORT ScreenOverrides SetScreenOverrides(ScreenOverrides overrides) noexcept;
// The overrides in force.
[[nodiscard]] KELVANE_EXPORT ScreenOverrides CurrentScreenOverrides() noexcept;

// A screen as KELVANE_SCREEN describes it.
struct ScreenSetting {
  Size bounds;         // points
  double scale = 1.0;  // device pixels per point
};
// Reads "WIDTHxHEIGHT@SCALE" or "WIDTHxHEIGHT" (scale 1): sides in points, finite, above 0
// and at most 100000; the scale above 0 and at most 16. nullopt for anything else.
[[nodiscard]] KELVANE_EXPORT std::optional<ScreenSetting> ParseScreenSetting(
    std::string_view text) noexcept;

// Reads "phone" or "tablet" (any case); nullopt for anything else.
[[nodiscard]] KELVANE_EXPORT std::optional<Idiom> ParseIdiom(std::string_view text) noexcept;

// Applies `overrides` on top of those in force for the life of a scope (absent members keep
// their current override) and restores the previous overrides afterwards.
class KELVANE_EXPORT ScopedScreenOverrides {
 public:
  // Applies `overrides` until the object goes.
  explicit ScopedScreenOverrides(const ScreenOverrides& overrides) noexcept;
  ScopedScreenOverrides(const ScopedScreenOverrides&) = delete;
  ScopedScreenOverrides& operator=(const ScopedScreenOverrides&) = delete;
  ~ScopedScreenOverrides();

 private:
  ScreenOverrides previous_;
};

}  // namespace kelvane::platform
