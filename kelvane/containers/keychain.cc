// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/keychain.h"

#include <new>

namespace kelvane {
namespace {

using platform::ItemAttributes;
using platform::ItemClass;
using platform::ItemQuery;
using platform::ItemStatus;
using platform::SyncMatch;

std::optional<String> Own(OptionalString s) {
  return s ? std::optional<String>(String(*s)) : std::nullopt;
}

ItemQuery PasswordQuery(std::u16string_view name, OptionalString group, SyncMatch sync) {
  ItemQuery query;
  query.item_class = ItemClass::kGenericPassword;
  query.account = String(name);
  query.access_group = Own(group);
  query.synchronizable = sync;
  return query;
}

}  // namespace

bool SKeychain::KeychainSave(OptionalString name, const Data* bytes, bool backup, bool syncCloud,
                             OptionalString accessGroup) noexcept {
  if (!name || name->empty() || bytes == nullptr || bytes->empty()) return false;
  try {
    const std::shared_ptr<platform::ItemStore> store = platform::DefaultItemStore();
    if (store == nullptr) return false;
    const auto accessible = backup || syncCloud
                                ? platform::Accessibility::kWhenUnlocked
                                : platform::Accessibility::kWhenUnlockedThisDeviceOnly;
    const ItemQuery query =
        PasswordQuery(*name, accessGroup, syncCloud ? SyncMatch::kYes : SyncMatch::kNo);
    platform::ItemUpdate update;
    update.accessible = accessible;
    update.value = *bytes;
    if (store->Update(query, update) == ItemStatus::kSuccess) return true;

    // Not there with this synchronizable setting: drop any item of the name and add the new
    // one, as one step of the store, so the old secret survives a failed add or a crash.
    ItemAttributes item;
    item.item_class = ItemClass::kGenericPassword;
    item.account = String(*name);
    item.access_group = Own(accessGroup);
    item.synchronizable = syncCloud;
    item.accessible = accessible;
    item.value = *bytes;
    return store->Replace(PasswordQuery(*name, accessGroup, SyncMatch::kAny), item) ==
           ItemStatus::kSuccess;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::optional<Data> SKeychain::KeychainLoad(OptionalString name,
                                            OptionalString accessGroup) noexcept {
  if (!name || name->empty()) return std::nullopt;
  try {
    const std::shared_ptr<platform::ItemStore> store = platform::DefaultItemStore();
    if (store == nullptr) return std::nullopt;
    ItemAttributes item;
    if (store->CopyMatching(PasswordQuery(*name, accessGroup, SyncMatch::kAny), &item) !=
        ItemStatus::kSuccess) {
      return std::nullopt;
    }
    return std::move(item.value);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool SKeychain::KeychainDelete(OptionalString name, OptionalString accessGroup) noexcept {
  if (!name || name->empty()) return false;
  try {
    const std::shared_ptr<platform::ItemStore> store = platform::DefaultItemStore();
    return store != nullptr && store->Delete(PasswordQuery(*name, accessGroup, SyncMatch::kAny)) ==
                                   ItemStatus::kSuccess;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::optional<ItemAttributes> SKeychain::KeychainCertPropertiesCopy(
    const platform::Certificate* certificate, OptionalString label) noexcept {
  if (certificate == nullptr || !label) return std::nullopt;
  try {
    const std::shared_ptr<platform::ItemStore> store = platform::DefaultItemStore();
    if (store == nullptr) return std::nullopt;
    ItemQuery query;
    query.item_class = ItemClass::kCertificate;
    query.label = String(*label);
    query.synchronizable = SyncMatch::kAny;
    (void)store->Delete(query);  // an earlier certificate under this label

    ItemAttributes item;
    item.item_class = ItemClass::kCertificate;
    item.label = String(*label);
    item.value = certificate->der();
    item.subject = certificate->subject();
    item.issuer = certificate->issuer();
    item.serial_number = certificate->serial_number();
    item.subject_key_id = certificate->subject_key_id();
    item.public_key_hash = certificate->public_key_hash();
    item.certificate_type = certificate->version();
    item.certificate_encoding = 3;  // DER
    if (store->Add(item) != ItemStatus::kSuccess) return std::nullopt;

    ItemAttributes found;
    const ItemStatus copied = store->CopyMatching(query, &found);
    (void)store->Delete(query);  // the certificate does not stay
    if (copied != ItemStatus::kSuccess) return std::nullopt;
    found.value.clear();  // attributes only
    return found;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace kelvane
