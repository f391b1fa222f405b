// SPDX-License-Identifier: Apache-2.0
// Decimal text on arbitrary bytes. Whatever parses prints back, within kMaxChars, to text that
// parses to the same mantissa and scale.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "kelvane/numbers/decimal.h"

using kelvane::Decimal;
using kelvane::fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto decimal = Decimal::FromString(text);
  if (!decimal) return 0;
  Check(decimal->scale() >= 0);
  Check(decimal->scale() <= Decimal::kMaxScale);

  const std::string printed = decimal->ToString();
  Check(printed.size() <= Decimal::kMaxChars);
  const auto again = Decimal::FromString(printed);
  Check(again.has_value());
  Check(again->Identical(*decimal));

  // Without its trailing zeros the value is equal, though no longer identical.
  Check(decimal->Trimmed() == *decimal);
  // A value that fits in the printed width fits there exactly, and no narrower.
  char buffer[Decimal::kMaxChars];
  Check(decimal->ToChars(buffer, buffer + printed.size()) == buffer + printed.size());
  Check(decimal->ToChars(buffer, buffer + printed.size() - 1) == nullptr);
  Check(std::string_view(buffer, printed.size()) == printed);
  return 0;
}
