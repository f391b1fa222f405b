// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/graphics/internal/pixel_memory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace kelvane::platform::internal {
namespace {

using Clear = PixelMemoryPool::Clear;
constexpr std::size_t kPage = 4096;

std::vector<std::uint8_t> Bytes(const PixelMemoryPool::Block& block) {
  const auto* p = static_cast<const std::uint8_t*>(block.data);
  return {p, p + block.capacity};
}

TEST(PixelMemoryPool, KeepsWithinItsBoundsAndHandsKeptBlocksOutCleared) {
  PixelMemoryPool pool(4 * kPage, 2, std::chrono::seconds(2));
  const PixelMemoryPool::Block a = pool.Take(3 * kPage - 5, Clear::kZero);
  ASSERT_NE(a.data, nullptr);
  EXPECT_EQ(a.capacity, 3 * kPage);
  std::memset(a.data, 0xAB, a.capacity);
  pool.Give(a);
  // The kept block comes back for the same size, without the earlier picture.
  const PixelMemoryPool::Block b = pool.Take(3 * kPage, Clear::kZero);
  EXPECT_EQ(b.data, a.data);
  EXPECT_THAT(Bytes(b), ::testing::Each(0));
  pool.Give(b);
  // A call for less than half of a kept block lets it go.
  const PixelMemoryPool::Block c = pool.Take(kPage, Clear::kNone);
  EXPECT_EQ(pool.KeptCount(), 0u);
  // A block past the budget alone is not kept; the oldest make room for newer ones.
  pool.Give(pool.Take(5 * kPage, Clear::kNone));
  EXPECT_EQ(pool.KeptCount(), 0u);
  const PixelMemoryPool::Block d = pool.Take(2 * kPage, Clear::kNone);
  const PixelMemoryPool::Block e = pool.Take(kPage, Clear::kNone);
  pool.Give(c);
  pool.Give(d);
  pool.Give(e);  // the third block: c goes
  EXPECT_EQ(pool.KeptBytes(), 3 * kPage);
  pool.Give(pool.Take(3 * kPage, Clear::kNone));  // past the bytes: the 2-page block goes
  EXPECT_EQ(pool.KeptCount(), 2u);
  EXPECT_EQ(pool.KeptBytes(), 4 * kPage);
  EXPECT_EQ(pool.Take(0, Clear::kZero).data, nullptr);
  // Blocks unused for the idle time go back to the system, younger ones stay.
  PixelMemoryPool quick(4 * kPage, 2, std::chrono::milliseconds(1));
  quick.Give(quick.Take(kPage, Clear::kNone));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  quick.ReleaseIdle();
  EXPECT_EQ(quick.KeptCount(), 0u);
  pool.ReleaseIdle();
  EXPECT_EQ(pool.KeptCount(), 2u);
}

}  // namespace
}  // namespace kelvane::platform::internal
