// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/store/item_store.h"

#include <algorithm>
#include <new>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/store/internal/item_rules.h"
#include "kelvane/platform/store/sqlite_item_store.h"

namespace kelvane::platform {

ItemStore::~ItemStore() = default;

namespace internal {

bool Matches(const ItemQuery& query, const ItemAttributes& item) noexcept {
  if (item.item_class != query.item_class) return false;
  if (query.account && *query.account != item.account) return false;
  if (query.access_group && GroupOf(query.access_group) != GroupOf(item.access_group)) {
    return false;
  }
  if (query.label && (!item.label || *item.label != *query.label)) return false;
  switch (query.synchronizable) {
    case SyncMatch::kNo:
      return !item.synchronizable;
    case SyncMatch::kYes:
      return item.synchronizable;
    case SyncMatch::kAny:
      return true;
  }
  return false;
}

bool SameIdentity(const ItemAttributes& a, const ItemAttributes& b) noexcept {
  if (a.item_class != b.item_class || a.synchronizable != b.synchronizable ||
      GroupOf(a.access_group) != GroupOf(b.access_group)) {
    return false;
  }
  return a.item_class == ItemClass::kGenericPassword
             ? a.account == b.account
             : a.issuer == b.issuer && a.serial_number == b.serial_number;
}

bool IsValidItem(const ItemAttributes& item) noexcept {
  switch (item.item_class) {
    case ItemClass::kGenericPassword:
      return !item.account.empty();
    case ItemClass::kCertificate:
      return !item.issuer.empty() && !item.serial_number.empty();
  }
  return false;
}

namespace {

bool Over(const std::optional<String>& text) {
  return text && text->size() > kMaxItemAttributeBytes / sizeof(char16_t);
}

}  // namespace

bool IsTooLarge(const ItemAttributes& item) noexcept {
  if (item.value.size() > kMaxItemValueBytes) return true;
  for (const Data* data : {&item.subject, &item.issuer, &item.serial_number, &item.subject_key_id,
                           &item.public_key_hash}) {
    if (data->size() > kMaxItemAttributeBytes) return true;
  }
  return item.account.size() > kMaxItemAttributeBytes / sizeof(char16_t) ||
         Over(item.access_group) || Over(item.label);
}

bool IsTooLarge(const ItemQuery& query) noexcept {
  return Over(query.account) || Over(query.access_group) || Over(query.label);
}

}  // namespace internal

ItemStatus InMemoryItemStore::AddLocked(const ItemAttributes& item) {
  if (!internal::IsValidItem(item)) return ItemStatus::kBadParameter;
  if (internal::IsTooLarge(item)) return ItemStatus::kTooLarge;
  for (const ItemAttributes& held : items_) {
    if (internal::SameIdentity(held, item)) return ItemStatus::kDuplicate;
  }
  items_.push_back(item);
  // The empty group is kept as no group, so that it reads back as the file store gives it.
  if (items_.back().access_group && items_.back().access_group->empty()) {
    items_.back().access_group.reset();
  }
  return ItemStatus::kSuccess;
}

ItemStatus InMemoryItemStore::Add(const ItemAttributes& item) noexcept {
  try {
    std::lock_guard lock(mutex_);
    return AddLocked(item);
  } catch (const std::bad_alloc&) {
    return ItemStatus::kIO;
  }
}

ItemStatus InMemoryItemStore::Update(const ItemQuery& query, const ItemUpdate& changes) noexcept {
  try {
    if (internal::IsTooLarge(query) ||
        (changes.value && changes.value->size() > kMaxItemValueBytes)) {
      return ItemStatus::kTooLarge;
    }
    std::lock_guard lock(mutex_);
    // Copy first, so that running out of memory half way changes nothing.
    std::vector<ItemAttributes> next = items_;
    bool found = false;
    for (ItemAttributes& item : next) {
      if (!internal::Matches(query, item)) continue;
      found = true;
      if (changes.accessible) item.accessible = *changes.accessible;
      if (changes.value) item.value = *changes.value;
    }
    if (!found) return ItemStatus::kNotFound;
    items_.swap(next);
    return ItemStatus::kSuccess;
  } catch (const std::bad_alloc&) {
    return ItemStatus::kIO;
  }
}

ItemStatus InMemoryItemStore::CopyMatching(const ItemQuery& query, ItemAttributes* out) noexcept {
  try {
    if (internal::IsTooLarge(query)) return ItemStatus::kTooLarge;
    std::lock_guard lock(mutex_);
    for (const ItemAttributes& item : items_) {
      if (!internal::Matches(query, item)) continue;
      if (out != nullptr) *out = item;
      return ItemStatus::kSuccess;
    }
    return ItemStatus::kNotFound;
  } catch (const std::bad_alloc&) {
    return ItemStatus::kIO;
  }
}

ItemStatus InMemoryItemStore::Delete(const ItemQuery& query) noexcept {
  if (internal::IsTooLarge(query)) return ItemStatus::kTooLarge;
  std::lock_guard lock(mutex_);
  const auto gone = std::remove_if(items_.begin(), items_.end(), [&](const ItemAttributes& item) {
    return internal::Matches(query, item);
  });
  if (gone == items_.end()) return ItemStatus::kNotFound;
  items_.erase(gone, items_.end());
  return ItemStatus::kSuccess;
}

ItemStatus InMemoryItemStore::Replace(const ItemQuery& remove,
                                      const ItemAttributes& item) noexcept {
  try {
    if (internal::IsTooLarge(remove)) return ItemStatus::kTooLarge;
    std::lock_guard lock(mutex_);
    std::vector<ItemAttributes> kept;
    kept.reserve(items_.size() + 1);
    for (const ItemAttributes& held : items_) {
      if (!internal::Matches(remove, held)) kept.push_back(held);
    }
    kept.swap(items_);
    const ItemStatus status = AddLocked(item);
    if (status != ItemStatus::kSuccess) kept.swap(items_);  // put the removed items back
    return status;
  } catch (const std::bad_alloc&) {
    return ItemStatus::kIO;
  }
}

namespace {

struct DefaultSlot {
  std::mutex mutex;
  std::shared_ptr<ItemStore> chosen;  // set by the application
  std::shared_ptr<ItemStore> opened;  // the file store, once opened
};

DefaultSlot& Slot() {
  static internal::NoDestructor<DefaultSlot> slot;  // outlives every static user
  return *slot;
}

}  // namespace

Result<std::shared_ptr<ItemStore>> TryDefaultItemStore() noexcept {
  try {
    DefaultSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    if (slot.chosen != nullptr) return slot.chosen;
    if (slot.opened != nullptr) return slot.opened;
    const std::optional<std::string> path = SqliteItemStore::DefaultPath();
    if (!path) {
      return Error{ErrorKind::kMissing,
                   "no place for the secure store: set KELVANE_KEYCHAIN, XDG_DATA_HOME or HOME"};
    }
    Result<std::shared_ptr<SqliteItemStore>> opened = SqliteItemStore::TryOpen(*path);
    if (!opened) return Error{opened.error().kind, *path + ": " + opened.error().message};
    slot.opened = std::move(opened).value();
    return slot.opened;
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kIo, "out of memory"};
  }
}

std::shared_ptr<ItemStore> DefaultItemStore() noexcept {
  return TryDefaultItemStore().ToOptional().value_or(nullptr);
}

void SetDefaultItemStore(std::shared_ptr<ItemStore> store) noexcept {
  DefaultSlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  slot.chosen = std::move(store);
}

}  // namespace kelvane::platform
