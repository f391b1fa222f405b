#include "kelvane/platform/store/item_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kelvane/testing/items.h"
#include "kelvane/testing/scoped_environment.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::platform {

using testing::For;
using testing::Password;

// The rules every store follows, run here on the in-memory store; sqlite_item_store_test.cc
// runs the same function on the file store.
void CheckStoreRules(ItemStore& store);  // also used by sqlite_item_store_test.cc
void CheckStoreRules(ItemStore& store) {
  // Identity: class, account, group, synchronizable.
  EXPECT_EQ(store.Add(Password(u"a")), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(Password(u"a")), ItemStatus::kDuplicate);
  EXPECT_EQ(store.Add(Password(u"a", u"")), ItemStatus::kDuplicate);  // the empty group is none
  EXPECT_EQ(store.Add(Password(u"a", u"g")), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(Password(u"a", std::nullopt, true)), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(Password(u"")), ItemStatus::kBadParameter);
  ItemAttributes bare_certificate;
  bare_certificate.item_class = ItemClass::kCertificate;
  EXPECT_EQ(store.Add(bare_certificate), ItemStatus::kBadParameter);

  // Synchronizable matches exactly unless the query says any; the group only when given.
  ItemUpdate update;
  update.value = Data{1};
  EXPECT_EQ(store.Update(For(u"a", SyncMatch::kYes, u"g"), update), ItemStatus::kNotFound);
  EXPECT_EQ(store.Update(For(u"a", SyncMatch::kYes), update), ItemStatus::kSuccess);
  ItemAttributes out;
  ASSERT_EQ(store.CopyMatching(For(u"a", SyncMatch::kYes), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data{1});
  EXPECT_TRUE(out.synchronizable);
  ASSERT_EQ(store.CopyMatching(For(u"a", SyncMatch::kNo, u"g"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data{'v'});
  EXPECT_EQ(out.access_group, u"g");
  ASSERT_EQ(store.CopyMatching(For(u"a", SyncMatch::kAny), &out), ItemStatus::kSuccess);
  EXPECT_FALSE(out.access_group);  // the first added comes first
  EXPECT_EQ(store.CopyMatching(For(u"b"), nullptr), ItemStatus::kNotFound);
  // Stored with the empty group, an item reads back with none, from every store alike.
  ASSERT_EQ(store.Add(Password(u"e", u"")), ItemStatus::kSuccess);
  ASSERT_EQ(store.CopyMatching(For(u"e"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.access_group, std::nullopt);

  // Update changes only what it names, on every match.
  ItemUpdate access;
  access.accessible = Accessibility::kWhenUnlockedThisDeviceOnly;
  EXPECT_EQ(store.Update(For(u"a", SyncMatch::kNo), access), ItemStatus::kSuccess);
  ASSERT_EQ(store.CopyMatching(For(u"a", SyncMatch::kNo, u"g"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.accessible, Accessibility::kWhenUnlockedThisDeviceOnly);
  EXPECT_EQ(out.value, Data{'v'});

  // Replace is all or nothing: a refused add puts back what was removed.
  EXPECT_EQ(store.Add(Password(u"b")), ItemStatus::kSuccess);
  EXPECT_EQ(store.Replace(For(u"a"), Password(u"b")), ItemStatus::kDuplicate);
  EXPECT_EQ(store.CopyMatching(For(u"a", SyncMatch::kYes), nullptr), ItemStatus::kSuccess);
  EXPECT_EQ(store.Replace(For(u"a"), Password(u"a", std::nullopt, false, "new")),
            ItemStatus::kSuccess);
  ASSERT_EQ(store.CopyMatching(For(u"a"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data({'n', 'e', 'w'}));
  EXPECT_EQ(store.CopyMatching(For(u"a", SyncMatch::kYes), nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(store.Replace(For(u"nothing"), Password(u"c")), ItemStatus::kSuccess);

  // Delete removes every match, then reports not found.
  EXPECT_EQ(store.Delete(For(std::nullopt)), ItemStatus::kSuccess);
  EXPECT_EQ(store.Delete(For(std::nullopt)), ItemStatus::kNotFound);
  EXPECT_EQ(store.CopyMatching(For(u"b"), nullptr), ItemStatus::kNotFound);

  // Certificates are told apart by issuer and serial number, found by label.
  ItemAttributes certificate;
  certificate.item_class = ItemClass::kCertificate;
  certificate.label = u"L";
  certificate.issuer = Data{1, 2};
  certificate.serial_number = Data{3};
  EXPECT_EQ(store.Add(certificate), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(certificate), ItemStatus::kDuplicate);
  ItemQuery by_label;
  by_label.item_class = ItemClass::kCertificate;
  by_label.label = u"L";
  by_label.synchronizable = SyncMatch::kAny;
  ASSERT_EQ(store.CopyMatching(by_label, &out), ItemStatus::kSuccess);
  EXPECT_EQ(out, certificate);
  by_label.label = u"M";
  EXPECT_EQ(store.CopyMatching(by_label, nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(store.CopyMatching(For(std::nullopt), nullptr), ItemStatus::kNotFound);
}

namespace {

TEST(InMemoryItemStore, FollowsTheStoreRules) {
  InMemoryItemStore store;
  CheckStoreRules(store);
}

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
