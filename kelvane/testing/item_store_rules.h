// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/item_store_rules.h
//
// The rules every secure item store follows, as a typed test suite. A store's test file names a
// maker (a type with `static std::shared_ptr<platform::ItemStore> Make(const TempDir&)`) and
// instantiates the suite with it:
//   INSTANTIATE_TYPED_TEST_SUITE_P(InMemory, ItemStoreRules, InMemoryStoreMaker);
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "kelvane/platform/store/item_store.h"
#include "kelvane/testing/items.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane::testing {

template <typename Maker>
class ItemStoreRules : public ::testing::Test {
 protected:
  // A store that could not be made stops the test before its body runs.
  void SetUp() override { ASSERT_NE(store_, nullptr); }

  TempDir dir_;
  std::shared_ptr<platform::ItemStore> store_ = Maker::Make(dir_);
};

TYPED_TEST_SUITE_P(ItemStoreRules);

// Identity is class, account, group and synchronizable; synchronizable matches exactly unless
// the query says any, the group only when given; Update changes only what it names.
TYPED_TEST_P(ItemStoreRules, IdentityAndMatching) {
  using namespace platform;
  ItemStore& store = *this->store_;
  EXPECT_EQ(store.Add(Password(u"a")), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(Password(u"a")), ItemStatus::kDuplicate);
  EXPECT_EQ(store.Add(Password(u"a", u"")), ItemStatus::kDuplicate);  // the empty group is none
  EXPECT_EQ(store.Add(Password(u"a", u"g")), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(Password(u"a", std::nullopt, true)), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(Password(u"")), ItemStatus::kBadParameter);
  ItemAttributes bare_certificate;
  bare_certificate.item_class = ItemClass::kCertificate;
  EXPECT_EQ(store.Add(bare_certificate), ItemStatus::kBadParameter);

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

  ItemUpdate access;
  access.accessible = Accessibility::kWhenUnlockedThisDeviceOnly;
  EXPECT_EQ(store.Update(For(u"a", SyncMatch::kNo), access), ItemStatus::kSuccess);
  ASSERT_EQ(store.CopyMatching(For(u"a", SyncMatch::kNo, u"g"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.accessible, Accessibility::kWhenUnlockedThisDeviceOnly);
  EXPECT_EQ(out.value, Data{'v'});
}

// Replace is all or nothing: a refused add puts back what was removed. Delete removes every
// match, then reports not found.
TYPED_TEST_P(ItemStoreRules, ReplaceIsAllOrNothingAndDeleteTakesEveryMatch) {
  using namespace platform;
  ItemStore& store = *this->store_;
  ASSERT_EQ(store.Add(Password(u"a")), ItemStatus::kSuccess);
  ASSERT_EQ(store.Add(Password(u"a", std::nullopt, true)), ItemStatus::kSuccess);
  ASSERT_EQ(store.Add(Password(u"b")), ItemStatus::kSuccess);
  EXPECT_EQ(store.Replace(For(u"a"), Password(u"b")), ItemStatus::kDuplicate);
  EXPECT_EQ(store.CopyMatching(For(u"a", SyncMatch::kYes), nullptr), ItemStatus::kSuccess);
  EXPECT_EQ(store.Replace(For(u"a"), Password(u"a", std::nullopt, false, "new")),
            ItemStatus::kSuccess);
  ItemAttributes out;
  ASSERT_EQ(store.CopyMatching(For(u"a"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data({'n', 'e', 'w'}));
  EXPECT_EQ(store.CopyMatching(For(u"a", SyncMatch::kYes), nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(store.Replace(For(u"nothing"), Password(u"c")), ItemStatus::kSuccess);

  EXPECT_EQ(store.Delete(For(std::nullopt)), ItemStatus::kSuccess);
  EXPECT_EQ(store.Delete(For(std::nullopt)), ItemStatus::kNotFound);
  EXPECT_EQ(store.CopyMatching(For(u"b"), nullptr), ItemStatus::kNotFound);
}

// Certificates are told apart by issuer and serial number, found by label.
TYPED_TEST_P(ItemStoreRules, CertificatesByIssuerAndSerialFoundByLabel) {
  using namespace platform;
  ItemStore& store = *this->store_;
  ItemAttributes certificate;
  certificate.item_class = ItemClass::kCertificate;
  certificate.label = u"L";
  certificate.issuer = Data{1, 2};
  certificate.serial_number = Data{3};
  EXPECT_EQ(store.Add(certificate), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(certificate), ItemStatus::kDuplicate);
  // Another serial number from the same issuer is another certificate, and so is another issuer.
  ItemAttributes other_serial = certificate, other_issuer = certificate;
  other_serial.label = other_issuer.label = u"N";
  other_serial.serial_number = Data{4};
  other_issuer.issuer = Data{1, 3};
  EXPECT_EQ(store.Add(other_serial), ItemStatus::kSuccess);
  EXPECT_EQ(store.Add(other_issuer), ItemStatus::kSuccess);
  ItemQuery by_label;
  by_label.item_class = ItemClass::kCertificate;
  by_label.label = u"L";
  by_label.synchronizable = SyncMatch::kAny;
  ItemAttributes out;
  ASSERT_EQ(store.CopyMatching(by_label, &out), ItemStatus::kSuccess);
  EXPECT_EQ(out, certificate);
  by_label.label = u"M";
  EXPECT_EQ(store.CopyMatching(by_label, nullptr), ItemStatus::kNotFound);
  EXPECT_EQ(store.CopyMatching(For(std::nullopt), nullptr), ItemStatus::kNotFound);
}

// Every store keeps the file store's limits, so that code tested against any store meets them:
// a value over kMaxItemValueBytes or a name over kMaxItemAttributeBytes is refused by each call,
// the largest value is kept whole, and a refusal changes nothing.
TYPED_TEST_P(ItemStoreRules, RefusesWhatIsOverTheLimitsAndKeepsWhatItHeld) {
  using namespace platform;
  ItemStore& store = *this->store_;
  const std::string largest(kMaxItemValueBytes, 'x');
  ASSERT_EQ(store.Add(Password(u"a", std::nullopt, false, largest)), ItemStatus::kSuccess);
  const std::string over(kMaxItemValueBytes + 1, 'y');
  const String long_name(kMaxItemAttributeBytes / sizeof(char16_t) + 1, u'n');
  EXPECT_EQ(store.Add(Password(u"b", std::nullopt, false, over)), ItemStatus::kTooLarge);
  EXPECT_EQ(store.Add(Password(long_name)), ItemStatus::kTooLarge);
  EXPECT_EQ(store.Replace(For(u"a"), Password(u"a", std::nullopt, false, over)),
            ItemStatus::kTooLarge);
  ItemUpdate update;
  update.value = Data(over.begin(), over.end());
  EXPECT_EQ(store.Update(For(u"a"), update), ItemStatus::kTooLarge);
  EXPECT_EQ(store.CopyMatching(For(long_name), nullptr), ItemStatus::kTooLarge);
  EXPECT_EQ(store.Delete(For(long_name)), ItemStatus::kTooLarge);
  ItemAttributes out;
  ASSERT_EQ(store.CopyMatching(For(u"a"), &out), ItemStatus::kSuccess);
  EXPECT_EQ(out.value, Data(largest.begin(), largest.end()));
  EXPECT_EQ(store.CopyMatching(For(u"b"), nullptr), ItemStatus::kNotFound);
}

REGISTER_TYPED_TEST_SUITE_P(ItemStoreRules, IdentityAndMatching,
                            ReplaceIsAllOrNothingAndDeleteTakesEveryMatch,
                            CertificatesByIssuerAndSerialFoundByLabel,
                            RefusesWhatIsOverTheLimitsAndKeepsWhatItHeld);

}  // namespace kelvane::testing
