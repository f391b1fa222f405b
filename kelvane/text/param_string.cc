// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/param_string.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/text/buffer_copy.h"

namespace kelvane::NSTools {
namespace {

// The value of `key` as a view into `receiver`; nullopt when there is none.
std::optional<std::u16string_view> FindValueView(const String& receiver, OptionalString key,
                                                 const platform::CharacterSet* stop) noexcept {
  if (!key.has_value() || key->empty()) return std::nullopt;
  const std::u16string_view text(receiver);
  const std::size_t at = text.find(*key);
  if (at == std::u16string_view::npos) return std::nullopt;
  const std::size_t start = at + key->size();
  if (start >= text.size()) return std::nullopt;
  std::size_t end = text.size();
  if (stop != nullptr) {
    for (std::size_t i = start; i < end; ++i) {
      if (stop->Contains(text[i])) {
        end = i;
        break;
      }
    }
  }
  return text.substr(start, end - start);
}

// Index of the first unit that is not white space or a line break.
std::size_t SkipSpace(std::u16string_view text) noexcept {
  const platform::CharacterSet& space = platform::CharacterSet::WhitespaceAndNewlines();
  std::size_t i = 0;
  while (i < text.size() && space.Contains(text[i])) ++i;
  return i;
}

// Reads an optional sign and decimal digits, saturating the magnitude at `saturate_at` (one past
// the largest positive value) so that both ends of a signed range can be told from an overflow.
struct ScannedInteger {
  bool negative = false;
  std::uint64_t magnitude = 0;  // saturated
};

ScannedInteger ScanInteger(std::u16string_view text, std::uint64_t saturate_at) noexcept {
  ScannedInteger result;
  std::size_t i = SkipSpace(text);
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    result.negative = text[i] == u'-';
    ++i;
  }
  for (; i < text.size() && platform::ascii::IsDigit(text[i]); ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - u'0');
    // Checked before the step: twenty digits can pass 2^64 and wrap to a small number.
    if (result.magnitude > (saturate_at - digit) / 10) {
      result.magnitude = saturate_at;  // out of range: the rest cannot bring it back
      continue;
    }
    result.magnitude = result.magnitude * 10 + digit;
  }
  return result;
}

template <typename Int>
Int ClampedInteger(std::u16string_view text) noexcept {
  constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<Int>::max());
  // One past the largest positive value is the magnitude of the smallest negative one.
  const ScannedInteger scanned = ScanInteger(text, kMax + 1);
  if (scanned.negative) {
    if (scanned.magnitude > kMax) return std::numeric_limits<Int>::min();
    return static_cast<Int>(-static_cast<Int>(scanned.magnitude));
  }
  return scanned.magnitude > kMax ? std::numeric_limits<Int>::max()
                                  : static_cast<Int>(scanned.magnitude);
}

template <typename Number>
bool ReadNumber(const String& receiver, OptionalString key, const platform::CharacterSet* stop,
                Number* out, Number (*convert)(std::u16string_view) noexcept) noexcept {
  if (out == nullptr) return false;
  const std::optional<std::u16string_view> value = FindValueView(receiver, key, stop);
  if (!value.has_value()) return false;
  *out = convert(*value);
  return true;
}

}  // namespace

std::optional<String> FindValue(const String& receiver, OptionalString key,
                                const platform::CharacterSet* stop) noexcept {
  const std::optional<std::u16string_view> value = FindValueView(receiver, key, stop);
  if (!value.has_value()) return std::nullopt;
  try {
    return String(*value);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool ReadParam(const String& receiver, OptionalString key, const platform::CharacterSet* stop,
               unsigned short* wstring, std::uint64_t size) noexcept {
  // A 1-byte buffer cannot hold even the 2-byte terminator.
  if (!key.has_value() || wstring == nullptr || size < 2) return false;
  const std::optional<std::u16string_view> value = FindValueView(receiver, key, stop);
  if (!value.has_value()) {
    wstring[0] = 0;
    return false;
  }
  // Clamped rather than cut to the low 32 bits: 4 GiB would otherwise become 0 and leave the
  // buffer unterminated behind a true result.
  const unsigned int length = size > std::numeric_limits<unsigned int>::max()
                                  ? std::numeric_limits<unsigned int>::max()
                                  : static_cast<unsigned int>(size);
  CopyString(*value, wstring, length);
  return true;
}

bool ReadParam(const String& receiver, OptionalString key, const platform::CharacterSet* stop,
               std::int32_t* int32) noexcept {
  return ReadNumber<std::int32_t>(receiver, key, stop, int32, &IntValue);
}

bool ReadParam(const String& receiver, OptionalString key, const platform::CharacterSet* stop,
               std::int64_t* int64) noexcept {
  return ReadNumber<std::int64_t>(receiver, key, stop, int64, &LongLongValue);
}

bool ReadParam(const String& receiver, OptionalString key, const platform::CharacterSet* stop,
               double* double_) noexcept {
  return ReadNumber<double>(receiver, key, stop, double_, &DoubleValue);
}

bool ReadKey(const String& receiver, String* key, String* value,
             OptionalString separator) noexcept {
  if (key == nullptr || value == nullptr || !separator.has_value() || separator->empty()) {
    return false;
  }
  const std::u16string_view text(receiver);
  const std::size_t at = text.find(*separator);
  if (at == std::u16string_view::npos || at == 0) return false;
  const std::size_t after = at + separator->size();
  if (after >= text.size()) return false;

  const platform::CharacterSet& space = platform::CharacterSet::Whitespace();
  auto trim = [&space](std::u16string_view part) {
    std::size_t first = 0, last = part.size();
    while (first < last && space.Contains(part[first])) ++first;
    while (last > first && space.Contains(part[last - 1])) --last;
    return part.substr(first, last - first);
  };
  try {
    // Both results are built before either out pointer is written, so a failure leaves both.
    String new_key(trim(text.substr(0, at)));
    String new_value(trim(text.substr(after)));
    *key = std::move(new_key);
    *value = std::move(new_value);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::int32_t IntValue(std::u16string_view text) noexcept {
  return ClampedInteger<std::int32_t>(text);
}

std::int64_t LongLongValue(std::u16string_view text) noexcept {
  return ClampedInteger<std::int64_t>(text);
}

double DoubleValue(std::u16string_view text) noexcept {
  std::size_t i = SkipSpace(text);
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  // Collect the number as ASCII for the standard, locale-independent, correctly rounded
  // conversion; track the decimal magnitude to tell an overflow from an underflow.
  std::string number;
  try {
    std::int64_t integer_digits = 0;
    std::int64_t leading_zeros = 0;  // zeros before the first significant digit
    bool significant = false;
    bool any_digit = false;
    for (; i < text.size() && platform::ascii::IsDigit(text[i]); ++i) {
      number.push_back(static_cast<char>(text[i]));
      ++integer_digits;
      any_digit = true;
      if (!significant && text[i] == u'0') ++leading_zeros;
      significant = significant || text[i] != u'0';
    }
    if (i < text.size() && text[i] == u'.') {
      std::size_t j = i + 1;
      std::string fraction;
      for (; j < text.size() && platform::ascii::IsDigit(text[j]); ++j) {
        fraction.push_back(static_cast<char>(text[j]));
        if (!significant && text[j] == u'0') ++leading_zeros;
        significant = significant || text[j] != u'0';
      }
      if (!fraction.empty()) {
        number.push_back('.');
        number += fraction;
        any_digit = true;
      }
      i = j;
    }
    if (!any_digit) return 0.0;
    std::int64_t exponent = 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
      std::size_t j = i + 1;
      bool exponent_negative = false;
      if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) {
        exponent_negative = text[j] == u'-';
        ++j;
      }
      if (j < text.size() && platform::ascii::IsDigit(text[j])) {
        for (; j < text.size() && platform::ascii::IsDigit(text[j]); ++j) {
          // Far beyond any double's range already; more digits change nothing.
          if (exponent < 100000000) exponent = exponent * 10 + (text[j] - u'0');
        }
        if (exponent_negative) exponent = -exponent;
        number.push_back('e');
        number += std::to_string(exponent);
      }
    }
    if (!significant) return negative ? -0.0 : 0.0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
      // The value is 0.d... x 10^magnitude: a positive magnitude overflowed, any other underflowed.
      const std::int64_t magnitude = exponent + integer_digits - leading_zeros;
      value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc()) {
      return 0.0;
    }
    return negative ? -value : value;
  } catch (const std::bad_alloc&) {
    return 0.0;
  }
}

}  // namespace kelvane::NSTools
