// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/image_surfaces.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/device/screen.h"

namespace kelvane::platform {
namespace {

struct Entry {
  std::unique_ptr<GraphicsContext> owned;  // image surfaces opened here (null when that failed)
  GraphicsContext* context = nullptr;
  bool image_surface = false;  // put here by a begin, not by PushContext
};

// A thread's stack. Entries that could not be stored (memory ran out, or kMaxContextDepth were
// open) are only counted: they lie above the stored ones, since nothing is stored while any is
// open, and each is closed by the end or pop that matches it. Their kinds, the innermost in bit
// 0, are kept for the innermost 64 (a set bit for a pushed context); deeper ones read as begins.
struct Stack {
  std::vector<Entry> entries;
  std::size_t unstored = 0;
  std::uint64_t unstored_pushes = 0;
};

thread_local Stack t_stack;

// Makes room for one more stored entry; false when it cannot be stored.
bool MakeRoom(Stack& stack) noexcept {
  if (stack.unstored > 0 || stack.entries.size() >= kMaxContextDepth) return false;
  if (stack.entries.size() < stack.entries.capacity()) return true;
  try {
    stack.entries.reserve(std::min(kMaxContextDepth, 2 * stack.entries.size() + 4));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void CountUnstored(Stack& stack, bool pushed) noexcept {
  ++stack.unstored;
  stack.unstored_pushes = (stack.unstored_pushes << 1) | (pushed ? 1 : 0);
}

// Closes the innermost unstored entry when it is of the kind asked for; true when there was an
// unstored entry on top (closed or not), so that the stored ones are left alone.
bool CloseUnstored(Stack& stack, bool pushed) noexcept {
  if (stack.unstored == 0) return false;
  if (((stack.unstored_pushes & 1) != 0) == pushed) {
    --stack.unstored;
    stack.unstored_pushes >>= 1;
  }
  return true;
}

// Pushes a fresh surface for the renderer and pops it however the actions end.
class RendererScope {
 public:
  RendererScope(Size size, const ImageRendererFormat& format) {
    ok_ = BeginImageContextWithOptions(size, format.opaque, format.scale);
  }
  ~RendererScope() { EndImageContext(); }
  [[nodiscard]] GraphicsContext* context() const { return ok_ ? GetCurrentContext() : nullptr; }

 private:
  bool ok_ = false;
};

ImageRef Render(Size size, const ImageRendererFormat& format, const DrawingActions& actions) {
  try {
    RendererScope scope(size, format);
    GraphicsContext* context = scope.context();
    if (context == nullptr) return nullptr;
    if (actions) actions(*context);
    return context->TakeImage();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

bool BeginImageContextWithOptions(Size size, bool opaque, double scale) noexcept {
  Stack& stack = t_stack;
  // Room first: a surface that could not be stored would leave the matching end to close the
  // caller's outer one.
  if (!MakeRoom(stack)) {
    CountUnstored(stack, false);
    return false;
  }
  std::unique_ptr<GraphicsContext> context = GraphicsContext::MakeImageSurface(size, opaque, scale);
  GraphicsContext* raw = context.get();
  stack.entries.push_back({std::move(context), raw, true});  // within the capacity made above
  return raw != nullptr;
}

bool BeginImageContext(Size size) noexcept {
  return BeginImageContextWithOptions(size, false, 1.0);
}

GraphicsContext* GetCurrentContext() noexcept {
  const Stack& stack = t_stack;
  return stack.unstored > 0 || stack.entries.empty() ? nullptr : stack.entries.back().context;
}

ImageRef GetImageFromCurrentImageContext() noexcept {
  const Stack& stack = t_stack;
  if (stack.unstored > 0 || stack.entries.empty() || !stack.entries.back().image_surface ||
      stack.entries.back().context == nullptr) {
    return nullptr;
  }
  return stack.entries.back().context->CreateImage();
}

void EndImageContext() noexcept {
  Stack& stack = t_stack;
  if (CloseUnstored(stack, false)) return;
  if (!stack.entries.empty() && stack.entries.back().image_surface) stack.entries.pop_back();
}

ImageRef TakeImageAndEndImageContext() noexcept {
  Stack& stack = t_stack;
  if (CloseUnstored(stack, false)) return nullptr;
  if (stack.entries.empty() || !stack.entries.back().image_surface) return nullptr;
  GraphicsContext* context = stack.entries.back().context;
  ImageRef image = context != nullptr ? context->TakeImage() : nullptr;
  stack.entries.pop_back();
  return image;
}

void PushContext(GraphicsContext& context) noexcept {
  Stack& stack = t_stack;
  if (!MakeRoom(stack)) {
    CountUnstored(stack, true);
    return;
  }
  stack.entries.push_back({nullptr, &context, false});
}

void PopContext() noexcept {
  Stack& stack = t_stack;
  if (CloseUnstored(stack, true)) return;
  if (!stack.entries.empty() && !stack.entries.back().image_surface) stack.entries.pop_back();
}

ImageRendererFormat ImageRendererFormat::Default() noexcept {
  return {CurrentScreenFacts().scale, false};
}

ImageRef ImageRenderer::Image(const DrawingActions& actions) const noexcept {
  return Render(size_, format_, actions);
}

std::optional<Data> ImageRenderer::JPEGData(double quality,
                                            const DrawingActions& actions) const noexcept {
  const ImageRef image = Render(size_, format_, actions);
  if (image == nullptr) return std::nullopt;
  return EncodeJPEG(*image->raster(), quality);
}

std::optional<Data> ImageRenderer::PNGData(const DrawingActions& actions) const noexcept {
  const ImageRef image = Render(size_, format_, actions);
  if (image == nullptr) return std::nullopt;
  return EncodePNG(*image->raster());
}

}  // namespace kelvane::platform
