// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/i18n/characters.h"

#include <unicode/ubrk.h>
#include <unicode/ustring.h>

#include <climits>
#include <new>

namespace kelvane::platform {
namespace {

// The calling thread's character iterator, opened once; ICU's iterators are not shareable.
class ThreadBreaker {
 public:
  ThreadBreaker() noexcept {
    UErrorCode status = U_ZERO_ERROR;
    breaker_ = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    if (U_FAILURE(status)) breaker_ = nullptr;
  }
  ~ThreadBreaker() {
    if (breaker_ != nullptr) ubrk_close(breaker_);
  }
  ThreadBreaker(const ThreadBreaker&) = delete;
  ThreadBreaker& operator=(const ThreadBreaker&) = delete;

  UBreakIterator* get() const noexcept { return breaker_; }

 private:
  UBreakIterator* breaker_ = nullptr;
};

}  // namespace

std::size_t ComposedCharacterLength(std::u16string_view text, std::size_t index) noexcept {
  if (index >= text.size()) return 0;
  // A cluster never spans more than a few dozen units in practice; a window keeps the ICU
  // lengths within 32 bits for any text and bounds the work for a long one.
  constexpr std::size_t kWindow = 1024;
  const std::u16string_view window = text.substr(index, kWindow);
  if (window.size() == 1) return 1;
  static thread_local ThreadBreaker breaker;
  UBreakIterator* iterator = breaker.get();
  if (iterator == nullptr) return 1;
  UErrorCode status = U_ZERO_ERROR;
  ubrk_setText(iterator, reinterpret_cast<const UChar*>(window.data()),
               static_cast<int32_t>(window.size()), &status);
  if (U_FAILURE(status)) return 1;
  const int32_t end = ubrk_following(iterator, 0);
  if (end == UBRK_DONE || end <= 0) return 1;
  return static_cast<std::size_t>(end);
}

std::optional<String> UppercaseString(std::u16string_view text) noexcept {
  try {
    if (text.size() > static_cast<std::size_t>(INT32_MAX) / 3) return std::nullopt;
    const auto length = static_cast<int32_t>(text.size());
    String out;
    // Full upper-casing grows a text by at most three units per unit ("ΐ" -> three letters).
    out.resize(text.size() + 16);
    for (int attempt = 0; attempt < 2; ++attempt) {
      UErrorCode status = U_ZERO_ERROR;
      const int32_t written =
          u_strToUpper(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                       reinterpret_cast<const UChar*>(text.data()), length, "", &status);
      if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(static_cast<std::size_t>(written));
        continue;
      }
      if (U_FAILURE(status)) return std::nullopt;
      out.resize(static_cast<std::size_t>(written));
      return out;
    }
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace kelvane::platform
