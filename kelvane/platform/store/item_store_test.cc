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

}  // namespace
}  // namespace kelvane::platform

namespace kelvane::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(InMemory, ItemStoreRules, platform::InMemoryStoreMaker);
}  // namespace kelvane::testing
