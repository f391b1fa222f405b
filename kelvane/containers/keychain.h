// SPDX-License-Identifier: Apache-2.0
// kelvane/containers/keychain.h
//
// Small secrets of the application (bytes under a name) in the secure item store, and the
// attributes of a certificate read through it. A secret is a generic-password item whose
// account is its name, optionally in an access group shared by applications of one maker.
//
// The store is platform::DefaultItemStore(): a file store of the user's unless the application
// chose another (platform::SetDefaultItemStore). The file store is two files: the database at
// platform::SqliteItemStore::DefaultPath() (keychain.db) and its key beside it
// (keychain.db.key). Once a save or delete returns, those two hold it, so a copy of both taken
// between writes is a whole backup (platform/store/sqlite_item_store.h says more).
//
// The backup flag decides whether an item may leave the device in a backup (an attribute the
// store keeps; it does not stop a copy of the files); syncCloud marks it synchronizable and
// implies the backup accessibility. Loading and deleting match synchronizable and other items
// alike; an absent access group matches any group.
//
// Failures are results: false or std::nullopt. These functions do not say which store status
// caused one; the reason is had from the layer below: platform::TryDefaultItemStore() tells why
// the store cannot be opened, and the store's own operations (platform::ItemStore::Replace,
// Update, CopyMatching, Delete on platform::DefaultItemStore()) return the ItemStatus.
// Threads: any thread; the store serialises the operations.
#pragma once

#include <optional>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/crypto/certificate.h"
#include "kelvane/platform/store/item_store.h"

namespace kelvane {

// The keychain operations: secrets under a name, and the attributes of a certificate.
class KELVANE_EXPORT SKeychain {
 public:
  SKeychain() = delete;

  // Stores `bytes` under `name`, replacing an earlier secret of that name (with either
  // synchronizable setting) in one step: a failure or a crash leaves the earlier secret in
  // place. false, without touching the store, for a name that is std::nullopt or empty or bytes
  // that are null or empty; false also when platform::TryDefaultItemStore() has no store (it
  // gives the reason) or the store refuses the replacement (platform::ItemStore::Replace gives
  // the ItemStatus).
  [[nodiscard]] static bool KeychainSave(OptionalString name, const Data* bytes, bool backup,
                                         bool syncCloud, OptionalString accessGroup) noexcept;

  // The secret stored under `name`; std::nullopt when there is none, the name is std::nullopt
  // or empty, or its value no longer verifies, and when platform::TryDefaultItemStore() has no
  // store (it gives the reason; platform::ItemStore::CopyMatching gives the ItemStatus of a
  // lookup).
  [[nodiscard]] static std::optional<Data> KeychainLoad(OptionalString name,
                                                        OptionalString accessGroup) noexcept;

  // Removes the secret(s) under `name`; false when there was none or the name is std::nullopt
  // or empty, and when platform::TryDefaultItemStore() has no store (it gives the reason;
  // platform::ItemStore::Delete gives the ItemStatus of a removal).
  [[nodiscard]] static bool KeychainDelete(OptionalString name,
                                           OptionalString accessGroup) noexcept;

  // The attributes the store records for `certificate` under `label` (label, subject and
  // issuer, serial number, subject key identifier, public key hash, type and encoding). The
  // certificate is added for the reading and removed again, together with any earlier
  // certificate stored under that label. std::nullopt for a null certificate or a label that is
  // std::nullopt, when platform::TryDefaultItemStore() has no store (it gives the reason), or
  // when the store refuses the add (platform::ItemStore::Add gives the ItemStatus).
  [[nodiscard]] static std::optional<platform::ItemAttributes> KeychainCertPropertiesCopy(
      const platform::Certificate* certificate, OptionalString label) noexcept;

  // Has no effect.
  static void KeychainSecInfo() noexcept {}
};

// The same operations for code that prefers class methods.
class KELVANE_EXPORT KeychainAccess {
 public:
  KeychainAccess() = delete;

  // SKeychain::KeychainLoad: std::nullopt on failure (see there for the reason).
  [[nodiscard]] static std::optional<Data> load(OptionalString name,
                                                OptionalString access) noexcept {
    return SKeychain::KeychainLoad(name, access);
  }
  // SKeychain::KeychainDelete: false on failure (see there for the reason).
  [[nodiscard]] static bool delete_(OptionalString name, OptionalString access) noexcept {
    return SKeychain::KeychainDelete(name, access);
  }
  // SKeychain::KeychainSave, not synchronizable, no access group: false on failure (see there
  // for the reason).
  [[nodiscard]] static bool save(OptionalString name, const Data* data, bool backup) noexcept {
    return SKeychain::KeychainSave(name, data, backup, false, std::nullopt);
  }
  // SKeychain::KeychainSave: false on failure (see there for the reason).
  [[nodiscard]] static bool save(OptionalString name, const Data* data, OptionalString access,
                                 bool backup, bool syncCloud) noexcept {
    return SKeychain::KeychainSave(name, data, backup, syncCloud, access);
  }
};

}  // namespace kelvane
