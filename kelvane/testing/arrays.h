// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/arrays.h
//
// Test helpers for the raw-item arrays: an array of 32-bit items made from a list of values, and
// the items of an array as a vector, to compare whole.
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

template <typename T>
std::vector<T> Items(const TArray<T>& a) {
  return {a.begin(), a.end()};
}

}  // namespace kelvane::testing
