// SPDX-License-Identifier: Apache-2.0
#include "kelvane/colours/avatar.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>
#include <string>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/fonts/text_layout.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/graphics/rounded_rect.h"
#include "kelvane/platform/i18n/characters.h"
#include "kelvane/platform/i18n/unicode.h"
#include "kelvane/text/hash.h"
#include "kelvane/text/internal/checked_drawing.h"
#include "kelvane/text/text_drawing.h"

namespace kelvane::Avatar {
namespace {

constexpr std::size_t kPresets = 11;

constexpr std::uint32_t kFlatColours[kPresets] = {
    0xEC851E, 0xDF5500, 0xEE292C, 0xB3447D, 0x809D17, 0x218D32,
    0x3391CA, 0x1E67E4, 0x2362A6, 0x8138A4, 0x627AA6,
};

// Top and bottom colour of each gradient, 0xRRGGBB.
constexpr std::uint32_t kGradientColours[kPresets][2] = {
    {0xEC9037, 0xF9C434}, {0xE95B05, 0xF2A012}, {0xDC5367, 0xE2855F}, {0xB3005D, 0xF57676},
    {0x91AE2B, 0xBFDC59}, {0x218D32, 0x6BC35A}, {0x3391CA, 0x5CB2E5}, {0x689AF0, 0x95CDFB},
    {0x2362A6, 0x629EDE}, {0x8138A4, 0xB582CD}, {0x627AA6, 0x98ABCE},
};

// A component byte / 255 in single precision, as the gradient table stores it.
double Component(std::uint32_t rgb, int shift) {
  return static_cast<double>(static_cast<float>((rgb >> shift) & 0xFF) / 255.0f);
}

GradientRef MakeGradient(std::size_t index) {
  double components[8];
  for (int stop = 0; stop < 2; ++stop) {
    const std::uint32_t rgb = kGradientColours[index][stop];
    components[stop * 4 + 0] = Component(rgb, 16);
    components[stop * 4 + 1] = Component(rgb, 8);
    components[stop * 4 + 2] = Component(rgb, 0);
    components[stop * 4 + 3] = 1.0;
  }
  static constexpr double kLocations[2] = {0.0, 1.0};
  return platform::Gradient::WithColorComponents(components, kLocations, 2);
}

// The eleven gradients, built together under one lock the first time one is asked for and only
// read once all exist. A gradient that could not be built is tried again on the next call.
class GradientSlots {
 public:
  GradientRef Get(std::size_t index) noexcept {
    if (complete_.load(std::memory_order_acquire)) return slots_[index];
    std::lock_guard<std::mutex> lock(mutex_);
    bool all = true;
    for (std::size_t i = 0; i < kPresets; ++i) {
      if (slots_[i] == nullptr) slots_[i] = MakeGradient(i);
      all = all && slots_[i] != nullptr;
    }
    if (all) complete_.store(true, std::memory_order_release);
    return slots_[index];
  }

 private:
  std::mutex mutex_;
  std::atomic<bool> complete_{false};
  GradientRef slots_[kPresets];
};

GradientSlots& s_grads() {
  static platform::internal::NoDestructor<GradientSlots> slots;  // for the life of the process
  return *slots;
}

// Appends the first user-perceived character of `part` to `initials` and feeds the whole part
// to the digest; the character's length in UTF-16 units.
std::size_t TakeInitial(std::u16string_view part, String& initials, CHashMD5& md5) {
  const std::size_t length = platform::ComposedCharacterLength(part, 0);
  initials.append(part.substr(0, length));
  std::string bytes;
  // A part with an unpaired surrogate has no UTF-8 form; it gives its initial but no bytes.
  if (platform::Utf16ToUtf8(part, bytes) && !bytes.empty()) {
    md5.Update(bytes.data(),
               static_cast<unsigned int>(std::min<std::size_t>(bytes.size(), UINT32_MAX)));
  }
  return length;
}

bool NonEmpty(const OptionalString& s) { return s.has_value() && !s->empty(); }

double RoundAway(double value) {  // to the nearest integer in single precision, halves away
  return static_cast<double>(std::round(static_cast<float>(value)));
}

// The surface of an avatar at the screen's scale, current until Finish() or the destructor
// closes it (a failed opening takes its place on the stack too).
class Surface {
 public:
  Surface(Size size, bool opaque) noexcept
      : open_(platform::BeginImageContextWithOptions(size, opaque, 0.0)) {}
  ~Surface() {
    if (!ended_) platform::EndImageContext();
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  platform::GraphicsContext* context() const noexcept {
    return open_ ? platform::GetCurrentContext() : nullptr;
  }
  // The picture, taking the surface's pixels over, and the surface closed.
  ImageRef Finish() noexcept {
    ended_ = true;
    return platform::TakeImageAndEndImageContext();
  }

 private:
  bool open_;
  bool ended_ = false;
};

}  // namespace

String InitialsLogin(OptionalString login, OptionalString name, OptionalString surname,
                     unsigned char* hash) noexcept {
  try {
    CHashMD5 md5;
    String initials;
    std::u16string_view first = name.value_or(std::u16string_view());
    std::u16string_view last = surname.value_or(std::u16string_view());
    if (NonEmpty(login) && !name.has_value() && !surname.has_value()) {
      const std::u16string_view text = *login;
      std::size_t index = 0;
      for (std::size_t start = 0; start <= text.size(); ++index) {
        const std::size_t space = std::min(text.find(u' ', start), text.size());
        const std::u16string_view component = text.substr(start, space - start);
        if (index == 0) {
          first = component;
        } else if (index == 1) {
          last = component;
        } else if (last.size() <= 1 && component.size() > 1) {
          last = component;
          break;
        }
        start = space + 1;
      }
    }
    std::size_t used = 0;
    if (!first.empty()) used = TakeInitial(first, initials, md5);
    if (!last.empty() && used <= 1) used += TakeInitial(last, initials, md5);
    if (NonEmpty(login) && used == 0) TakeInitial(*login, initials, md5);
    if (hash != nullptr) md5.Final(hash);
    std::optional<String> upper = platform::UppercaseString(initials);
    return upper ? std::move(*upper) : initials;
  } catch (...) {  // out of memory: no initials, and the digest of nothing
    if (hash != nullptr) {
      CHashMD5 empty;
      empty.Final(hash);
    }
    return String();
  }
}

std::int32_t ColorLogin(OptionalString login, OptionalString name,
                        OptionalString surname) noexcept {
  unsigned char digest[16] = {};
  (void)InitialsLogin(login, name, surname, digest);
  return _color(digest[0]);
}

std::int32_t _color(std::uint8_t b) noexcept {
  return static_cast<std::int32_t>(kFlatColours[b % kPresets]);
}

GradientRef _gradient(std::uint8_t b) noexcept { return s_grads().Get(b % kPresets); }

ImageRef AvatarLogin(OptionalString login, OptionalString name, OptionalString surname, Size size,
                     std::uint64_t clip) noexcept {
  unsigned char digest[16] = {};
  const String initials = InitialsLogin(login, name, surname, digest);
  return Avatar(initials, nullptr, static_cast<std::int8_t>(digest[0]), size, clip);
}

ImageRef Avatar(std::u16string_view text, const ImageRef& background, std::int8_t preset, Size size,
                std::uint64_t clip) noexcept {
  try {
    const String initials(text);
    // Initials at no size a font can have, or past the layout's limits, are left out of the
    // avatar. Any other failure to measure or draw them (memory ran out) gives no avatar rather
    // than one without its initials.
    const double point_size = size.height * static_cast<double>(kInitialsFontScale);
    const bool with_text = !initials.empty() && point_size > 0.0 &&
                           point_size <= platform::Font::kMaxPointSize &&
                           !platform::CheckLayoutLimits(initials);
    platform::FontRef font;
    platform::Size measured;
    if (with_text) {
      font = platform::Font::System(point_size);
      const std::optional<platform::Size> size_of_text =
          NSTools::internal::CheckedSizeWithFont(initials, font);
      if (!size_of_text) return nullptr;
      measured = *size_of_text;
    }
    Surface surface(size, clip == kClipNone);
    platform::GraphicsContext* context = surface.context();
    if (context == nullptr) return nullptr;
    if (clip != kClipNone) _clipContext(*context, size, clip);
    const Rect bounds(0.0, 0.0, size.width, size.height);
    if (background != nullptr) {
      context->DrawImageInRect(*background, bounds);
    } else if (const GradientRef gradient = _gradient(static_cast<std::uint8_t>(preset))) {
      context->DrawLinearGradient(*gradient, {0.0, 0.0}, {0.0, size.height}, 0);
    } else {
      return nullptr;  // the gradient could not be built: tried again on the next call
    }
    // Made per call: a colour that could not be made once is not kept for good.
    const ColorRef white = platform::Color::Grey(1.0, 1.0);
    if (with_text &&
        !NSTools::internal::CheckedDrawInRect(
            initials,
            Rect((size.width - measured.width) / 2.0, (size.height - measured.height) / 2.0,
                 measured.width, measured.height),
            font, white)) {
      return nullptr;
    }
    return surface.Finish();
  } catch (...) {
    return nullptr;
  }
}

ImageRef Avatar(const ImageRef& picture, std::int64_t mode, const ColorRef& background_color,
                Size size, std::uint64_t clip) noexcept {
  const platform::Size natural = picture != nullptr ? picture->size() : platform::Size{};
  if ((mode == kModeFit || mode == kModeFill) && natural.width == 0.0 && natural.height == 0.0) {
    return nullptr;
  }
  Surface surface(size, clip == kClipNone && background_color != nullptr);
  platform::GraphicsContext* context = surface.context();
  if (context == nullptr) return nullptr;
  context->SetInterpolationQuality(platform::kInterpolationHigh);
  if (clip != kClipNone) _clipContext(*context, size, clip);
  if (background_color != nullptr) {
    context->SetFillColor(background_color);
    context->FillRect(Rect(0.0, 0.0, size.width, size.height));
  }
  if (picture != nullptr) {
    if (const std::optional<Rect> place = PictureRect(mode, natural, size)) {
      context->DrawImageInRect(*picture, *place);
    }
  }
  return surface.Finish();
}

void _clipContext(platform::GraphicsContext& context, Size size, std::uint64_t clip) noexcept {
  if (clip == kClipCircle) {
    context.BeginPath();
    context.AddEllipseInRect(Rect(1.0, 1.0, size.width - 2.0, size.height - 2.0));
    context.Clip();
  } else if (clip == kClipRounded) {
    platform::SetRoundedRectPath(context, Rect(0.0, 0.0, size.width, size.height),
                                 ClipRadius(size));
    context.Clip();
  }
}

double ClipRadius(Size size) noexcept {
  const float shorter = static_cast<float>(std::min(size.width, size.height));
  return static_cast<double>(std::round(shorter / 10.0f));
}

std::optional<Rect> PictureRect(std::int64_t mode, Size picture, Size avatar) noexcept {
  const double W = avatar.width, H = avatar.height;
  const double iw = picture.width, ih = picture.height;
  Rect place;
  switch (mode) {
    case kModeFit:
    case kModeFill: {
      const double h = W / iw, v = H / ih;
      const double s = mode == kModeFit ? (h < v ? h : v) : (h > v ? h : v);
      place.width = RoundAway(iw * s);
      place.height = RoundAway(ih * s);
      place.x = RoundAway((W - place.width) * 0.5);
      place.y = RoundAway((H - place.height) * 0.5);
      break;
    }
    case kModeCenter:
      place = Rect(RoundAway((W - iw) * 0.5), RoundAway((H - ih) * 0.5), iw, ih);
      break;
    case kModeTop:
      place = Rect(RoundAway((W - iw) * 0.5), 0.0, iw, ih);
      break;
    case kModeBottom:
      place = Rect(RoundAway((W - iw) * 0.5),
                   static_cast<double>(std::floor(static_cast<float>(H - ih))), iw, ih);
      break;
    default:
      place = Rect(0.0, 0.0, W, H);
      break;
  }
  if (!std::isfinite(place.x) || !std::isfinite(place.y) || !std::isfinite(place.width) ||
      !std::isfinite(place.height)) {
    return std::nullopt;
  }
  return place;
}

}  // namespace kelvane::Avatar
