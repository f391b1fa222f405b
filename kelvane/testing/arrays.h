// kelvane/testing/arrays.h
//
// Test helper for the raw-item arrays: an array of 32-bit items made from a list of values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kelvane/containers/storage.h"

namespace kelvane::testing {

inline TArray<std::uint32_t> Ints(const std::vector<std::uint32_t>& values) {
  TArray<std::uint32_t> a;
  for (std::uint32_t v : values) EXPECT_TRUE(a.Add(v));
  return a;
}

}  // namespace kelvane::testing
