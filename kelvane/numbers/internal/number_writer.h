// SPDX-License-Identifier: Apache-2.0
// kelvane/numbers/internal/number_writer.h
//
// The allocation-free core of the number formatter: a bounded output over the caller's buffer,
// the digits of a locale's numbering system, and one number written with its separators and
// grouping. Everything here is prepared once when a formatter is made and only read afterwards,
// so any thread may use it. Not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace kelvane::internal {

// Text written into a caller's buffer from its front. Writing past the end writes nothing more
// and marks the whole as failed, so a caller checks once, at the end.
class Output {
 public:
  explicit Output(std::span<char16_t> out) noexcept
      : begin_(out.data()), next_(out.data()), end_(out.data() + out.size()) {}

  void Put(char16_t unit) noexcept {
    if (next_ == end_) {
      failed_ = true;
      return;
    }
    *next_++ = unit;
  }
  void Put(std::u16string_view text) noexcept {
    if (static_cast<std::size_t>(end_ - next_) < text.size()) {
      failed_ = true;
      return;
    }
    if (!text.empty()) std::memcpy(next_, text.data(), text.size() * sizeof(char16_t));
    next_ += text.size();
  }

  // The units written, or 0 when anything did not fit.
  [[nodiscard]] std::size_t Finish() const noexcept {
    return failed_ ? 0 : static_cast<std::size_t>(next_ - begin_);
  }

 private:
  char16_t* begin_;
  char16_t* next_;
  char16_t* end_;
  bool failed_ = false;
};

// The ten digits of a numbering system. Most systems are ten consecutive units from their zero
// (ASCII, Arabic-Indic, Devanagari, Bengali, Thai), which are written by addition; others by copy.
class DigitSet {
 public:
  DigitSet() = default;
  explicit DigitSet(const std::u16string (&digits)[10]);

  // True when every digit is one or two units (a supplementary character).
  [[nodiscard]] bool valid() const noexcept { return valid_; }
  // True for ASCII digits.
  [[nodiscard]] bool ascii() const noexcept { return zero_ == u'0'; }

  void Put(Output& out, int digit) const noexcept {
    if (zero_ != 0) {
      out.Put(static_cast<char16_t>(zero_ + digit));
    } else {
      out.Put(std::u16string_view(digits_[digit], length_[digit]));
    }
  }

  // The value of the digit that starts `text` (ASCII digits count as well) and its length in
  // units; -1 when none does.
  [[nodiscard]] int Read(std::u16string_view text, std::size_t* length) const noexcept;

  // The longest digit in units (1 or 2).
  [[nodiscard]] int width() const noexcept { return width_; }

 private:
  char16_t zero_ = u'0';  // 0 when the digits are not consecutive single units
  char16_t digits_[10][2] = {};
  std::uint8_t length_[10] = {};
  int width_ = 1;
  bool valid_ = true;
};

// How the digits of one style are laid out.
struct Layout {
  std::u16string decimal;  // the decimal separator
  std::u16string group;    // the group separator
  int primary = 3;         // digits in the group next to the point; 0: no grouping
  int secondary = 3;       // digits in the groups further left
  int minimum = 1;         // digits the number needs above its first group to be grouped at all
  bool grouping = true;    // false: never grouped

  // Whether the integer part of `integer_digits` digits is grouped.
  [[nodiscard]] bool Grouped(int integer_digits) const noexcept {
    return grouping && primary > 0 && integer_digits - primary >= minimum;
  }
  // Whether a separator stands where `right` integer digits are to its right, in a grouped
  // number. REQUIRES: right > 0.
  [[nodiscard]] bool GroupAt(int right) const noexcept {
    if (right < primary) return false;
    return right == primary || (secondary > 0 && (right - primary) % secondary == 0);
  }
};

// Writes |mantissa| x 10^-scale with `shown` fraction digits (zeros appended past the scale) in
// the layout's separators and grouping. A value below one gets a zero before the point.
// REQUIRES: 0 <= scale <= shown <= 18.
void WriteNumber(Output& out, std::uint64_t magnitude, int scale, int shown, const Layout& layout,
                 const DigitSet& digits) noexcept;

// Writes the whole number `magnitude` grouped as the layout says.
void WriteInteger(Output& out, std::uint64_t magnitude, const Layout& layout,
                  const DigitSet& digits) noexcept;

// The number of decimal digits of `magnitude` (1 for 0).
[[nodiscard]] int DigitCount(std::uint64_t magnitude) noexcept;

}  // namespace kelvane::internal
