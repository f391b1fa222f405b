// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/color.h"

#include <new>
#include <utility>

namespace kelvane::platform {
namespace {

// A provider may answer with another dynamic colour; a short chain is followed, a loop is not.
constexpr int kMaxResolveSteps = 8;

}  // namespace

ColorRef Color::Make(Value value) noexcept {
  try {
    return std::make_shared<const Color>(Token(), std::move(value));
  } catch (...) {  // std::bad_alloc
    return nullptr;
  }
}

ColorRef Color::RGB(double red, double green, double blue, double alpha) noexcept {
  return Make(Value(std::in_place_index<0>, std::array<double, 4>{red, green, blue, alpha}));
}

ColorRef Color::Grey(double white, double alpha) noexcept {
  return Make(Value(std::in_place_index<1>, std::array<double, 2>{white, alpha}));
}

ColorRef Color::Pattern(PatternTile tile) noexcept {
  const std::uint64_t area = std::uint64_t{tile.width} * tile.height;
  if (area == 0 || tile.pixels.size() != area) return nullptr;
  try {
    return Make(Value(std::in_place_index<2>, std::move(tile)));
  } catch (...) {
    return nullptr;
  }
}

ColorRef Color::Dynamic(Provider provider) noexcept {
  if (!provider) return nullptr;
  try {
    return Make(Value(std::in_place_index<3>, std::move(provider)));
  } catch (...) {
    return nullptr;
  }
}

std::span<const double> Color::Components() const noexcept {
  if (const auto* rgb = std::get_if<std::array<double, 4>>(&value_)) return *rgb;
  if (const auto* grey = std::get_if<std::array<double, 2>>(&value_)) return *grey;
  return {};
}

const PatternTile* Color::Tile() const noexcept { return std::get_if<PatternTile>(&value_); }

ColorRef Color::Resolved(Appearance appearance) const noexcept {
  const Color* current = this;
  ColorRef holder;  // keeps each step's answer alive while the next is asked for
  for (int step = 0; step <= kMaxResolveSteps; ++step) {
    const auto* provider = std::get_if<Provider>(&current->value_);
    if (provider == nullptr) {
      if (holder != nullptr) return holder;
      try {
        return shared_from_this();
      } catch (...) {  // std::bad_weak_ptr: cannot happen for colours made by the factories
        return nullptr;
      }
    }
    try {
      holder = (*provider)(appearance);
    } catch (...) {
      return nullptr;
    }
    if (holder == nullptr) return nullptr;
    current = holder.get();
  }
  return nullptr;
}

std::optional<ColorComponents> Color::RGBA() const noexcept {
  ColorRef resolved;
  const Color* color = this;
  if (kind() == Kind::kDynamic) {
    resolved = Resolved(CurrentAppearance());
    if (resolved == nullptr) return std::nullopt;
    color = resolved.get();
  }
  if (const auto* rgb = std::get_if<std::array<double, 4>>(&color->value_)) {
    return ColorComponents{(*rgb)[0], (*rgb)[1], (*rgb)[2], (*rgb)[3]};
  }
  if (const auto* grey = std::get_if<std::array<double, 2>>(&color->value_)) {
    return ColorComponents{(*grey)[0], (*grey)[0], (*grey)[0], (*grey)[1]};
  }
  return std::nullopt;
}

}  // namespace kelvane::platform
