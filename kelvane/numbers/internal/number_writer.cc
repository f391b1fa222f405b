// SPDX-License-Identifier: Apache-2.0
#include "kelvane/numbers/internal/number_writer.h"

#include "kelvane/numbers/internal/powers.h"

namespace kelvane::internal {
namespace {

// The digits of `magnitude`, least significant first; the count.
int Reverse(std::uint64_t magnitude, char (&reversed)[20]) noexcept {
  int count = 0;
  do {
    reversed[count++] = static_cast<char>(magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  return count;
}

// The integer digits: reversed[scale .. count), at least one.
void WriteWhole(Output& out, const char (&reversed)[20], int count, int scale, const Layout& layout,
                const DigitSet& digits) noexcept {
  const int whole = count > scale ? count - scale : 1;
  const bool grouped = layout.Grouped(whole);
  for (int right = whole - 1; right >= 0; --right) {
    const int place = right + scale;
    digits.Put(out, place < count ? reversed[place] : 0);
    if (grouped && right > 0 && layout.GroupAt(right)) out.Put(layout.group);
  }
}

}  // namespace

DigitSet::DigitSet(const std::u16string (&digits)[10]) {
  bool consecutive = true;
  for (int d = 0; d < 10; ++d) {
    const std::u16string& digit = digits[d];
    if (digit.empty() || digit.size() > 2) {
      valid_ = false;
      zero_ = u'0';
      return;
    }
    length_[d] = static_cast<std::uint8_t>(digit.size());
    digits_[d][0] = digit[0];
    if (digit.size() == 2) {
      digits_[d][1] = digit[1];
      width_ = 2;
    }
    consecutive = consecutive && digit.size() == 1 && digit[0] == digits[0][0] + d;
  }
  zero_ = consecutive ? digits[0][0] : char16_t{0};
}

int DigitSet::Read(std::u16string_view text, std::size_t* length) const noexcept {
  if (text.empty()) return -1;
  const char16_t c = text[0];
  *length = 1;
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (zero_ != 0) {
    return c >= zero_ && c <= zero_ + 9 ? c - zero_ : -1;
  }
  for (int d = 0; d < 10; ++d) {
    const std::u16string_view digit(digits_[d], length_[d]);
    if (text.substr(0, digit.size()) == digit) {
      *length = digit.size();
      return d;
    }
  }
  return -1;
}

void WriteNumber(Output& out, std::uint64_t magnitude, int scale, int shown, const Layout& layout,
                 const DigitSet& digits) noexcept {
  char reversed[20];
  const int count = Reverse(magnitude, reversed);
  WriteWhole(out, reversed, count, scale, layout, digits);
  if (shown == 0) return;
  out.Put(layout.decimal);
  for (int place = scale - 1; place >= 0; --place) {
    digits.Put(out, place < count ? reversed[place] : 0);
  }
  for (int zeros = shown - scale; zeros > 0; --zeros) digits.Put(out, 0);
}

void WriteInteger(Output& out, std::uint64_t magnitude, const Layout& layout,
                  const DigitSet& digits) noexcept {
  char reversed[20];
  const int count = Reverse(magnitude, reversed);
  WriteWhole(out, reversed, count, 0, layout, digits);
}

int DigitCount(std::uint64_t magnitude) noexcept {
  int count = 1;
  while (count < 20 && magnitude >= PowerOfTen(count)) ++count;
  return count;
}

}  // namespace kelvane::internal
