// SPDX-License-Identifier: Apache-2.0
#include "kelvane/numbers/decimal.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "kelvane/numbers/internal/exact_double.h"
#include "kelvane/numbers/internal/powers.h"
#include "kelvane/numbers/internal/round_div.h"

namespace kelvane {
namespace {

using Wide = __int128;

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// The quick way in FromDouble: the double product value x 10^digits lies within 2^-52 of the
// exact product of the shortest decimal (one rounding of the product, half an ulp between the
// double and its shortest text), so farther than this from a rounding boundary both round alike.
// The margin keeps four thousand times that error; at 1e-9 every price from 5e8 scaled units on
// (43210.12345 at 5 digits) would fall back to the exact way.
constexpr double kBoundaryMargin = 1e-12;

bool FitsInt64(Wide v) { return v >= kMin && v <= kMax; }

using internal::RoundDiv;

// RoundDiv in 64 bits where both operands fit, as 128-bit division is a slow library call.
Wide RoundDivWide(Wide n, Wide d, Rounding rounding) {
  if (FitsInt64(n) && FitsInt64(d)) {
    return RoundDiv<std::int64_t>(static_cast<std::int64_t>(n), static_cast<std::int64_t>(d),
                                  rounding);
  }
  return RoundDiv<Wide>(n, d, rounding);
}

// The mantissa, at the tick's scale, of the multiple of tick x 10^-tick_scale nearest (as
// `rounding` says) to the shortest decimal that reads back as `value`; empty past int64.
// REQUIRES: value finite, tick > 0, tick_scale in 0 .. kMaxScale.
std::optional<std::int64_t> ShortestToMultiple(double value, std::int64_t tick, int tick_scale,
                                               Rounding rounding) noexcept {
  if (value == 0) return 0;
  // Scientific notation keeps a huge or tiny double to 17 digits and an exponent.
  char text[32];
  const auto written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  if (written.ec != std::errc()) return std::nullopt;
  const char* p = text;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::int64_t digits = 0;
  int count = 0;
  for (; p < written.ptr && *p != 'e'; ++p) {
    if (*p == '.') continue;
    digits = digits * 10 + (*p - '0');
    ++count;
  }
  if (p == written.ptr) return std::nullopt;
  ++p;  // 'e'
  if (*p == '+') ++p;
  int exponent = 0;
  if (std::from_chars(p, written.ptr, exponent).ec != std::errc()) return std::nullopt;
  if (negative) digits = -digits;

  // value = digits x 10^power; in ticks it is digits x 10^(power + tick_scale) / tick.
  const int power = exponent - (count - 1) + tick_scale;
  Wide ticks;
  if (power >= 0) {
    // |digits| is at least 1, so past 10^19 the product leaves int64 whatever the tick.
    if (power > 19) return std::nullopt;
    ticks = RoundDivWide(Wide{digits} * internal::PowerOfTenWide(power), tick, rounding);
  } else if (-power <= 19) {
    ticks = RoundDivWide(digits, Wide{tick} * internal::PowerOfTenWide(-power), rounding);
  } else {
    // Digits below 10^17 over at least 10^20: a fraction of a tick below a thousandth, which
    // rounds like any such fraction, +-0.1 standing in for it.
    ticks = RoundDiv<std::int64_t>(negative ? -1 : 1, 10, rounding);
  }
  const Wide mantissa = ticks * tick;
  if (!FitsInt64(mantissa)) return std::nullopt;
  return static_cast<std::int64_t>(mantissa);
}

// a and b at the larger of their scales, exactly.
struct Aligned {
  Wide a;
  Wide b;
  int scale;
};

Aligned Align(std::int64_t a, int a_scale, std::int64_t b, int b_scale) {
  if (a_scale >= b_scale) {
    return {a, Wide{b} * internal::PowerOfTenWide(a_scale - b_scale), a_scale};
  }
  return {Wide{a} * internal::PowerOfTenWide(b_scale - a_scale), b, b_scale};
}

}  // namespace

std::optional<Decimal> Decimal::Make(std::int64_t mantissa, int scale) noexcept {
  if (scale < 0 || scale > kMaxScale) return std::nullopt;
  return Decimal(mantissa, scale);
}

std::optional<Decimal> Decimal::FromString(std::string_view text) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // The magnitude may reach 2^63 only for a negative value.
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : std::uint64_t{kMax};
  std::uint64_t magnitude = 0;
  int digit_count = 0;
  int scale = 0;
  bool point = false;
  for (; p != end; ++p) {
    if (*p == '.' && !point) {
      point = true;
      continue;
    }
    if (*p < '0' || *p > '9') return std::nullopt;
    const unsigned digit = static_cast<unsigned>(*p - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
    ++digit_count;
    if (point && ++scale > kMaxScale) return std::nullopt;
  }
  if (digit_count == 0) return std::nullopt;
  return Decimal(
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude),
      scale);
}

std::optional<Decimal> Decimal::FromDouble(double value, int digits, Rounding rounding) noexcept {
  if (digits < 0 || digits > kMaxScale || !std::isfinite(value)) return std::nullopt;
  if (value == 0) return Decimal(0, digits);
  const double x = value * internal::kPowersOfTenDouble[digits];
  if (std::fabs(x) < 0x1p53) {
    const auto whole = static_cast<std::int64_t>(x);
    const double fraction = std::fabs(x - static_cast<double>(whole));  // exact
    const double margin = std::fabs(x) * kBoundaryMargin;
    const std::int64_t away = x < 0 ? whole - 1 : whole + 1;
    const bool nearest = rounding == Rounding::kHalfEven || rounding == Rounding::kHalfUp;
    // Ties decide the nearest modes, whole numbers the directed ones.
    const bool near_boundary = nearest ? std::fabs(fraction - 0.5) <= margin
                                       : fraction <= margin || 1 - fraction <= margin;
    if (!near_boundary) {
      switch (rounding) {
        case Rounding::kHalfEven:
        case Rounding::kHalfUp:
          return Decimal(fraction > 0.5 ? away : whole, digits);
        case Rounding::kTowardZero:
          return Decimal(whole, digits);
        case Rounding::kFloor:
          return Decimal(x < 0 ? away : whole, digits);
        case Rounding::kCeiling:
          return Decimal(x > 0 ? away : whole, digits);
      }
    }
  }
  const auto mantissa = ShortestToMultiple(value, 1, digits, rounding);
  if (!mantissa) return std::nullopt;
  return Decimal(*mantissa, digits);
}

std::optional<Decimal> Decimal::FromDouble(double value, Decimal tick, Rounding rounding) noexcept {
  if (tick.mantissa_ <= 0 || !std::isfinite(value)) return std::nullopt;
  const auto mantissa = ShortestToMultiple(value, tick.mantissa_, tick.scale_, rounding);
  if (!mantissa) return std::nullopt;
  return Decimal(*mantissa, tick.scale_);
}

double Decimal::ToDouble() const noexcept {
  // Below 2^53 the mantissa and 10^scale are both doubles exactly, so one division rounds once.
  if (mantissa_ > -(std::int64_t{1} << 53) && mantissa_ < (std::int64_t{1} << 53)) {
    return static_cast<double>(mantissa_) / internal::kPowersOfTenDouble[scale_];
  }
  if (scale_ == 0) return static_cast<double>(mantissa_);
  char text[kMaxChars];
  const char* end = ToChars(text, text + sizeof text);
  double value = 0;
  std::from_chars(text, end, value);
  return value;
}

std::string Decimal::ToString() const {
  char text[kMaxChars];
  return std::string(text, ToChars(text, text + sizeof text));
}

char* Decimal::ToChars(char* first, char* last) const noexcept {
  const bool negative = mantissa_ < 0;
  // Through unsigned arithmetic, so that -2^63 has its magnitude too.
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(mantissa_) : static_cast<std::uint64_t>(mantissa_);
  char reversed[20];
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  const int scale = scale_;
  const int whole = count > scale ? count - scale : 1;
  const std::size_t length = (negative ? 1 : 0) + whole + (scale > 0 ? 1 + scale : 0);
  if (last < first || static_cast<std::size_t>(last - first) < length) return nullptr;
  char* out = first;
  if (negative) *out++ = '-';
  for (int place = whole + scale - 1; place >= 0; --place) {
    *out++ = place < count ? reversed[place] : '0';
    if (place == scale && scale > 0) *out++ = '.';
  }
  return out;
}

std::optional<Decimal> Decimal::Rescale(int scale, Rounding rounding) const noexcept {
  if (scale < 0 || scale > kMaxScale) return std::nullopt;
  if (scale >= scale_) {
    std::int64_t mantissa;
    const auto factor = static_cast<std::int64_t>(internal::PowerOfTenWide(scale - scale_));
    if (__builtin_mul_overflow(mantissa_, factor, &mantissa)) return std::nullopt;
    return Decimal(mantissa, scale);
  }
  const auto divisor = static_cast<std::int64_t>(internal::PowerOfTenWide(scale_ - scale));
  return Decimal(RoundDiv<std::int64_t>(mantissa_, divisor, rounding), scale);
}

std::optional<Decimal> Decimal::RoundToTick(Decimal tick, Rounding rounding) const noexcept {
  if (tick.mantissa_ <= 0) return std::nullopt;
  const Aligned aligned = Align(mantissa_, scale_, tick.mantissa_, tick.scale_);
  const Wide mantissa = RoundDivWide(aligned.a, aligned.b, rounding) * aligned.b;
  if (!FitsInt64(mantissa)) return std::nullopt;
  return Decimal(static_cast<std::int64_t>(mantissa), aligned.scale);
}

Decimal Decimal::Trimmed() const noexcept {
  Decimal result = *this;
  while (result.scale_ > 0 && result.mantissa_ % 10 == 0) {
    result.mantissa_ /= 10;
    --result.scale_;
  }
  return result;
}

std::optional<Decimal> Add(Decimal a, Decimal b) noexcept {
  const Aligned aligned = Align(a.mantissa_, a.scale_, b.mantissa_, b.scale_);
  const Wide sum = aligned.a + aligned.b;
  if (!FitsInt64(sum)) return std::nullopt;
  return Decimal(static_cast<std::int64_t>(sum), aligned.scale);
}

std::optional<Decimal> Subtract(Decimal a, Decimal b) noexcept {
  const Aligned aligned = Align(a.mantissa_, a.scale_, b.mantissa_, b.scale_);
  const Wide difference = aligned.a - aligned.b;
  if (!FitsInt64(difference)) return std::nullopt;
  return Decimal(static_cast<std::int64_t>(difference), aligned.scale);
}

std::optional<Decimal> Multiply(Decimal a, std::int64_t quantity) noexcept {
  std::int64_t product;
  if (__builtin_mul_overflow(a.mantissa_, quantity, &product)) return std::nullopt;
  return Decimal(product, a.scale_);
}

std::optional<Decimal> Negate(Decimal a) noexcept {
  if (a.mantissa_ == kMin) return std::nullopt;
  return Decimal(-a.mantissa_, a.scale_);
}

std::strong_ordering operator<=>(Decimal a, Decimal b) noexcept {
  if (a.scale_ == b.scale_) return a.mantissa_ <=> b.mantissa_;
  const Aligned aligned = Align(a.mantissa_, a.scale_, b.mantissa_, b.scale_);
  return aligned.a <=> aligned.b;
}

namespace internal {

std::optional<Decimal> FromDoubleExact(double value, int digits, Rounding rounding) noexcept {
  if (digits < 0 || digits > Decimal::kMaxScale || !std::isfinite(value)) return std::nullopt;
  const auto mantissa = ShortestToMultiple(value, 1, digits, rounding);
  if (!mantissa) return std::nullopt;
  return Decimal::Make(*mantissa, digits);
}

}  // namespace internal
}  // namespace kelvane
