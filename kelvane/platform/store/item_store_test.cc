// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/item_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kelvane/testing/item_store_rules.h"
#include "kelvane/testing/items.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {

namespace {

struct InMemoryStoreMaker {
  static std::shared_ptr<ItemStore> Make(const testing::TempDir&) {
    return std::make_shared<InMemoryItemStore>();
  }
};

TEST(DefaultItemStore, IsTheApplicationsChoiceElseTheFileStore) {
  auto memory = std::make_shared<InMemoryItemStore>();
  SetDefaultItemStore(memory);
  EXPECT_EQ(DefaultItemStore(), memory);
  SetDefaultItemStore(nullptr);

  testing::TempDir dir;
  const std::string path = dir.File("sub/dir/keychain.db");
  testing::ScopedEnvironment env({{"KELVANE_KEYCHAIN", path.c_str()}});
  auto store = DefaultItemStore();
  ASSERT_NE(store, nullptr);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(DefaultItemStore(), store);  // opened once, then kept
}

// The in-memory store keeps the file store's limits, so that code tested against it meets them.
TEST(InMemoryItemStore, RefusesWhatIsOverTheLimitsAndKeepsWhatItHeld) {
  using testing::For;
  using testing::Password;
  InMemoryItemStore store;
  ASSERT_EQ(store.Add(Password(u"a", std::nullopt, false, std::string(kMaxItemValueBytes, 'x'))),
            ItemStatus::kSuccess);
  const std::string over(kMaxItemValueBytes + 1, 'y');
  const String long_name(kMaxItemAttributeBytes / sizeof(char16_t) + 1, u'n');
  EXPECT_EQ(store.Add(Password(u"b", std::nullopt, false, over)), ItemStatus::kTooLarge);
  EXPECT_EQ(store.Add(Password(long_name)), ItemStatus::kTooLarge);
  EXPECT_EQ(store.Replace(For(u"a"), Password(u"a", std::nullopt, false, over)),
            ItemStatus::kTooLarge);
  ItemUpdate update;
  update.value = Data(over.begin(), over.end());
  EXPECT_EQ(store.Update(For(u"a"), update), ItemStatus::kTooLarge);
  EXPECT_EQ(store.Delete(For(long_name)), ItemStatus::kTooLarge);
  ItemAttributes out;
  ASSERT_EQ(store.CopyMatching(For(u"a"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data(kMaxItemValueBytes, 'x'));
}

}  // namespace
}  // namespace kelvane::platform

namespace kelvane::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(InMemory, ItemStoreRules, platform::InMemoryStoreMaker);
}  // namespace kelvane::testing
