// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/store/item_store.h
//
// The secure item store: small secrets (generic passwords: bytes under an account name) and
// certificates, kept with their attributes, and the four operations applications use on it
// (add, update, copy matching, delete) plus an atomic replacement.
//
// Identity and matching: an item is identified by its class, its key (the account of a
// password; the issuer and serial number of a certificate), its access group and its
// synchronizable flag; two items never share all four. A query matches on the fields it sets:
// an absent account, access group or label matches any, and the synchronizable flag matches
// exactly, or any with SyncMatch::kAny. No access group and the empty access group are the
// same thing: an item stored with the empty group reads back with none. The accessibility
// class is stored and handed back; this store does not lock items away on its own.
//
// Sizes: a value holds at most kMaxItemValueBytes, each other attribute kMaxItemAttributeBytes.
// Both stores refuse a larger item or query with kTooLarge, and the file store reads no stored
// value or attribute past them, whatever the file holds.
//
// Implementations: InMemoryItemStore below, and the file store of sqlite_item_store.h, which
// DefaultItemStore() opens unless the application chose another store.
//
// Threads: every store may be used from any thread; each operation is atomic with respect to
// the others (and, for the file store, to other processes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// The result of a store operation.
enum class ItemStatus : std::int32_t {
  kSuccess = 0,       // done
  kNotFound = 1,      // nothing matches; also a value whose seal does not verify
  kDuplicate = 2,     // an item with the same identity exists
  kBadParameter = 3,  // a malformed item or query
  kIO = 4,            // the store could not be read or written
  kTooLarge = 5,      // a value or attribute over the limits below, given or found in the store
};

// The most bytes an item's value may hold: 1 MiB, far beyond any password, token or
// certificate, so that reading an item from a file costs little memory whatever the file holds.
inline constexpr std::size_t kMaxItemValueBytes = std::size_t{1} << 20;

// The most bytes each other attribute may hold: 64 KiB (an account, access group or label has
// two bytes to a UTF-16 unit; a subject or issuer is its DER bytes).
inline constexpr std::size_t kMaxItemAttributeBytes = std::size_t{64} << 10;

// The kind of an item.
enum class ItemClass : std::uint8_t {
  kGenericPassword = 0,  // a secret under an account name
  kCertificate = 1,      // a certificate, keyed by its issuer and serial number
};

// When an item may be read, and whether it may leave the device in a backup.
enum class Accessibility : std::uint8_t {
  kWhenUnlocked = 0,                // may leave the device in a backup
  kWhenUnlockedThisDeviceOnly = 1,  // stays on this device
};

// Which items a query matches by their synchronizable flag.
enum class SyncMatch : std::uint8_t {
  kNo,   // items that are not synchronizable
  kYes,  // synchronizable items
  kAny,  // both
};

// An item and all its attributes. The certificate fields are empty for passwords.
struct KELVANE_EXPORT ItemAttributes {
  ItemClass item_class = ItemClass::kGenericPassword;  // part of the item's identity
  String account;                                      // the key of a password
  std::optional<String> access_group;  // shared by applications of one maker; empty is none
  bool synchronizable = false;         // part of the item's identity
  Accessibility accessible = Accessibility::kWhenUnlocked;  // stored and handed back
  std::optional<String> label;            // an optional label; queries may match it
  Data value;                             // the secret; a certificate's DER bytes
  Data subject;                           // DER of the subject name
  Data issuer;                            // DER of the issuer name
  Data serial_number;                     // content bytes of the DER integer
  Data subject_key_id;                    // empty when the certificate has none
  Data public_key_hash;                   // SHA-1 of the subject public key bits
  std::int32_t certificate_type = 0;      // X.509 version: 1, 2 or 3
  std::int32_t certificate_encoding = 0;  // 3: DER

  // Equal when every attribute is equal.
  bool operator==(const ItemAttributes&) const = default;
};

// Which items an operation acts on: those that match every field the query sets.
struct KELVANE_EXPORT ItemQuery {
  ItemClass item_class = ItemClass::kGenericPassword;  // always matched
  std::optional<String> account;                       // absent: any
  std::optional<String> access_group;                  // absent: any
  std::optional<String> label;                         // absent: any
  SyncMatch synchronizable = SyncMatch::kNo;           // matched exactly unless kAny
};

// The attributes an update changes; absent ones are kept.
struct KELVANE_EXPORT ItemUpdate {
  std::optional<Accessibility> accessible;  // the new accessibility class
  std::optional<Data> value;                // the new secret
};

// The secure item store's interface (see the opening block for identity and matching).
class KELVANE_EXPORT ItemStore {
 public:
  virtual ~ItemStore();

  // Stores a new item. kDuplicate when one with the same identity exists; kBadParameter for a
  // password without an account or a certificate without an issuer and serial number;
  // kTooLarge for a value or attribute over the limits (the same for every operation below).
  [[nodiscard]] virtual ItemStatus Add(const ItemAttributes& item) noexcept = 0;

  // Changes every matching item. kNotFound when none matches.
  [[nodiscard]] virtual ItemStatus Update(const ItemQuery& query,
                                          const ItemUpdate& changes) noexcept = 0;

  // The first matching item in the order of adding, into *out when out is given.
  // kNotFound when none matches (out untouched); kTooLarge when the only matches hold a value
  // over kMaxItemValueBytes, which is not read.
  [[nodiscard]] virtual ItemStatus CopyMatching(const ItemQuery& query,
                                                ItemAttributes* out) noexcept = 0;

  // Removes every matching item. kNotFound when none matches.
  [[nodiscard]] virtual ItemStatus Delete(const ItemQuery& query) noexcept = 0;

  // Removes every item matching `remove` and adds `item`, as one step: when the add fails,
  // nothing was removed. The status of the add.
  [[nodiscard]] virtual ItemStatus Replace(const ItemQuery& remove,
                                           const ItemAttributes& item) noexcept = 0;
};

// A store that keeps its items in memory, for tests and for applications that want no
// persistence.
class KELVANE_EXPORT InMemoryItemStore final : public ItemStore {
 public:
  ItemStatus Add(const ItemAttributes& item) noexcept override;
  ItemStatus Update(const ItemQuery& query, const ItemUpdate& changes) noexcept override;
  ItemStatus CopyMatching(const ItemQuery& query, ItemAttributes* out) noexcept override;
  ItemStatus Delete(const ItemQuery& query) noexcept override;
  ItemStatus Replace(const ItemQuery& remove, const ItemAttributes& item) noexcept override;

 private:
  ItemStatus AddLocked(const ItemAttributes& item);
  std::mutex mutex_;
  std::vector<ItemAttributes> items_;  // in the order of adding
};

// The store the keychain operations use: the one the application set, else the file store at
// SqliteItemStore::DefaultPath(), opened on first use. Null when that cannot be opened (a
// later call tries again).
[[nodiscard]] KELVANE_EXPORT std::shared_ptr<ItemStore> DefaultItemStore() noexcept;

// DefaultItemStore, with the reason when there is none: kMissing when no path is known, else
// the file store's reason (SqliteItemStore::TryOpen) after the store's path.
[[nodiscard]] KELVANE_EXPORT Result<std::shared_ptr<ItemStore>> TryDefaultItemStore() noexcept;

// Makes `store` the default; null goes back to the file store.
KELVANE_EXPORT void SetDefaultItemStore(std::shared_ptr<ItemStore> store) noexcept;

}  // namespace kelvane::platform
