// SPDX-License-Identifier: Apache-2.0
// Reading numbers back: the strict reader behind NumberFormatter::Parse().
//
// A text is read as affixes, a number, affixes. An affix is a sign, the money's currency, a
// percent sign or a compact unit, with spaces between them as the user likes; each may appear
// once. The number's grouping is checked against the locale's group positions after its extent
// is known, so a misplaced separator is reported where it stands. Nothing is allocated for
// UTF-16 text; every loop is linear in the text.
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "kelvane/numbers/internal/formatter.h"
#include "kelvane/numbers/internal/powers.h"
#include "kelvane/numbers/internal/text_match.h"
#include "kelvane/numbers/number_format.h"

namespace kelvane {
namespace internal {
namespace {

using Error = NumberParseError;

constexpr std::uint64_t kNegativeLimit = std::uint64_t{1} << 63;

// Characters of Unicode's currency symbol category, the ones another currency is told by.
bool IsCurrencySign(char16_t c) noexcept {
  return c == u'$' || (c >= u'\u00A2' && c <= u'\u00A5') || c == u'\u058F' || c == u'\u060B' ||
         c == u'\u09F2' || c == u'\u09F3' || c == u'\u09FB' || c == u'\u0AF1' || c == u'\u0BF9' ||
         c == u'\u0E3F' || c == u'\u17DB' || (c >= u'\u20A0' && c <= u'\u20C0') || c == u'\uA838' ||
         c == u'\uFDFC' || c == u'\uFE69' || c == u'\uFF04' || c == u'\uFFE0' || c == u'\uFFE1' ||
         c == u'\uFFE5' || c == u'\uFFE6';
}

bool IsAsciiLetter(char16_t c) noexcept {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
bool IsUpper(char16_t c) noexcept { return c >= u'A' && c <= u'Z'; }

struct Failure {
  Error error;
  std::size_t position;
};

// The digits of the number part, as read.
struct Digits {
  std::uint64_t magnitude = 0;
  int scale = 0;
  std::size_t start = 0;  // where the number begins
};

class Reader {
 public:
  Reader(std::u16string_view text, const Vocabulary& words, const DigitSet& digits) noexcept
      : text_(text), words_(words), digits_(digits) {}

  NumberParse Read() noexcept;

 private:
  [[nodiscard]] std::u16string_view Rest(std::size_t at) const noexcept {
    return text_.substr(at, end_ - at);
  }
  void SkipBlank() noexcept {
    while (at_ < end_ && (IsSpace(text_[at_]) || IsDirectionMark(text_[at_]))) ++at_;
  }
  // The digit at `at` and its length; -1 when none.
  int DigitAt(std::size_t at, std::size_t* length) const noexcept {
    return at < end_ ? digits_.Read(Rest(at), length) : -1;
  }
  // The length of a group separator at `at`; 0 when none.
  std::size_t GroupAt(std::size_t at) const noexcept;
  // Reads the affixes at the cursor; false with failure_ set on an error.
  bool ReadAffixes(bool before) noexcept;
  // One affix at the cursor: its length, 0 for none; false with failure_ set on an error.
  bool ReadAffix(bool before, std::size_t* length) noexcept;
  bool ReadNumber() noexcept;
  bool ReadThirtySeconds(std::size_t whole_digits_end) noexcept;
  bool Fail(Error error, std::size_t position) noexcept {
    failure_ = {error, position};
    return false;
  }
  // Appends one digit; false on overflow.
  bool Push(int digit, std::size_t position) noexcept {
    if (digits_read_.magnitude > (kNegativeLimit - static_cast<unsigned>(digit)) / 10) {
      return Fail(Error::kTooManyDigits, position);
    }
    digits_read_.magnitude = digits_read_.magnitude * 10 + static_cast<unsigned>(digit);
    return true;
  }

  std::u16string_view text_;
  const Vocabulary& words_;
  const DigitSet& digits_;
  std::size_t at_ = 0;
  std::size_t end_ = 0;
  Failure failure_{Error::kNone, 0};

  int sign_ = 0;  // -1, +1, or 0 for none
  bool currency_ = false;
  bool percent_ = false;
  int power_ = -1;             // a compact unit's power of ten, -1 for none
  bool blank_before_ = false;  // spaces stood before the affix being read
  bool number_ = false;
  Digits digits_read_;
  // The 32nds: the fraction of a whole in units of the tick.
  std::uint64_t ticks_ = 0;
  bool fractional_ = false;
};

std::size_t Reader::GroupAt(std::size_t at) const noexcept {
  if (at >= end_ || words_.group.empty()) return 0;
  const char16_t c = text_[at];
  if (words_.group == u" ") return IsSpace(c) ? 1 : 0;
  // The typewriter apostrophe for the Swiss one and the other way round.
  if ((words_.group == u"\u2019" && c == u'\'') || (words_.group == u"'" && c == u'\u2019')) {
    return 1;
  }
  return MatchToken(Rest(at), words_.group);
}

bool Reader::ReadAffix(bool before, std::size_t* length) noexcept {
  const std::u16string_view rest = Rest(at_);
  const char16_t c = rest[0];
  *length = 0;
  // A sign: the locale's, or the ASCII one; after the number only where the locale puts it.
  if (before || words_.sign_after) {
    const std::size_t minus = c == u'-' ? 1 : MatchToken(rest, words_.minus);
    const std::size_t plus = minus != 0 ? 0 : c == u'+' ? 1 : MatchToken(rest, words_.plus);
    if (minus != 0 || plus != 0) {
      const int sign = minus != 0 ? -1 : 1;
      if (sign_ != 0) return Fail(Error::kUnexpected, at_);
      sign_ = sign;
      *length = minus + plus;
      return true;
    }
  }
  if (words_.style == NumberStyle::kMoney) {
    std::size_t matched = MatchToken(rest, words_.symbol);
    if (matched == 0 && rest.size() >= 3 && (rest.size() == 3 || !IsAsciiLetter(rest[3]))) {
      matched = MatchToken(rest.substr(0, 3), words_.code, true);
    }
    if (matched != 0) {
      if (currency_) return Fail(Error::kUnexpected, at_);
      currency_ = true;
      *length = matched;
      return true;
    }
  }
  if (words_.style == NumberStyle::kPercent) {
    std::size_t matched = MatchToken(rest, words_.percent);
    if (matched == 0 && c == u'%') matched = 1;
    if (matched != 0) {
      if (percent_) return Fail(Error::kUnexpected, at_);
      percent_ = true;
      *length = matched;
      return true;
    }
  }
  if (words_.style == NumberStyle::kCompact) {
    for (const ParseToken& unit : words_.units) {
      if (unit.before != before) continue;
      const std::size_t matched = MatchToken(rest, unit.text);
      if (matched == 0) continue;
      // The power the text stands for; where the locale has it for two, the space between it
      // and the number tells which.
      const bool spaced =
          before ? at_ + matched < end_ && IsSpace(text_[at_ + matched]) : blank_before_;
      int power = -2;  // -2: none yet
      int spaced_power = -2;
      bool differ = false;
      for (const ParseToken& other : words_.units) {
        if (other.before != before || other.text != unit.text) continue;
        differ = differ || (power != -2 && other.power != power);
        if (power == -2) power = other.power;
        if (other.spaced == spaced) spaced_power = other.power;
      }
      if (differ) power = spaced_power;
      if (power_ >= 0 || power < 0) return Fail(Error::kUnexpected, at_);
      power_ = power;
      *length = matched;
      return true;
    }
  }
  // Another currency: a symbol, three capitals, or letters before a symbol ("US$").
  std::size_t letters = 0;
  while (letters < rest.size() && letters < 3 && IsAsciiLetter(rest[letters])) ++letters;
  const bool code = letters == 3 && IsUpper(rest[0]) && IsUpper(rest[1]) && IsUpper(rest[2]) &&
                    (rest.size() == 3 || !IsAsciiLetter(rest[3]));
  if (IsCurrencySign(c) || code ||
      (letters > 0 && letters < rest.size() && IsCurrencySign(rest[letters]))) {
    return Fail(words_.style == NumberStyle::kMoney ? Error::kWrongCurrency : Error::kUnexpected,
                at_);
  }
  return true;
}

bool Reader::ReadAffixes(bool before) noexcept {
  for (;;) {
    const std::size_t start = at_;
    SkipBlank();
    blank_before_ = at_ != start;
    if (at_ >= end_) return true;
    std::size_t length = 0;
    if (!ReadAffix(before, &length)) return false;
    if (length == 0) return true;
    at_ += length;
  }
}

bool Reader::ReadNumber() noexcept {
  const std::size_t start = at_;
  digits_read_.start = start;
  // First the extent of the whole part: digits, and group separators between digits. A space
  // that is not followed by a digit ends the number; another separator there is out of place.
  std::size_t length = 0;
  std::size_t whole_end = at_;
  int whole_digits = 0;
  std::size_t stray_group = std::u16string_view::npos;
  for (std::size_t at = at_;;) {
    if (DigitAt(at, &length) >= 0) {
      ++whole_digits;
      at += length;
      whole_end = at;
      continue;
    }
    const std::size_t group = GroupAt(at);
    if (group == 0) break;
    if (DigitAt(at + group, &length) < 0) {
      if (!IsSpace(text_[at])) stray_group = at;
      break;
    }
    at += group;
  }
  // Then the separators against the group positions, and the digits into the mantissa.
  int seen = 0;
  for (std::size_t at = start; at < whole_end;) {
    const int digit = DigitAt(at, &length);
    if (digit >= 0) {
      if (!Push(digit, at)) return false;
      ++seen;
      at += length;
      continue;
    }
    const int right = whole_digits - seen;
    const bool placed =
        seen > 0 && words_.primary > 0 &&
        (right == words_.primary || (right > words_.primary && words_.secondary > 0 &&
                                     (right - words_.primary) % words_.secondary == 0));
    if (!placed) return Fail(Error::kMisplacedGrouping, at);
    at += GroupAt(at);
  }
  if (stray_group != std::u16string_view::npos) {
    return Fail(Error::kMisplacedGrouping, stray_group);
  }
  at_ = whole_end;
  if (words_.fraction_parts != 0 && whole_digits > 0 && at_ < end_ && text_[at_] == u'-' &&
      DigitAt(at_ + 1, &length) >= 0) {
    return ReadThirtySeconds(whole_end);
  }
  int fraction_digits = 0;
  const std::size_t point = MatchToken(Rest(at_), words_.decimal);
  if (point != 0) {
    at_ += point;
    for (int digit; (digit = DigitAt(at_, &length)) >= 0; at_ += length) {
      if (++fraction_digits > Decimal::kMaxScale) return Fail(Error::kTooManyDigits, at_);
      if (!Push(digit, at_)) return false;
    }
    const std::size_t group = GroupAt(at_);
    if (group != 0 && !IsSpace(text_[at_]) && DigitAt(at_ + group, &length) >= 0) {
      return Fail(Error::kMisplacedGrouping, at_);
    }
  }
  if (whole_digits == 0 && fraction_digits == 0) return Fail(Error::kMissingDigits, start);
  digits_read_.scale = fraction_digits;
  number_ = true;
  return true;
}

bool Reader::ReadThirtySeconds(std::size_t whole_end) noexcept {
  // "99-16", "99-16+", "99-162": two digits of 32nds, then an eighth of a 32nd where the tick
  // has it ('+' for four).
  const std::size_t parts_at = whole_end + 1;
  std::size_t length = 0;
  std::size_t at = parts_at;
  int thirty_seconds = 0;
  for (int i = 0; i < 2; ++i) {
    const int digit = DigitAt(at, &length);
    if (digit < 0) return Fail(Error::kBadFraction, parts_at);
    thirty_seconds = thirty_seconds * 10 + digit;
    at += length;
  }
  if (thirty_seconds > 31) return Fail(Error::kBadFraction, parts_at);
  int eighths = 0;
  const std::size_t mark_at = at;
  if (at < end_ && text_[at] == u'+') {
    eighths = 4;
    at += 1;
  } else if (const int digit = DigitAt(at, &length); digit >= 0) {
    eighths = digit;
    at += length;
    if (digit > 7) return Fail(Error::kBadFraction, mark_at);
  }
  // The tick in eighths of a 32nd: 8 for 1/32, 4, 2, 1 for 1/256.
  const int step = 256 / words_.fraction_parts;
  if (eighths % step != 0) return Fail(Error::kBadFraction, mark_at);
  ticks_ = static_cast<std::uint64_t>((thirty_seconds * 8 + eighths) / step);
  fractional_ = true;
  number_ = true;
  at_ = at;
  return true;
}

NumberParse Reader::Read() noexcept {
  // Spaces and direction marks around the whole are not part of it.
  std::size_t begin = 0;
  end_ = text_.size();
  while (begin < end_ && (IsSpace(text_[begin]) || IsDirectionMark(text_[begin]))) ++begin;
  while (end_ > begin && (IsSpace(text_[end_ - 1]) || IsDirectionMark(text_[end_ - 1]))) --end_;
  if (begin == end_) return {std::nullopt, Error::kEmpty, 0};
  at_ = begin;
  if (!ReadAffixes(true)) return {std::nullopt, failure_.error, failure_.position};
  if (at_ >= end_) return {std::nullopt, Error::kMissingDigits, at_};
  std::size_t length = 0;
  const bool starts_number = DigitAt(at_, &length) >= 0 ||
                             (MatchToken(Rest(at_), words_.decimal) != 0) ||
                             (GroupAt(at_) != 0 && !IsSpace(text_[at_]));
  if (!starts_number) return {std::nullopt, Error::kUnexpected, at_};
  if (!ReadNumber()) return {std::nullopt, failure_.error, failure_.position};
  if (!ReadAffixes(false)) return {std::nullopt, failure_.error, failure_.position};
  if (at_ < end_) return {std::nullopt, Error::kUnexpected, at_};

  // The value: the digits, or the whole and the 32nds at the tick's scale, by the unit's power.
  std::uint64_t magnitude = digits_read_.magnitude;
  int scale = digits_read_.scale;
  const auto too_many = NumberParse{std::nullopt, Error::kTooManyDigits, digits_read_.start};
  if (fractional_) {
    scale = words_.tick.scale();
    const auto tick = static_cast<std::uint64_t>(words_.tick.mantissa());
    unsigned __int128 total = static_cast<unsigned __int128>(magnitude) * PowerOfTen(scale) +
                              static_cast<unsigned __int128>(ticks_) * tick;
    if (total > kNegativeLimit) return too_many;
    magnitude = static_cast<std::uint64_t>(total);
  }
  if (power_ > 0) {
    if (power_ >= scale) {
      const unsigned __int128 total =
          static_cast<unsigned __int128>(magnitude) * PowerOfTen(power_ - scale);
      if (total > kNegativeLimit) return too_many;
      magnitude = static_cast<std::uint64_t>(total);
      scale = 0;
    } else {
      scale -= power_;
    }
  }
  const std::uint64_t limit =
      sign_ < 0 ? kNegativeLimit
                : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (magnitude > limit) return too_many;
  const std::int64_t mantissa =
      sign_ < 0 ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return {Decimal::Make(mantissa, scale), Error::kNone, 0};
}

}  // namespace

NumberParse ReadNumber(std::u16string_view text, const Vocabulary& vocabulary,
                       const DigitSet& digits) noexcept {
  return Reader(text, vocabulary, digits).Read();
}

NumberParse Formatter::Parse(std::u16string_view text) const noexcept {
  return ReadNumber(text, vocabulary_, digits_);
}

}  // namespace internal

NumberParse NumberFormatter::Parse(std::string_view text) const noexcept {
  // UTF-16 units, each with the byte it began at; a byte that is not UTF-8 becomes U+FFFF,
  // which no number holds, so that it is refused where it stands. Short texts stay on the stack.
  constexpr std::size_t kLocal = 128;
  char16_t local_units[kLocal];
  std::size_t local_starts[kLocal];
  std::u16string heap_units;
  std::vector<std::size_t> heap_starts;
  char16_t* units = local_units;
  std::size_t* starts = local_starts;
  if (text.size() > kLocal) {
    try {
      heap_units.resize(text.size());
      heap_starts.resize(text.size());
    } catch (const std::bad_alloc&) {
      return {std::nullopt, NumberParseError::kTooManyDigits, 0};
    }
    units = heap_units.data();
    starts = heap_starts.data();
  }
  std::size_t count = 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
      length = 1;
      c = lead;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      length = 4;
      c = lead & 0x07;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      c = (c << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8 either.
    if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (length == 4 && (c < 0x10000 || c > 0x10FFFF))) {
      length = 0;
    }
    starts[count] = i;
    if (length == 0) {
      units[count++] = u'\uFFFF';
      i += 1;
    } else if (c >= 0x10000) {
      units[count++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      starts[count] = i;
      units[count++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      i += length;
    } else {
      units[count++] = static_cast<char16_t>(c);
      i += length;
    }
  }
  NumberParse result = Parse(std::u16string_view(units, count));
  if (result.error != NumberParseError::kNone) {
    result.position = result.position < count ? starts[result.position] : text.size();
  }
  return result;
}

}  // namespace kelvane
