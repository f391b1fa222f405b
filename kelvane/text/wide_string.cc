#include "kelvane/text/wide_string.h"

namespace kelvane::NSTools {

int Compare(const unsigned short* a, const unsigned short* b, unsigned int count) noexcept {
  if (a == nullptr || b == nullptr) return 0;
  if (count != 0) {
    for (unsigned int i = 0; i < count; ++i) {
      if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
    }
    return 0;
  }
  // Whole strings: one walk finds both the first difference and which string ends first.
  for (unsigned int i = 0;; ++i) {
    if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;  // a terminator sorts below every unit
    if (a[i] == 0) return 0;
  }
}

}  // namespace kelvane::NSTools
