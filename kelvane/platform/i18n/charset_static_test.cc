// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <new>

#include "kelvane/platform/i18n/internal/static_set.h"

namespace kelvane::platform {
namespace {

TEST(StaticCharacterSet, OutOfMemoryGivesTheEmptySetAndTriesAgain) {
  std::atomic<const CharacterSet*> slot{nullptr};
  const CharacterSet& failed =
      internal::StaticCharacterSet(slot, []() -> CharacterSet { throw std::bad_alloc(); });
  EXPECT_EQ(failed.Size(), 0u);
  EXPECT_EQ(&internal::StaticCharacterSet(slot, [] { return CharacterSet(); }), &failed);
  EXPECT_EQ(slot.load(), nullptr);
  const CharacterSet& made =
      internal::StaticCharacterSet(slot, [] { return CharacterSet::FromRange(U'a', U'c'); });
  EXPECT_EQ(made.Size(), 3u);
  EXPECT_EQ(&internal::StaticCharacterSet(slot, []() -> CharacterSet { throw std::bad_alloc(); }),
            &made);  // made once: kept
  delete slot.load();
}

}  // namespace
}  // namespace kelvane::platform
