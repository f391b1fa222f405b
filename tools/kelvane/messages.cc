// SPDX-License-Identifier: Apache-2.0
#include "tools/kelvane/messages.h"

#include <algorithm>
#include <cstdio>

namespace kelvane::cli {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` and its code point, or 0
// when the bytes there are not one (overlong forms and surrogates included).
std::size_t DecodeOne(std::string_view text, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void AppendHex(std::string& out, const char* form, unsigned value) {
  char text[12];
  std::snprintf(text, sizeof text, form, value);
  out += text;
}

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

// Damerau-Levenshtein distance, neighbours swapped counting as one edit ("imge" and "image" are
// one apart, "resise" and "resize" too).
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t code = 0;
    const std::size_t length = DecodeOne(text, code);
    if (length == 0) {
      AppendHex(out, "\\x%02X", static_cast<unsigned char>(text.front()));
      text.remove_prefix(1);
      continue;
    }
    if (code == '\t') {
      out += "\\t";
    } else if (code == '\n') {
      out += "\\n";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code == 0x1B) {
      out += "\\e";
    } else if (code < 0x20 || code == 0x7F) {
      AppendHex(out, "\\x%02X", static_cast<unsigned>(code));
    } else if (code >= 0x80 && code <= 0x9F) {
      // Some terminals read U+009B as the one-byte form of ESC [.
      AppendHex(out, "\\u%04X", static_cast<unsigned>(code));
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  while (!text.empty()) {
    char32_t code = 0;
    const std::size_t length = DecodeOne(text, code);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string Reason(std::string_view text) {
  std::string reason(text);
  if (reason.empty() || !IsUpper(reason[0])) return reason;
  // "PNG", "JPEG", "IN", "UTF-8": a second capital in the first word keeps the word as it is.
  if (reason.size() > 1 && (IsUpper(reason[1]) || reason[1] == '-')) return reason;
  reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  return reason;
}

bool NamesWhat(std::string_view message) {
  const std::size_t colon = message.find(": ");
  if (colon == 0 || colon == std::string_view::npos) return false;
  return message.substr(0, colon).find(' ') == std::string_view::npos;
}

std::optional<std::string> NearestSpelling(std::string_view word,
                                           const std::vector<std::string>& candidates) {
  std::optional<std::string> best;
  std::size_t best_distance = 3;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(word, candidate);
    if (distance < best_distance && 2 * distance < word.size()) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

std::string ShownSize(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  const char* const units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1000;
  std::size_t unit = 0;
  // 999.95 KB would print as "1000.0 KB": it is 1.0 MB.
  while (value >= 999.95 && unit + 1 < std::size(units)) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

}  // namespace kelvane::cli
