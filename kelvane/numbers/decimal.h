// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/decimal.h
//
// An exact decimal for prices, quantities and money: a signed 64-bit mantissa and a scale of 0 to
// 18 fraction digits, worth mantissa x 10^-scale. 0.1 + 0.2 is 0.3, and a price keeps the digits
// it was given (1.50 has scale 2 and prints as 1.50).
//
// Arithmetic that would leave the 64-bit mantissa reports it with an empty result; nothing
// wraps. Comparison is by value across scales (1.5 == 1.50). A double comes in through the
// shortest decimal that reads back as the same double (1.005 is 1.005, not the
// 1.00499999999999989... the double holds), then rounded as the caller says, as a user who typed
// 1.005 expects.
//
// Threads: a value type; any thread may use its own copies.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kelvane/export.h"

namespace kelvane {

// How a value is brought to fewer digits.
enum class Rounding : std::uint8_t {
  kHalfEven,    // to the nearest; a tie to the even neighbour (2.5 -> 2, 3.5 -> 4)
  kHalfUp,      // to the nearest; a tie away from zero (2.5 -> 3, -2.5 -> -3)
  kTowardZero,  // drops what is cut (2.9 -> 2, -2.9 -> -2)
  kFloor,       // toward minus infinity (-2.1 -> -3)
  kCeiling,     // toward plus infinity (2.1 -> 3)
};

// mantissa() x 10^-scale(); 16 bytes, passed by value.
class KELVANE_EXPORT Decimal {
 public:
  // The most fraction digits a decimal holds.
  static constexpr int kMaxScale = 18;

  // Zero, scale 0.
  constexpr Decimal() noexcept = default;

  // mantissa x 10^-scale; empty when scale is outside 0 .. kMaxScale.
  [[nodiscard]] static std::optional<Decimal> Make(std::int64_t mantissa, int scale) noexcept;

  // The integer `value`, scale 0.
  [[nodiscard]] static constexpr Decimal FromInteger(std::int64_t value) noexcept {
    return Decimal(value, 0);
  }

  // Plain text: an optional '+' or '-', digits, and optionally '.' and more digits ("-1234.50",
  // "0.001", ".5", "7."); the scale is the number of digits after the point. Empty for anything
  // else (spaces, grouping, exponents, more than kMaxScale fraction digits, a mantissa past 64
  // bits). Leading zeros are allowed.
  [[nodiscard]] static std::optional<Decimal> FromString(std::string_view text) noexcept;

  // `value` rounded to `digits` fraction digits (0 .. kMaxScale), starting from the shortest
  // decimal that reads back as `value`. Empty for NaN, infinities, digits out of range, and a
  // result past 64 bits. -0.0 gives 0.
  [[nodiscard]] static std::optional<Decimal> FromDouble(
      double value, int digits, Rounding rounding = Rounding::kHalfEven) noexcept;

  // `value` rounded to a multiple of `tick` (REQUIRES nothing: a tick that is not positive
  // gives empty), at the tick's scale: FromDouble(99.51, 1/32 as 0.03125) is 99.50000.
  [[nodiscard]] static std::optional<Decimal> FromDouble(
      double value, Decimal tick, Rounding rounding = Rounding::kHalfEven) noexcept;

  // The digits, sign included: -150 for -1.50.
  [[nodiscard]] constexpr std::int64_t mantissa() const noexcept { return mantissa_; }
  // The number of fraction digits, 0 .. kMaxScale: 2 for -1.50.
  [[nodiscard]] constexpr int scale() const noexcept { return scale_; }
  // -1, 0 or 1.
  [[nodiscard]] constexpr int sign() const noexcept { return (mantissa_ > 0) - (mantissa_ < 0); }

  // The nearest double (correctly rounded).
  [[nodiscard]] double ToDouble() const noexcept;

  // The most characters ToString() gives and ToChars() writes.
  static constexpr std::size_t kMaxChars = 40;
  // Plain text with every digit of the scale: "-1234.50", "0.001", "7". At most 40 characters.
  [[nodiscard]] std::string ToString() const;
  // The same into [first, last); the end of what was written, or nullptr when it does not fit
  // (kMaxChars always fits).
  char* ToChars(char* first, char* last) const noexcept;

  // The same value at `scale` digits: more digits append zeros (empty when the mantissa
  // would pass 64 bits), fewer round as `rounding` says. Empty for a scale outside 0 .. 18.
  [[nodiscard]] std::optional<Decimal> Rescale(
      int scale, Rounding rounding = Rounding::kHalfEven) const noexcept;

  // The nearest multiple of `tick` by `rounding`, at the larger of the two scales. Empty when
  // tick is not positive or the result leaves the range.
  [[nodiscard]] std::optional<Decimal> RoundToTick(
      Decimal tick, Rounding rounding = Rounding::kHalfEven) const noexcept;

  // The value without trailing fraction zeros (1.500 -> 1.5, 2.00 -> 2).
  [[nodiscard]] Decimal Trimmed() const noexcept;

  // Arithmetic: the result's scale is the larger of the two (`Add`, `Subtract`) or the decimal's
  // own (`Multiply` by a whole quantity); empty when the result leaves the range.
  friend KELVANE_EXPORT std::optional<Decimal> Add(Decimal a, Decimal b) noexcept;
  friend KELVANE_EXPORT std::optional<Decimal> Subtract(Decimal a, Decimal b) noexcept;
  friend KELVANE_EXPORT std::optional<Decimal> Multiply(Decimal a, std::int64_t quantity) noexcept;
  // -a; empty for the one mantissa without a negative (-2^63).
  friend KELVANE_EXPORT std::optional<Decimal> Negate(Decimal a) noexcept;

  // By value, whatever the scales: 1.5 == 1.50, -0.1 < 0 (`operator==` too).
  friend KELVANE_EXPORT std::strong_ordering operator<=>(Decimal a, Decimal b) noexcept;
  [[nodiscard]] friend bool operator==(Decimal a, Decimal b) noexcept { return (a <=> b) == 0; }

  // Same mantissa and same scale: 1.5 and 1.50 are equal but not identical.
  [[nodiscard]] bool Identical(Decimal other) const noexcept {
    return mantissa_ == other.mantissa_ && scale_ == other.scale_;
  }

 private:
  constexpr Decimal(std::int64_t mantissa, int scale) noexcept
      : mantissa_(mantissa), scale_(static_cast<std::int8_t>(scale)) {}

  std::int64_t mantissa_ = 0;
  std::int8_t scale_ = 0;
};

// `Add`, `Subtract`, `Multiply`, `Negate` and `operator<=>` as the class declares them, declared
// again here as a friend declaration cannot carry [[nodiscard]].
[[nodiscard]] std::optional<Decimal> Add(Decimal a, Decimal b) noexcept;
[[nodiscard]] std::optional<Decimal> Subtract(Decimal a, Decimal b) noexcept;
[[nodiscard]] std::optional<Decimal> Multiply(Decimal a, std::int64_t quantity) noexcept;
[[nodiscard]] std::optional<Decimal> Negate(Decimal a) noexcept;
[[nodiscard]] std::strong_ordering operator<=>(Decimal a, Decimal b) noexcept;

}  // namespace kelvane
