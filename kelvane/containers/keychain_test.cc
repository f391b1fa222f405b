// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/keychain.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "kelvane/testing/items.h"

namespace kelvane {
namespace {

using platform::Accessibility;
using platform::ItemAttributes;
using platform::ItemQuery;
using platform::ItemStatus;
using testing::For;

// Counts the calls that reach the store and can be told to refuse the add of a replacement.
class RecordingStore final : public platform::ItemStore {
 public:
  ItemStatus Add(const ItemAttributes& item) noexcept override { return ++calls, inner.Add(item); }
  ItemStatus Update(const ItemQuery& q, const platform::ItemUpdate& u) noexcept override {
    return ++calls, inner.Update(q, u);
  }
  ItemStatus CopyMatching(const ItemQuery& q, ItemAttributes* out) noexcept override {
    return ++calls, inner.CopyMatching(q, out);
  }
  ItemStatus Delete(const ItemQuery& q) noexcept override { return ++calls, inner.Delete(q); }
  ItemStatus Replace(const ItemQuery& q, const ItemAttributes& item) noexcept override {
    return ++calls, fail_adds ? ItemStatus::kIO : inner.Replace(q, item);
  }
  platform::InMemoryItemStore inner;
  int calls = 0;
  bool fail_adds = false;
};

class KeychainTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetDefaultItemStore(store_); }
  void TearDown() override { platform::SetDefaultItemStore(nullptr); }

  std::optional<ItemAttributes> Stored(const String& name) {
    ItemAttributes item;
    if (store_->inner.CopyMatching(For(name), &item) != ItemStatus::kSuccess) return std::nullopt;
    return item;
  }

  std::shared_ptr<RecordingStore> store_ = std::make_shared<RecordingStore>();
};

Data Bytes(std::string_view s) { return Data(s.begin(), s.end()); }

constexpr auto kBackup = Accessibility::kWhenUnlocked;
constexpr auto kDeviceOnly = Accessibility::kWhenUnlockedThisDeviceOnly;

// The password item a save should leave in the store.
ItemAttributes Saved(String name, std::string_view value, std::optional<String> group, bool sync,
                     Accessibility accessible, std::optional<String> label = std::nullopt) {
  ItemAttributes item = testing::Password(std::move(name), std::move(group), sync, value);
  item.accessible = accessible;
  item.label = std::move(label);
  return item;
}

// What loading and then deleting an absent item give.
const std::tuple<std::optional<Data>, bool> kNothing{std::nullopt, false};

TEST_F(KeychainTest, SaveLoadDeleteAndTheirRefusals) {
  const Data secret = Bytes("s3cret");
  EXPECT_EQ((std::tuple{SKeychain::KeychainLoad(u"token", std::nullopt),
                        SKeychain::KeychainDelete(u"token", std::nullopt)}),
            kNothing);
  ASSERT_TRUE(SKeychain::KeychainSave(u"token", &secret, false, false, std::nullopt));
  EXPECT_EQ(SKeychain::KeychainLoad(u"token", std::nullopt), secret);
  EXPECT_EQ(Stored(u"token"), Saved(u"token", "s3cret", std::nullopt, false, kDeviceOnly));

  // Refused before reaching the store.
  const int calls = store_->calls;
  const Data empty;
  EXPECT_EQ(std::tuple(SKeychain::KeychainSave(u"token", &empty, true, false, std::nullopt),
                       SKeychain::KeychainSave(u"token", nullptr, true, false, std::nullopt)),
            std::tuple(false, false));
  for (OptionalString name : {OptionalString(u""), OptionalString()}) {
    EXPECT_EQ((std::tuple{SKeychain::KeychainSave(name, &secret, true, false, std::nullopt),
                          SKeychain::KeychainLoad(name, std::nullopt),
                          SKeychain::KeychainDelete(name, std::nullopt)}),
              std::tuple(false, std::optional<Data>(), false));
  }
  EXPECT_EQ(store_->calls, calls);

  EXPECT_TRUE(KeychainAccess::delete_(u"token", std::nullopt));
  EXPECT_EQ(KeychainAccess::load(u"token", std::nullopt), std::nullopt);
}

TEST_F(KeychainTest, SaveUpdatesInPlaceOrReplacesAcrossTheSyncSetting) {
  const Data one = Bytes("one"), two = Bytes("two"), three = Bytes("three");
  ASSERT_TRUE(KeychainAccess::save(u"k", &one, u"group.a", true, false));
  // An attribute the save does not set survives an update in place.
  const ItemQuery query = For(u"k", platform::SyncMatch::kNo);
  ItemAttributes labelled = *Stored(u"k");
  labelled.label = u"kept";
  ASSERT_EQ(store_->inner.Replace(query, labelled), ItemStatus::kSuccess);
  ASSERT_TRUE(KeychainAccess::save(u"k", &two, u"group.a", false, false));
  EXPECT_EQ(Stored(u"k"), Saved(u"k", "two", u"group.a", false, kDeviceOnly, u"kept"));

  // Switching to synchronizable finds no exact match: the old item gives way to the new one.
  ASSERT_TRUE(KeychainAccess::save(u"k", &three, u"group.a", false, true));
  // syncCloud implies backup.
  EXPECT_EQ(Stored(u"k"), Saved(u"k", "three", u"group.a", true, kBackup));
  ASSERT_EQ(store_->inner.Delete(For(u"k")), ItemStatus::kSuccess);
  EXPECT_EQ(store_->inner.Delete(For(u"k")), ItemStatus::kNotFound);  // exactly one was left
}

// Regression: a save that cannot add its new item must leave the old secret where it was.
TEST_F(KeychainTest, FailedReplacementKeepsTheOldSecret) {
  const Data old_secret = Bytes("old"), new_secret = Bytes("new");
  ASSERT_TRUE(SKeychain::KeychainSave(u"k", &old_secret, false, false, std::nullopt));
  store_->fail_adds = true;
  EXPECT_FALSE(SKeychain::KeychainSave(u"k", &new_secret, false, true, std::nullopt));
  EXPECT_EQ(SKeychain::KeychainLoad(u"k", std::nullopt), old_secret);
}

TEST_F(KeychainTest, CertificatePropertiesLeaveNothingStored) {
  std::ifstream in(std::string(KELVANE_TESTDATA_DIR) + "/certs/test.der", std::ios::binary);
  const Data der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto certificate = platform::Certificate::CreateWithData(der);
  ASSERT_NE(certificate, nullptr);
  EXPECT_FALSE(SKeychain::KeychainCertPropertiesCopy(certificate.get(), std::nullopt));
  EXPECT_FALSE(SKeychain::KeychainCertPropertiesCopy(nullptr, u"label"));

  const auto attributes = SKeychain::KeychainCertPropertiesCopy(certificate.get(), u"server");
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->item_class, platform::ItemClass::kCertificate);
  EXPECT_EQ(attributes->label, u"server");
  EXPECT_EQ(attributes->subject, certificate->subject());
  EXPECT_EQ(attributes->issuer, certificate->issuer());
  EXPECT_EQ(attributes->certificate_type, 3);      // X.509 version 3
  EXPECT_EQ(attributes->certificate_encoding, 3);  // DER
  ItemQuery certificates = For(std::nullopt);
  certificates.item_class = platform::ItemClass::kCertificate;
  EXPECT_EQ(store_->inner.CopyMatching(certificates, nullptr), ItemStatus::kNotFound);
}

}  // namespace
}  // namespace kelvane
